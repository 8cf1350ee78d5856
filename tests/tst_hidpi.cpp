#include "window_fixture.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

using namespace Qt::StringLiterals;

constexpr int photoBlue = 200;

// Run by hidpi_x11.sh on a private X server at QT_SCALE_FACTOR 1, 1.5 and 2. Each photo pixel
// carries its own position as its red and green, so the screen itself says which pixel it
// shows under the hot spot: the readout must name that pixel, and a click must pick it.
class TestHiDpi : public QObject
{
    Q_OBJECT

    WindowFixture f_;
    QImage screen_;
    QPoint corner_; // the first screen pixel showing photo pixel (10, 20)

    bool findCorner()
    {
        screen_ = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
            QImage::Format_RGB32);
        for (int y = 0; y < screen_.height(); ++y)
            for (int x = 0; x < screen_.width(); ++x)
                if (screen_.pixel(x, y) == qRgb(10, 20, photoBlue))
                    return corner_ = {x, y}, true;
        return false;
    }
    // Points at a screen pixel and clicks: the readout and the pick show what it shows.
    void pointAndClick(QPoint screenPixel)
    {
        const QRgb shown = screen_.pixel(screenPixel);
        QCOMPARE(qBlue(shown), photoBlue);
        const QStringList move{u"mousemove"_s, u"--sync"_s, QString::number(screenPixel.x()),
                               QString::number(screenPixel.y())};
        QCOMPARE(QProcess::execute(u"xdotool"_s, move), 0);
        QTRY_COMPARE_WITH_TIMEOUT(f_.ui().referenceReadout->text(),
                                  u"鼠标 X=%1  Y=%2"_s.arg(qRed(shown)).arg(qGreen(shown)), 2000);
        QCOMPARE(QProcess::execute(u"xdotool"_s, {u"click"_s, u"1"_s}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(f_.texts({f_.ui().referenceBoxes}),
                                  u"%1 %2 %3"_s.arg(qRed(shown)).arg(qGreen(shown)).arg(photoBlue),
                                  2000);
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), u"xcb"_s);
        // No window manager makes the window active: shown is enough for the pointer.
        f_.files = std::make_unique<QTemporaryDir>();
        f_.form = std::make_unique<MainForm>(f_.desktop);
        f_.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f_.form.get()));
        const QImage photo = painted({60, 60}, [](int x, int y) { return qRgb(x, y, photoBlue); });
        f_.importVia(f_.ui().importReferenceButton, f_.writePhoto(u"coded.bmp"_s, photo));
        // Off the window, out of the screen grab.
        QCOMPARE(QProcess::execute(u"xdotool"_s, {u"mousemove"_s, u"--sync"_s, u"0"_s, u"0"_s}), 0);
        // Painting is asynchronous: grab until the photo shows.
        QTRY_VERIFY_WITH_TIMEOUT(findCorner(), 10000);
        qInfo("scale %g: photo pixel (10, 20) starts at screen pixel (%d, %d)",
              f_.form->devicePixelRatio(), corner_.x(), corner_.y());
    }
    void cleanupTestCase() { f_.close(); }

    // Screen pixels from the corner of photo pixel (10, 20): across it and into its neighbours,
    // never only along the diagonal.
    void hotSpotReadsShownPixel_data()
    {
        QTest::addColumn<QPoint>("offset");
        for (const QPoint p :
             {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1), QPoint(2, 0), QPoint(0, 2),
              QPoint(2, 3), QPoint(3, 1), QPoint(4, 5), QPoint(5, 4)})
            QTest::addRow("+%d+%d", p.x(), p.y()) << p;
    }
    void hotSpotReadsShownPixel()
    {
        QFETCH(QPoint, offset);
        // From a distant pixel first, so that what the previous row left cannot pass.
        pointAndClick(corner_ + QPoint(40, 30) * f_.form->devicePixelRatio());
        pointAndClick(corner_ + offset);
    }
};

QTEST_MAIN(TestHiDpi)
#include "tst_hidpi.moc"
