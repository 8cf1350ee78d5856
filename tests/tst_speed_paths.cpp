#include "app/background_job.h"
#include "correct/correction_pass.h"
#include "memory_limit.h"
#include "photo/image_memory.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"
#include "test_support.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QTransform>
#include <QtTest>

#include <optional>
#include <thread>

using namespace Qt::StringLiterals;
using Transform = QImageIOHandler::Transformations;

namespace {

// Gradients with noise, so that every block codes differently.
QImage noisy(QSize size)
{
    quint32 seed = 7;
    return painted(size, [&](int x, int y) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = int(seed >> 28);
        return qRgb((x / 4 + noise) & 0xff, (y / 4 + noise) & 0xff, (x + y + noise) & 0xff);
    });
}

// JPEG data whose frame header claims another height; the data beyond what it holds is
// missing, which the decoder fills in.
QByteArray withHeight(QByteArray jpeg, int height)
{
    const qsizetype frame = jpeg.indexOf("\xff\xc0");
    jpeg[frame + 5] = char(height >> 8);
    jpeg[frame + 6] = char(height & 0xff);
    return jpeg;
}

} // namespace

class TestSpeedPaths : public QObject
{
    Q_OBJECT

private slots:
    // Strips on two threads, a decode in two parts and turning while decoding give the
    // pixels of one thread and of QImage's own turns.
    void threadsAndTurnsKeepPixels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Transform>("transform");
        QTest::newRow("odd sides, mirrored")
            << QSize(1203, 905) << Transform(QImageIOHandler::TransformationMirror);
        QTest::newRow("mirrored and turned (EXIF 5)")
            << QSize(1203, 905)
            << (Transform(QImageIOHandler::TransformationMirror) |
                QImageIOHandler::TransformationRotate90);
        QTest::newRow("turned back (EXIF 8)")
            << QSize(1100, 1000) << Transform(QImageIOHandler::TransformationRotate270);
    }

    void threadsAndTurnsKeepPixels()
    {
        QFETCH(QSize, size);
        QFETCH(Transform, transform);
        const QImage image = noisy(size);
        const QByteArray one = encodeJpeg(image, 80, nullptr, JpegThreads::One).data;
        WorkProgress progress;
        const QByteArray strips = encodeJpeg(image, 80, &progress).data;
        QVERIFY(strips != one);             // restart markers join the strips
        QCOMPARE(progress.fraction(), 1.0); // each strip's rows told
        const QImage upright = decodeJpeg(one, {}, {}, nullptr, JpegThreads::One).image;
        QCOMPARE(decodeJpeg(strips).image, upright);
        QCOMPARE(decodeJpeg(strips, {300, 200}).image,
                 decodeJpeg(one, {300, 200}, {}, nullptr, JpegThreads::One).image);

        QImage expected =
            upright.mirrored(transform.testFlag(QImageIOHandler::TransformationMirror),
                             transform.testFlag(QImageIOHandler::TransformationFlip));
        if (transform.testFlag(QImageIOHandler::TransformationRotate90))
            expected = expected.transformed(QTransform().rotate(90));
        QCOMPARE(decodeJpeg(one, {}, transform).image, expected);
    }

    // A photo above the old limit of 2^27 pixels: 65,500 x 2,056, mostly the grey the decoder
    // fills a short stream with, so that it is cheap to make. It loads, corrects and saves; one
    // few rows more than 400 megapixels is refused from its header alone. A medium-format
    // camera's photo is within the limit.
    void largePhotoLoadsCorrectsAndSaves()
    {
        QVERIFY(fitsPhotoLimits({23000, 17400}));
        QTemporaryDir dir;
        const QImage strip = filled({65500, 16}, QColor(200, 100, 50)); // the widest libjpeg codes
        const QByteArray top = encodeJpeg(strip, 90).data;
        QCOMPARE(loadPhoto(writeFile(dir.filePath(u"huge.jpg"_s), withHeight(top, 6404))).outcome,
                 LoadedPhoto::Outcome::Unreadable);

        LoadedPhoto photo =
            loadPhoto(writeFile(dir.filePath(u"wide.jpg"_s), withHeight(top, 2056)));
        QVERIFY(photo.ok());
        QCOMPARE(photo.image.size(), QSize(65500, 2056));
        const PassOutcome pass =
            runCorrectionPass(photo.image, Gains{0.1f, 0.0f, -0.5f}, std::chrono::hours(1),
                              [](int, int, ColourWord) { return true; });
        QCOMPARE(pass.result, PassResult::Completed);
        const EncodedJpeg saved = encodeJpeg(photo.image, 80);
        QCOMPARE(saved.status, JpegStatus::Ok);
        photo.image = QImage();
        const QImage eighth = decodeJpeg(saved.data, {1, 1}).image;
        QCOMPARE(eighth.size(), QSize(8188, 257));
        QVERIFY(channelDistance(eighth.pixel(4000, 0), qRgb(220, 100, 25)) <= 3);
        QVERIFY(channelDistance(eighth.pixel(8187, 256), qRgb(141, 128, 64)) <= 3);
    }

    // The window's thread handles events while a job runs: here the work cannot end before its
    // progress has been shown on the window's thread. Once the work is over, a last report takes
    // the progress away, then its result arrives. (That an abandoned job's result never does is
    // tst_photos' superseded photo.)
    void jobsReportOnTheWindowThread()
    {
        // Until the flag is up, or long past when it should have been.
        const auto waitFor = [](const std::atomic<bool> &flag) {
            const QDeadlineTimer limit(20000);
            while (!flag && !limit.hasExpired())
                std::this_thread::yield();
            return flag.load();
        };
        std::atomic<bool> shown = false;
        QList<double> reports; // on the window's thread only
        std::optional<bool> sawReport;
        BackgroundJob *job = BackgroundJob::start<bool>(
            this, 1,
            [&](WorkProgress &progress) {
                progress.startStage(4);
                progress.addDone(1);
                return waitFor(shown);
            },
            [&](bool saw) { sawReport = saw; });
        connect(job, &BackgroundJob::progressed, this, [&](double fraction) {
            reports.append(fraction);
            shown = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(sawReport.has_value(), 30000);
        QVERIFY(*sawReport);
        QCOMPARE(reports.first(), 0.25);
        QCOMPARE(reports.last(), -1.0);

        // Stopped and waited for: the result arrives before the wait returns, unless unwanted;
        // either way the work has let go of the picture it shared, so a write copies nothing.
        QImage picture = filled({64, 64}, Qt::red);
        for (const bool report : {true, false}) {
            std::optional<int> ended;
            BackgroundJob *stopped = BackgroundJob::start<int>(
                this, 1,
                [shared = picture](WorkProgress &progress) {
                    while (!progress.cancelled())
                        std::this_thread::yield();
                    return shared.width();
                },
                [&](int width) { ended = width; });
            stopped->stopAndWait(report);
            QCOMPARE(ended, report ? std::optional(64) : std::nullopt);
            QVERIFY(picture.isDetached());
        }

        // The program's end waits for a save under way, and not for a read nobody wants.
        std::atomic<bool> saved = false, release = false, readEnded = false;
        BackgroundJob::start<bool>(
            this, 1,
            [&](WorkProgress &) {
                waitFor(release);
                return readEnded = true;
            },
            [](bool) {});
        BackgroundJob::start<int>(
            this, 1,
            [&](WorkProgress &) {
                QThread::msleep(100); // a save still writing when the program ends
                saved = true;
                return 0;
            },
            [](int) {}, BackgroundJob::AtExit::Finish);
        BackgroundJob::waitForFinishingWork();
        QVERIFY(saved && !readEnded);
        release = true;
        QTRY_COMPARE(BackgroundJob::threadsAtWork(), 0);
    }

    // Out of memory for a thread's stack, the work still runs, on the window's thread, rather
    // than the window waiting for ever for a thread that never started; a pass corrects on one.
    void workRunsWhenNoThreadCanStart()
    {
#ifdef ORVANE_ADDRESS_SANITIZER
        QSKIP("AddressSanitizer reserves more address space than any cap allows");
#endif
        const int status = inCappedRerun(qint64(2) << 20, [] {
            alarm(10);
            QImage image = filled({512, 256}, Qt::gray);
            const ThreadsTaken taken;
            runCorrectionPass(image, {1, 1, 1}, std::chrono::hours(1),
                              [](int, int, ColourWord) { return true; });
            const bool corrected = image.pixel(511, 255) == qRgb(255, 255, 255);
            bool ran = false;
            BackgroundJob::start<bool>(
                nullptr, 1, [](WorkProgress &) { return true; }, [&](bool r) { ran = r; });
            return QTest::qWaitFor([&] { return ran; }, 5000) && corrected ? 0 : 1;
        });
        QCOMPARE(status, 0);
    }
};

QTEST_MAIN(TestSpeedPaths)
#include "tst_speed_paths.moc"
