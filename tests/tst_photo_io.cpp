#include "output/jpeg_writer.h"
#include "output/preview.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"

#include <QtTest>

#include <array>

using namespace Qt::StringLiterals;
using Quarters = std::array<QRgb, 4>; // top-left, top-right, bottom-left, bottom-right

namespace {

const QRgb kRed = qRgb(200, 30, 40), kBlue = qRgb(20, 120, 220);
const QRgb kWhite = qRgb(255, 255, 255), kBlack = qRgb(0, 0, 0);
const Quarters kHalves{kRed, kBlue, kRed, kBlue};
constexpr QDir::Filters kEverything = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;

QImage quarters(QSize size, Quarters colours, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
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

class TestPhotoIo : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    // Sample files named after what they reproduce; all zero colours: the file is refused.
    void loadsByContentUprightAsOpaqueRgb32_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Quarters>("expected");
        const auto row = [this](const char *name, Quarters expected, const QByteArray &bytes = {}) {
            QFile file(dir_.filePath(QString::fromUtf8(name)));
            if (!bytes.isEmpty() && file.open(QIODevice::WriteOnly))
                file.write(bytes);
            QTest::newRow(name) << file.fileName() << expected;
            return file.fileName();
        };
        const Quarters cutOut{kRed, kWhite, kRed, kWhite}, mono{kBlack, kWhite, kBlack, kWhite};
        // Qt writes no GIF: 2 x 2, palette red, green; green is transparent and fills the right
        // column. LZW codes of 3 bits: clear, red, green, clear, red, green, end.
        row("transparent.gif", cutOut,
            QByteArray::fromHex("474946383961020002008000 00c81e2800ff00 21f9040100000100"
                                "2c000000000200020000 02 03448814 00 3b"));
        quarters({16, 8}, {kRed, 0, kRed, 0}, QImage::Format_ARGB32).save(row("alpha.ico", cutOut));
        quarters({16, 8}, mono, QImage::Format_Grayscale8).save(row("greyscale.bmp", mono));
        quarters({16, 8}, kHalves).save(row("png-with-jpeg-extension.jpg", kHalves), "png");
        // An APP1 segment after the start marker, holding only EXIF orientation 6: turn right.
        const QByteArray exif = QByteArray::fromHex(
            "ffe10022 457869660000 4d4d002a00000008 0001 011200030000000100060000 00000000");
        const QImage stored = quarters({64, 32}, {kRed, kBlue, kWhite, kBlack});
        row("orient6.jpg", {kWhite, kRed, kBlack, kBlue},
            encodeJpeg(stored, 95).data.insert(2, exif));
        row("missing.jpg", {});
        row("garbage.jpg", {}, "not a picture");
        row("jpeg-marker-then-garbage.jpg", {}, "\xff\xd8\xff\xe0 broken");
    }

    void loadsByContentUprightAsOpaqueRgb32()
    {
        QFETCH(QString, path);
        QFETCH(Quarters, expected);
        const LoadedPhoto photo = loadPhoto(path);
        QCOMPARE(photo.ok(), expected != Quarters{});
        QCOMPARE(photo.error.isEmpty(), photo.ok());
        QCOMPARE(photo.image.format(), photo.ok() ? QImage::Format_RGB32 : QImage::Format_Invalid);
        QVERIFY(!photo.ok() || looksLike(photo.image, expected));
    }

    void saveReplacesWholeOrNotAtAll_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("lockFile");
        QTest::newRow("missing folder") << "missing/old.bmp" << false;
        QTest::newRow("path is a folder") << "folder.bmp" << false;
        QTest::newRow("read-only file") << "old.bmp" << true;
        QTest::newRow("again, over the file") << "old.bmp" << false;
    }

    // The file holds JPEG data whatever its name, and nothing is ever left beside it.
    void saveReplacesWholeOrNotAtAll()
    {
        QFETCH(QString, target);
        QFETCH(bool, lockFile);
        QTemporaryDir folder;
        QDir dir(folder.path());
        const QString old = dir.filePath(u"old.bmp"_s);
        const QImage first = quarters({32, 32}, kHalves), second = first.mirrored(true, false);
        QVERIFY(saveJpeg(first, old, kJpegQuality) && dir.mkdir(u"folder.bmp"_s));
        const QStringList before = dir.entryList(kEverything);
        // Root passes every access check, so the refusal must not rest on one.
        QVERIFY(!lockFile || QFile::setPermissions(old, QFile::ReadOwner));
        const bool replaces = target == u"old.bmp"_s && !lockFile;
        QCOMPARE(saveJpeg(second, dir.filePath(target), kJpegQuality), replaces);
        QCOMPARE(dir.entryList(kEverything), before);
        QFile file(old);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), encodeJpeg(replaces ? second : first, kJpegQuality).data);
    }

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

QTEST_GUILESS_MAIN(TestPhotoIo)
#include "tst_photo_io.moc"
