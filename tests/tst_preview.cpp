#include "output/jpeg_writer.h"
#include "output/preview.h"
#include "photo/jpeg_codec.h"

#include <QtTest>

#include <array>

using namespace Qt::StringLiterals;
using Quarters = std::array<QRgb, 4>; // top-left, top-right, bottom-left, bottom-right

namespace {

const QRgb kRed = qRgb(200, 30, 40), kBlue = qRgb(20, 120, 220);
const Quarters kHalves{kRed, kBlue, kRed, kBlue};

QImage quarters(QSize size, Quarters colours)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, colours[y * 2 / size.height() * 2 + x * 2 / size.width()]);
    return image;
}

// The centre of each quarter, within a tolerance that JPEG's loss stays inside.
bool looksLike(const QImage &image, Quarters colours)
{
    for (int i = 0; i < 4; ++i) {
        const QRgb p =
            image.pixel((i % 2 * 2 + 1) * image.width() / 4, (i / 2 * 2 + 1) * image.height() / 4);
        for (const int shift : {0, 8, 16})
            if (qAbs(int(p >> shift & 0xff) - int(colours[i] >> shift & 0xff)) > 12)
                return false;
    }
    return true;
}

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

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
        QTest::newRow("half pixel") << QSizeF(2000, 600) << QSizeF(845, 253.5) << QSize(998, 298);
        QTest::newRow("height limit") << QSizeF(600, 1200) << QSizeF(280, 560) << QSize(298, 598);
        QTest::newRow("both") << QSizeF(2000, 1500) << QSizeF(2240.0 / 3, 560) << QSize(749, 561);
        QTest::newRow("at the limits") << QSizeF(845, 560) << QSizeF(845, 560) << QSize(841, 556);
    }

    // The preview's bytes are what a save writes, and decode to the very picture shown.
    void previewCoversFrame()
    {
        QFETCH(QSizeF, outer);
        QFETCH(QSizeF, frame);
        QFETCH(QSize, decoded);
        QCOMPARE(previewFrameSize(outer), frame);
        const QImage photo = quarters(outer.toSize() - QSize(4, 4), kHalves);
        const RenderedPreview preview = renderPreview(photo, roundedFrameSize(frame));
        QCOMPARE(preview.image.size(), decoded);
        QVERIFY(looksLike(preview.image, kHalves));
        QCOMPARE(decodeJpeg(preview.jpeg, roundedFrameSize(frame)).image, preview.image);
        QCOMPARE(preview.jpeg, encodeJpeg(photo, kJpegQuality).data);
    }
};

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
