#include "app/background_job.h"
#include "app/lifecycle.h"
#include "photo/work_progress.h"
#include "window_fixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressBar>
#include <QSignalSpy>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

// Picking colours and running the correction pass, through the window's controls.
class TestPassWindow : public QObject
{
    Q_OBJECT

    QColor targetPixel(int x, int y) const { return f_.ui().targetPhoto->image().pixelColor(x, y); }
    // Whether the target box has repainted rows first..last of its photo since painted_ was
    // cleared.
    bool repainted(int first, int last) const
    {
        const PhotoBox *box = f_.ui().targetPhoto;
        const QRect rows(0, first, box->image().width(), last - first + 1);
        return (QRegion(rows.translated(box->contentsRect().topLeft())) - painted_).isEmpty();
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted_ += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
    WindowFixture f_;
    QRegion painted_;

private slots:
    void init()
    {
        QVERIFY(f_.open());
        f_.ui().targetPhoto->installEventFilter(this);
    }
    void cleanup() { f_.close(); }

    // What a pick shows, then what two presses of 校正 say and leave, on a one-row photo.
    void pickThenPass_data()
    {
        QTest::addColumn<QString>("reference"); // the reference boxes
        QTest::addColumn<QColor>("pixel");
        QTest::addColumn<QString>("typed"); // into the reference blue after the pick, if anything
        QTest::addColumn<QString>("boxes"); // the target and difference boxes at the end
        QTest::addColumn<QStringList>("messages"); // none: two passes ran
        QTest::addColumn<QString>("buttons");
        const QString untouched(5, u' '); // six empty boxes
        const QString need = u"提示|请首先选择皮肤样本或在标准照片中选择理想皮肤！"_s;
        const QString invalid = u"提示|颜色数值无效！请重新选点！"_s;
        const QString gate = u"提示|你还没有选择皮肤样本和需要的皮肤校正点！请重新选点！"_s;
        const QString tooLarge = u"提示|需校正色差过大！请重新选点！"_s;
        QTest::newRow("picked") << u"220 180 160"_s << QColor(200, 150, 170) << QString()
                                << u"200 150 170 20 30 -10"_s << QStringList() << u"1111"_s;
        QTest::newRow("zeros") << u"0 0 0"_s << QColor(1, 2, 3) << QString() << untouched
                               << QStringList{need, gate, gate} << u"1111"_s;
        QTest::newRow("text beside a number")
            << u"220  16o"_s << QColor(1, 2, 3) << QString() << untouched
            << QStringList{invalid, gate, gate} << u"1111"_s;
        QTest::newRow("typed after the pick")
            << u"20 20 20"_s << QColor(1, 1, 1) << u"16o"_s << u"1 1 1 19 19 19"_s
            << QStringList{invalid, invalid} << u"1111"_s;
        // A target channel of 0 is an infinite gain, refused as 202 / 1 - 1 = 201 would be; the
        // differences are zeroed, so that the second press meets the gate.
        QTest::newRow("gain too large")
            << u"202 1 1"_s << QColor(0, 1, 1) << QString() << u"0 1 1 0 0 0"_s
            << QStringList{tooLarge, gate} << u"1000"_s;
    }

    void pickThenPass()
    {
        QFETCH(QString, reference);
        QFETCH(QColor, pixel);
        QFETCH(QString, typed);
        QFETCH(QStringList, messages);
        f_.prepare({10, 1}, Qt::gray, pixel, reference.split(u' '));
        if (!typed.isEmpty())
            f_.ui().referenceBoxes.blue->setText(typed);
        f_.press(f_.ui().correctButton);
        f_.press(f_.ui().correctButton);
        QTEST(f_.texts({f_.ui().targetBoxes, f_.ui().differenceBoxes}), "boxes");
        QCOMPARE(f_.desktop.texts(), messages);
        QTEST(f_.enabledStates(), "buttons");
        QCOMPARE(f_.desktop.beeps, messages.isEmpty() ? 2 : 0);
        QCOMPARE(targetPixel(3, 0) == QColor(Qt::gray), !messages.isEmpty());
        // One row must not make the bar busy, which an empty range does.
        if (messages.isEmpty())
            QCOMPARE(f_.ui().progressBar->maximum() * f_.ui().progressBar->value(), 1);
    }

    // Gains 0.1, 0.2 and -0.0588 from the picks recolour every pixel and compound until a
    // reload; the preview follows. The action buttons wait for the pass; the bar follows the
    // rows and ends full and still; the text ends at 100 %, the whole photo repainted. (What the
    // two presses say and leave is pickThenPass's.)
    void passesCompoundUntilReload()
    {
        f_.prepare({4, 101});
        const QImage imported = f_.preview();
        f_.form->targetPhoto().picture.setPixel(3, 100, qRgb(40, 50, 60));
        f_.form->setPassFrameInterval(std::chrono::nanoseconds(0));
        QList<int> rows;
        const auto spy = connect(f_.ui().progressBar, &QProgressBar::valueChanged, this,
                                 [&](int v) { rows << v; });
        painted_ = {};
        f_.ui().correctButton->click();
        QCOMPARE(f_.enabledStates(), u"0000"_s);
        QVERIFY(f_.settle());
        disconnect(spy);
        QCOMPARE(f_.ui().targetReadout->text(), u"已完成_100%"_s);
        QCOMPARE(f_.ui().progressBar->maximum(), 100);
        QCOMPARE(rows.last(), 100);
        QVERIFY(std::is_sorted(rows.begin(), rows.end()));
        QVERIFY(repainted(0, 100));
        f_.press(f_.ui().correctButton);
        QCOMPARE(targetPixel(1, 1), QColor(121, 144, 88));
        // and shows it, every row let go
        const QPoint inBox = f_.ui().targetPhoto->contentsRect().topLeft() + QPoint(1, 100);
        QCOMPARE(f_.ui().targetPhoto->grab().toImage().pixelColor(inBox), QColor(121, 144, 88));
        QVERIFY(qAbs(f_.preview().pixelColor(f_.preview().width() - 1, 0).red() - 121) <= 8);
        // The probe holds the last pixel the pass read, before its correction: the last pixel of
        // all, corrected once. Over a box with no picture in it the readout follows and the probe
        // stays.
        f_.moveTo(f_.ui().referencePhoto, {100, 120});
        QCOMPARE(f_.ui().referenceReadout->text(), u"鼠标 X=100  Y=120"_s);
        emit f_.ui().targetPhoto->clicked();
        QCOMPARE(f_.texts({f_.ui().targetBoxes}), u"44 60 56"_s);
        // A reload that shows its progress gives the bar back as the pass left it.
        BackgroundJob::setProgressTiming({}, {});
        const auto timing = qScopeGuard([] { BackgroundJob::setProgressTiming(); });
        f_.press(f_.ui().reloadButton);
        QCOMPARE(f_.ui().progressBar->maximum() * f_.ui().progressBar->value(), 100 * 100);
        QCOMPARE(targetPixel(1, 1), QColor(100, 100, 100));
        QCOMPARE(f_.preview(), imported);
    }

    void passStopsForNewTargetCloseAndExit_data()
    {
        QTest::addColumn<QByteArray>("action");
        for (const char *action : {"new target", "close", "exit"})
            QTest::newRow(action) << QByteArray(action);
    }

    // Held after row 50 until the window stops it: the rows up to 50 are corrected and shown,
    // the rest untouched, and the window goes on as after a stopped pass.
    void passStopsForNewTargetCloseAndExit()
    {
        QFETCH(QByteArray, action);
        f_.prepare({5, 200});
        const QString fresh = f_.writePhoto(u"fresh.bmp"_s, filled({7, 9}, QColor(100, 100, 100)));
        f_.form->setPassFrameInterval(std::chrono::nanoseconds(0));
        std::atomic<bool> held = false;
        f_.form->setPassHook([&](int row, const WorkProgress &progress) {
            if (row != 50)
                return;
            held = true;
            QElapsedTimer waited;
            waited.start();
            while (!progress.cancelled() && waited.elapsed() < 20000)
                std::this_thread::yield();
        });
        QSignalSpy exit(f_.form.get(), &MainForm::exitRequested);
        painted_ = {};
        f_.ui().correctButton->click();
        QTRY_VERIFY(held);
        QTRY_VERIFY(repainted(0, 50));
        // Rows being rewritten are not searched for skin.
        QVERIFY(!f_.menu(f_.ui().targetPhoto, {2, 2}).contains(u"自动选取肤色"_s));
        if (action == "close")
            f_.form->close();
        else
            f_.importVia(action == "exit" ? f_.ui().exitButton : f_.ui().importTargetButton, fresh);
        QVERIFY(f_.settle());
        QCOMPARE(f_.ui().progressBar->value(), 50);
        QCOMPARE(f_.desktop.beeps, 0);
        QCOMPARE(f_.enabledStates(), u"1111"_s);
        QCOMPARE(exit.size(), action == "exit" ? 1 : 0);
        if (action == "new target") { // the new photo stays untouched
            QCOMPARE(f_.ui().targetPhoto->image(), filled({7, 9}, QColor(100, 100, 100)));
            QVERIFY(QFileInfo::exists(Lifecycle::temporaryPreviewPath()));
        } else {
            QCOMPARE(targetPixel(4, 50), QColor(110, 120, 94));
            QCOMPARE(targetPixel(0, 51), QColor(100, 100, 100));
            QVERIFY(!QFileInfo::exists(Lifecycle::temporaryPreviewPath()));
        }
    }
};

WINDOW_TEST_MAIN(TestPassWindow)

#include "tst_pass_window.moc"
