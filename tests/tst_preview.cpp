#include "app/preview_geometry.h"
#include "output/jpeg_writer.h"
#include "output/preview.h"
#include "photo/jpeg_codec.h"
#include "test_support.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QRgb kRed = qRgb(200, 30, 40), kBlue = qRgb(20, 120, 220);

// How far a pixel on the middle row is from a colour, over all channels.
int distance(const QImage &image, int x, QRgb c)
{
    const QRgb p = image.pixel(x, image.height() / 2);
    return qAbs(qRed(p) - qRed(c)) + qAbs(qGreen(p) - qGreen(c)) + qAbs(qBlue(p) - qBlue(c));
}

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private slots:
    // The target box is the photo with a 2-pixel border on each side. The preview is decoded
    // at the smallest DCT scale n/8 that covers the frame, never enlarged.
    void previewCoversFrame_data()
    {
        QTest::addColumn<QSizeF>("outer");
        QTest::addColumn<QSizeF>("frame");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("within") << QSizeF(640, 480) << QSizeF(640, 480) << QSize(636, 476);
        QTest::newRow("width limit") << QSizeF(1690, 1000) << QSizeF(845, 500) << QSize(1054, 623);
        QTest::newRow("height limit") << QSizeF(600, 1200) << QSizeF(280, 560) << QSize(298, 598);
        QTest::newRow("both") << QSizeF(2000, 1500) << QSizeF(2240.0 / 3, 560) << QSize(749, 561);
    }

    void previewCoversFrame()
    {
        QFETCH(QSizeF, outer);
        QFETCH(QSizeF, frame);
        QCOMPARE(previewFrameSize(outer), frame);
        const QSize size = outer.toSize() - QSize(4, 4);
        const QImage photo =
            painted(size, [&](int x, int) { return x * 2 < size.width() ? kRed : kBlue; });
        const RenderedPreview preview = renderPreview(photo, roundedFrameSize(frame));
        QTEST(preview.image.size(), "decoded");
        // Red on the left, blue on the right, within JPEG's loss: scaled, not cut.
        QVERIFY(distance(preview.image, preview.image.width() / 4, kRed) <= 24);
        QVERIFY(distance(preview.image, preview.image.width() * 3 / 4, kBlue) <= 24);
        // The bytes are what a save writes, and decode to the very picture shown.
        QCOMPARE(decodeJpeg(preview.jpeg, roundedFrameSize(frame)).image, preview.image);
        QCOMPARE(preview.jpeg, encodeJpeg(photo, kJpegQuality).data);
    }
};

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
