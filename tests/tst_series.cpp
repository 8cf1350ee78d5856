#include "app/qt_desktop.h"
#include "app/series_flow.h"
#include "correct/correction_pass.h"
#include "memory_limit.h"
#include "output/jpeg_writer.h"
#include "output/metadata.h"
#include "output/series_export.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"
#include "synthetic_face.h"
#include "window_fixture.h"

#include <QColorSpace>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTimer>

using namespace Qt::StringLiterals;
using Outcome = SeriesPhoto::Outcome;

const Gains kGains{0.25f, -0.125f, 0.5f};

// The last correction over a series of photos: the pixels, the names, failures and cancel,
// in the core and through the window.
class TestSeries : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString &name) const { return dir_.filePath(name); }
    QString folder(const QString &n) const { return QDir().mkpath(path(n)) ? path(n) : QString(); }

private slots:
    // Each photo as a pass corrects it, saved at quality 80 with its file's metadata under a
    // name that replaces nothing; a photo that fails is reported and the rest saved, and every
    // photo is told once, in order.
    void eachPhotoAsAPassUnderAFreeName()
    {
        const QString out = folder(u"out"_s);
        for (const QString &name : {u"b.v2.jpg"_s, u"b.v2-1.jpg"_s})
            QVERIFY(!writeFile(out + u'/' + name, name.toUtf8()).isEmpty());
        // A link planted where nothing is yet: writing through it would make the victim.
        QVERIFY(QFile::link(path(u"victim.jpg"_s), out + u"/c.jpg"_s));
        PhotoMetadata icc;
        icc.iccProfile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
        const QString jpeg = folder(u"x"_s) + u"/a.jpg"_s;
        QCOMPARE(savePhotoJpeg(gradient({67, 45}), jpeg, icc).status, SaveStatus::Saved);
        const QByteArray damaged = encodeJpeg(gradient({20, 10}), 90).data.left(40);
        QStringList sources{jpeg, writeFile(path(u"damaged.jpg"_s), damaged)};
        for (const QString &name : {u"a.bmp"_s, u"b.v2.bmp"_s, u"c.bmp"_s}) {
            sources << path(name);
            QVERIFY(gradient({33, 70}).save(sources.last()));
        }
        sources << path(u"missing.jpg"_s);

        QList<int> told; // how many are done, which photo, its outcome
        const QList<SeriesPhoto> photos = exportSeries(
            sources, out, kGains, false, [&](int done, int index, const SeriesPhoto &photo) {
                told << done << index << int(photo.outcome);
            });
        QCOMPARE(told, QList<int>({1, 0, 0, 2, 1, 1, 3, 2, 0, 4, 3, 0, 5, 4, 0, 6, 5, 1}));
        // The same name from two folders, named in the order given; only the last suffix goes;
        // the numbers count on.
        QCOMPARE(entries(out),
                 QStringList({u"a-1.jpg"_s, u"a.jpg"_s, u"b.v2-1.jpg"_s, u"b.v2-2.jpg"_s,
                              u"b.v2.jpg"_s, u"c-1.jpg"_s, u"c.jpg"_s}));
        QVERIFY(!QFileInfo::exists(path(u"victim.jpg"_s)));
        for (const int i : {0, 2, 3, 4}) {
            QImage expected = loadPhoto(sources[i]).image;
            runCorrectionPass(expected, kGains, {}, [](int, int, ColourWord) { return true; });
            QCOMPARE(decodeJpeg(readFile(photos[i].saved)).image,
                     decodeJpeg(encodeJpeg(expected, 80).data).image);
        }
        QCOMPARE(readMetadata(photos[0].saved).iccProfile, icc.iccProfile);

        // A folder that is not one refuses every photo, with the reason.
        const SeriesPhoto refused = exportSeries({sources[2]}, sources[2], kGains, false).value(0);
        QCOMPARE(refused.outcome, Outcome::NotWritten);
        QCOMPARE(refused.error, ENOTDIR);
    }

    // A series goes on from the last number it gave a name, even when a lower one is freed
    // meanwhile, so that many photos of one name cost one try each; the next series starts
    // afresh. Once cancel is set no photo is started and none in the works is written: only the
    // photo told before the cancel is saved.
    void numbersCountOnAndCancelKeepsWholePhotos()
    {
        const QString out = folder(u"numbers"_s);
        QVERIFY(QDir().mkpath(path(u"n"_s)));
        const QStringList sources{path(u"n/p.png"_s), path(u"n/p.bmp"_s), path(u"n/p.jpg"_s)};
        for (const QString &source : sources)
            QVERIFY(gradient({300, 200}).save(source));
        QStringList named(sources.size());
        const auto freeEach = [&](int, int index, const SeriesPhoto &photo) {
            named[index] = QFileInfo(photo.saved).fileName();
            QFile::remove(photo.saved);
        };
        exportSeries(sources, out, kGains, false, freeEach);
        QCOMPARE(named, QStringList({u"p.jpg"_s, u"p-1.jpg"_s, u"p-2.jpg"_s}));
        QCOMPARE(exportSeries(sources.mid(1, 1), out, kGains, false).value(0).saved,
                 out + u"/p.jpg"_s);

        std::atomic<bool> cancel = false;
        const QList<SeriesPhoto> photos = exportSeries(
            sources, out, kGains, cancel, [&](int, int, const SeriesPhoto &) { cancel = true; });
        QCOMPARE(entries(out), QStringList({u"p-1.jpg"_s, u"p.jpg"_s}));
        QCOMPARE(photos[0].saved, out + u"/p-1.jpg"_s);
        for (const SeriesPhoto &photo : photos.mid(1))
            QCOMPARE(photo.outcome, Outcome::Cancelled);
    }

    // A full disk, a folder or medium that refuses writing, a name too long, anything else.
    void writeFailuresInWords()
    {
        const std::pair<int, QString> cases[] = {
            {ENOSPC, u"磁盘空间不足"_s}, {EDQUOT, u"磁盘空间不足"_s},
            {EACCES, u"没有写入权限"_s}, {EPERM, u"没有写入权限"_s},
            {EROFS, u"没有写入权限"_s},  {ENAMETOOLONG, u"文件名过长"_s},
            {ENOTDIR, u"无法写入文件"_s}};
        for (const auto &[error, text] : cases)
            QCOMPARE(writeFailureText(error), text);
    }

    // The real box a series ends with: a short list on its face, a long one folded into the
    // details the user opens.
    void summaryBoxFoldsLongLists()
    {
        for (const auto &[lines, folded] : {std::pair(12, false), std::pair(13, true)}) {
            QStringList list;
            for (int i = 0; i < lines; ++i)
                list << u"p%1.jpg：内存不足"_s.arg(i);
            QString face = u"unread"_s, details;
            QTimer reader;
            connect(&reader, &QTimer::timeout, this, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    face = box->informativeText();
                    details = box->detailedText();
                    box->button(QMessageBox::Ok)->click();
                }
            });
            reader.start(10);
            QtDesktop().listMessage(nullptr, u"提示"_s,
                                    u"已保存 0 张照片，%1 张未能保存。"_s.arg(lines), list);
            const QString joined = list.join(u'\n');
            QCOMPARE(face, folded ? QString() : joined);
            QCOMPARE(details, folded ? joined : QString());
        }
    }

    // The entry appears once a pass has completed; the series then uses that pass's gains and
    // leaves the window's photo, boxes and buttons as they were. The box tells each photo in
    // the order chosen: its new name, with 保存's words for metadata left out, or why it has
    // none. Cancelled, it counts exactly the photos in the folder.
    void windowRunsAndCancelsTheSeries()
    {
        WindowFixture f;
        QVERIFY(f.open());
        const QColor skin(200, 150, 170);
        f.prepare({6, 5}, skin, skin);
        const QString entry = u"应用到其他照片…"_s;
        QVERIFY(!f.menu(f.ui().targetPhoto, {2, 2}).contains(entry));
        f.press(f.ui().correctButton);
        const QImage target = f.ui().targetPhoto->image();
        const auto boxes = {f.ui().referenceBoxes, f.ui().targetBoxes};
        const QString typed = f.texts(boxes), buttons = f.enabledStates();
        QVERIFY(filled({16, 16}, skin).save(path(u"skin.bmp"_s)));
        const QByteArray xmp = withXmpSegment(encodeJpeg(filled({16, 16}, skin), 90).data, "<");
        f.desktop.manyAnswers << QStringList{path(u"skin.bmp"_s),
                                             writeFile(path(u"broken.jpg"_s), "\xff\xd8\xff"),
                                             writeFile(path(u"xmp.jpg"_s), xmp)};
        f.desktop.folderAnswers << folder(u"window"_s);
        QSignalSpy finished(f.form->findChild<SeriesFlow *>(), &SeriesFlow::finished);
        QVERIFY(f.menu(f.ui().targetPhoto, {2, 2}, entry).contains(entry));
        QVERIFY(finished.wait(20000));
        QCOMPARE(f.desktop.requests.last().selectedFilter, 4);
        QCOMPARE(f.desktop.texts(), QStringList(u"提示|已保存 2 张照片，1 张未能保存。"_s));
        QCOMPARE(f.desktop.messages[0].lines,
                 QStringList({u"skin.bmp → skin.jpg"_s, u"broken.jpg：无法打开该图片文件"_s,
                              u"xmp.jpg → xmp.jpg：照片已保存，但其中的XMP未能保留。"_s}));
        QCOMPARE(loadPhoto(path(u"window/skin.jpg"_s)).image,
                 decodeJpeg(encodeJpeg(filled({16, 16}, QColor(220, 180, 160)), 80).data).image);
        QCOMPARE(f.ui().targetPhoto->image(), target);
        QCOMPARE(f.texts(boxes), typed);
        QCOMPARE(f.enabledStates(), buttons);
        QVERIFY(!f.form->findChild<QProgressDialog *>());
        // The menu is shared, and the swatches' shows the four sizes alone.
        QCOMPARE(f.menu(f.ui().swatches[0], {20, 30}).size(), 5);

        QStringList many;
        for (int i = 0; i < 8; ++i) {
            many << path(u"w%1.bmp"_s.arg(i));
            QVERIFY(gradient({400, 300}).save(many.last()));
        }
        f.desktop.manyAnswers << many;
        f.desktop.folderAnswers << folder(u"window-cancel"_s);
        f.menu(f.ui().targetPhoto, {2, 2}, entry); // the entry, in a second menu
        QProgressDialog *progress = f.form->findChild<QProgressDialog *>();
        QVERIFY(progress && progress->isVisible());
        QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
        QVERIFY(finished.wait(20000));
        QCOMPARE(f.desktop.messages.size(), 2);
        QCOMPARE(f.desktop.messages[1].text,
                 u"已取消。已保存 %1 张照片。"_s.arg(entries(path(u"window-cancel"_s)).size()));

#ifndef ORVANE_ADDRESS_SANITIZER
        // No thread to be had: each photo is told as not saved, and no dialog waits for ever.
        f.desktop.manyAnswers << QStringList{path(u"skin.bmp"_s)};
        f.desktop.folderAnswers << folder(u"no-thread"_s);
        const int status = inCappedRerun(qint64(2) << 20, [&] {
            alarm(10);
            const ThreadsTaken taken;
            f.menu(f.ui().targetPhoto, {2, 2}, entry);
            return f.desktop.messages.size() == 3 &&
                           f.desktop.messages[2].lines == QStringList(u"skin.bmp：内存不足"_s)
                       ? 0
                       : 1;
        });
        QCOMPARE(status, 0);
#endif
        // Closed mid-series, the window waits only for the photos in the works.
        f.desktop.manyAnswers << many;
        f.desktop.folderAnswers << folder(u"window-close"_s);
        f.menu(f.ui().targetPhoto, {2, 2}, entry);
        f.close();
        QVERIFY(entries(path(u"window-close"_s)).size() < many.size());
    }

    // "逐张匹配肤色…" needs no pass, only a reference the boxes read whole and not all 0, and
    // aims at the boxes as they are when it starts; the box names a photo with no face.
    void windowMatchesEachPhotosSkin()
    {
        WindowFixture f;
        QVERIFY(f.open());
        f.prepare({6, 5});
        const QString entry = u"逐张匹配肤色…"_s;
        const ChannelBoxes &boxes = f.ui().referenceBoxes;
        for (const QString &red : {u"0"_s, u"2x"_s, u""_s}) {
            boxes.setTexts({red, u"0"_s, u"0"_s});
            QVERIFY2(!f.menu(f.ui().targetPhoto, {2, 2}).contains(entry), qPrintable(red));
        }
        QVERIFY(!f.menu(f.ui().referencePhoto, {2, 2}).contains(entry));
        boxes.setTexts({u"200"_s, u"170"_s, u"150"_s});
        // Two skins of one name; the larger, done last, is still named first.
        QVERIFY(QDir().mkpath(path(u"m"_s)));
        const QStringList sources{path(u"m/p.png"_s), path(u"plain.png"_s), path(u"p.png"_s)};
        QVERIFY(syntheticPortrait(QColor(170, 120, 110), {1200, 1600}).save(sources[0]));
        QVERIFY(gradient({40, 30}).save(sources[1]));
        QVERIFY(syntheticPortrait(QColor(235, 200, 185)).save(sources[2]));
        f.desktop.manyAnswers << sources;
        f.desktop.folderAnswers << folder(u"matched"_s);
        QSignalSpy finished(f.form->findChild<SeriesFlow *>(), &SeriesFlow::finished);
        QVERIFY(f.menu(f.ui().targetPhoto, {2, 2}, entry).contains(entry));
        QVERIFY(finished.wait(20000));
        QCOMPARE(f.desktop.texts(), QStringList(u"提示|已保存 2 张照片，1 张未能保存。"_s));
        QCOMPARE(
            f.desktop.messages[0].lines,
            QStringList({u"p.png → p.jpg"_s, u"plain.png：未找到人脸"_s, u"p.png → p-1.jpg"_s}));
        QCOMPARE(entries(path(u"matched"_s)), QStringList({u"p-1.jpg"_s, u"p.jpg"_s}));
        // Both skins end at the reference: a cheek, away from every feature.
        for (const QString &name : {u"p.jpg"_s, u"p-1.jpg"_s}) {
            const QImage saved = loadPhoto(path(u"matched/"_s + name)).image;
            const QColor c = saved.pixelColor(saved.width() * 36 / 100, saved.height() / 2);
            QVERIFY2(qAbs(c.red() - 200) <= 4 && qAbs(c.green() - 170) <= 4 &&
                         qAbs(c.blue() - 150) <= 4,
                     qPrintable(name));
        }
    }
};

QTEST_MAIN(TestSeries)
#include "tst_series.moc"
