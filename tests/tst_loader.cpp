#include "memory_limit.h"
#include "photo/heif_codec.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"
#include "photo/work_progress.h"
#include "test_support.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Outcome = LoadedPhoto::Outcome;

namespace {

const QRgb kRed = qRgb(200, 30, 40), kBlue = qRgb(20, 120, 220), kWhite = qRgb(255, 255, 255);

// A BMP file with a 40-byte info header and v4's bytes after it; offsetShift moves the pixel
// offset past the pixels.
QByteArray bmp(QSize size, int bits, const QByteArray &pixels, const QByteArray &palette = {},
               quint32 compression = 0, const QByteArray &masks = {}, qint64 offsetShift = 0,
               const QByteArray &v4 = {})
{
    const quint32 offset = 54 + v4.size() + masks.size() + palette.size() + offsetShift;
    const QByteArray info = le(40 + v4.size()) + le(size.width()) + le(size.height()) + le(1, 2) +
                            le(bits, 2) + le(compression) + le(pixels.size()) + le(2835) +
                            le(2835) + le(palette.size() / 4) + le(0) + v4;
    return "BM" + le(offset + pixels.size()) + le(0) + le(offset) + info + masks + palette + pixels;
}

// What a 108-byte (V4) header adds: the masks of red, green, blue and alpha, which count
// whatever the compression.
QByteArray v4(quint32 red, quint32 green, quint32 blue, quint32 alpha)
{
    return le(red) + le(green) + le(blue) + le(alpha) + QByteArray(52, 0);
}

QByteArray ico(const QList<QByteArray> &pngs)
{
    QByteArray head = le(0, 2) + le(1, 2) + le(pngs.size(), 2), body;
    qint64 offset = 6 + 16 * pngs.size();
    for (const QByteArray &png : pngs) {
        head +=
            QByteArray::fromHex("10100000") + le(1, 2) + le(32, 2) + le(png.size()) + le(offset);
        body += png;
        offset += png.size();
    }
    return head + body;
}

// TIFF data whose IFD0 holds one entry, the orientation, of a TIFF type (3 is SHORT).
QByteArray exifOrientation(int orientation, bool bigEndian, int type = 3)
{
    const auto number = [&](quint32 value, int bytes) {
        return bigEndian ? ::bigEndian(value, bytes) : le(value, bytes);
    };
    return (bigEndian ? "MM" : "II") + number(42, 2) + number(8, 4) + number(1, 2) +
           number(0x0112, 2) + number(type, 2) + number(1, 4) + number(orientation, 2) +
           number(0, 2) + number(0, 4);
}

} // namespace

class TestLoader : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    // One row per fault, and the turns of the formats whose orientation is not a JPEG's; a
    // row without a picture is a file to refuse.
    void loadsAsExpected_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QImage>("expected");
        const auto row = [](const char *name, const QByteArray &bytes,
                            const QImage &expected = {}) {
            QTest::newRow(name) << bytes << expected;
        };

        const QByteArray fatal = readFile(QFINDTESTDATA("data/jpeg-fatal-after-warning.jpg"));
        QVERIFY(!fatal.isEmpty());
        row("jpeg, fatal error after a warning", fatal);
        // A JPEG cut short inside its data, with a grey tail, is tst_speed_paths' large photo.

        const QSize size(16, 16);
        const QByteArray rgb24 = QByteArray(size.width() * 3, char(0x80)).repeated(size.height());
        row("bmp 24-bit, one byte short", bmp(size, 24, rgb24).chopped(1));
        row("bmp, pixel offset past the end", bmp(size, 24, rgb24, {}, 0, {}, 4096));
        row("bmp 8-bit without a palette", bmp({64, 64}, 8, QByteArray(64 * 64, 1)));
        row("bmp 70000 pixels wide", bmp({70000, 1}, 24, QByteArray(70000 * 3 + 3, 0)));
        // Bottom-up: the one encoded row is the last; the stream ends without its end code. The
        // palette is red, blue; a 16 x 16 picture of 16-bit pixels needs no row padding.
        row("bmp RLE8 cut short: palette entry 0",
            bmp(size, 8, QByteArray::fromHex("1001"), le(kRed & 0xffffff) + le(kBlue & 0xffffff),
                1),
            painted(size, [](int, int y) { return y == 15 ? kBlue : kRed; }));
        row("bmp 16-bit 5-5-5 white", bmp(size, 16, le(0x7fff, 2).repeated(256)),
            filled(size, kWhite));
        // 7, 6 and 3 bits: 66, 2 and 5 stretched to 8 bits.
        const QByteArray masks763 = le(0xfe00) + le(0x01f8) + le(0x0007);
        row("bmp 16-bit 7-6-3 bit fields",
            bmp(size, 16, le(0x8415, 2).repeated(256), {}, 3, masks763),
            filled(size, QColor(133, 8, 182)));

        // An alpha mask in a V4 header: Qt decodes ARGB32 for bit fields and any 32-bit pixels,
        // RGB32 for 16-bit ones without bit fields. Bottom-up rows of opaque x * 4, y * 4, 128.
        QByteArray shades;
        for (int y = 63; y >= 0; --y)
            for (int x = 0; x < 64; ++x)
                shades += le(0xff000080u | quint32(x * 4) << 16 | quint32(y * 4) << 8);
        const QByteArray argb = v4(0xff0000, 0xff00, 0xff, 0xff000000);
        for (const quint32 compression : {3, 0}) // bit fields, none
            row(compression ? "bmp 32-bit V4, bit fields with alpha" : "bmp 32-bit V4, alpha mask",
                bmp({64, 64}, 32, shades, {}, compression, {}, 0, argb),
                painted({64, 64}, [](int x, int y) { return qRgb(x * 4, y * 4, 128); }));
        row("bmp 16-bit V4, alpha mask, no compression",
            bmp(size, 16, le(0x7fff, 2).repeated(256), {}, 0, {}, 0,
                v4(0x7c00, 0x03e0, 0x001f, 0x8000)),
            filled(size, kWhite));

        // Logical screen 65535 x 8192 (537 megapixels), one 1 x 1 frame.
        row("gif with a huge screen",
            QByteArray::fromHex("474946383961 ffff0020 800000 000000ffffff"
                                "2c 0000000001000100 00 0202440100 3b"));
        row("ico: the largest entry",
            ico({encoded(filled({16, 16}, kRed)), encoded(filled({48, 32}, kBlue))}),
            filled({48, 32}, kBlue));
        // By content, not by name; upright; transparency over white; palettes expanded.
        row("png named .jpg", encoded(filled({8, 8}, kRed)), filled({8, 8}, kRed));
        // 2 x 2, palette red, green; green is transparent and fills the right column.
        row("gif transparent",
            QByteArray::fromHex("474946383961020002008000 00c81e2800ff00 21f9040100000100"
                                "2c000000000200020000 02 03448814 00 3b"),
            painted({2, 2}, [](int x, int) { return x ? kWhite : kRed; }));
        // Cut inside the pictures' data: the TIFF's directory comes last, the WebP's and HEIC's
        // headers first.
        row("avif: not a brand of ours", readFile(QFINDTESTDATA("data/format-refused.avif")));
        for (const char *name : {"format-lzw.tif", "format-lossless.webp", "format-8bit.heic"}) {
            const QByteArray whole = readFile(QFINDTESTDATA(u"data/"_s + QLatin1StringView(name)));
            QVERIFY(!whole.isEmpty());
            QTest::addRow("%s cut short", name) << whole.chopped(whole.size() / 3) << QImage();
        }
        row("garbage", "not a picture");
        QImage huge(65535, 8192, QImage::Format_Mono); // a valid PNG of a few hundred kilobytes
        huge.fill(0);
        row("ico: a 16 x 16 entry holding a 65535 x 8192 png", ico({encoded(huge)}));

        // A PNG's eXIf chunk, a WebP's EXIF chunk and a TIFF's own tag turn it as EXIF turns a
        // JPEG, since its copy is saved as upright; a damaged chunk is ignored, not a reason to
        // refuse the picture. Each stored pixel comes out where the orientation's turn takes it.
        const QImage stored = gradient({6, 4});
        const QByteArray png = encoded(stored);
        const auto withExif = [&](const QByteArray &tiff, qsizetype at = 8 + 25) {
            return QByteArray(png).insert(at, pngChunk("eXIf", tiff));
        };
        const auto turned = [&](int d) { return stored.transformed(QTransform().rotate(d)); };
        row("exif 6, big-endian", withExif(exifOrientation(6, true)), turned(90));
        row("exif 8, little-endian", withExif(exifOrientation(8, false)), turned(270));
        row("exif 3", withExif(exifOrientation(3, false)), turned(180));
        row("exif 5, mirrored across the diagonal", withExif(exifOrientation(5, true)),
            turned(90).mirrored(true, false));

        const QByteArray sideways = exifOrientation(6, true);
        QByteArray badCrc = withExif(sideways);
        const qsizetype crcAt = 8 + 25 + 8 + sideways.size(); // past the header and the chunk's
        badCrc[crcAt] = char(badCrc[crcAt] ^ 1);
        row("exif damaged: CRC", badCrc, stored);
        // Its value is there; the padding after it is not.
        row("exif damaged: IFD cut short", withExif(sideways.chopped(6)), stored);
        row("exif damaged: a LONG", withExif(exifOrientation(6, false, 4)), stored);
        row("exif after the pixels", withExif(sideways, png.size() - 12), stored);

        // A lossless WebP in an extended file whose EXIF chunk comes after the picture, with and
        // without the "Exif" prefix some writers keep.
        const QByteArray lossless = encoded(stored, "webp", 100); // lossless, for Qt's writer
        const auto webp = [&](const QByteArray &exif) {
            return extendedWebp(0x08, stored.size(), lossless,
                                "EXIF" + le(exif.size()) + exif + QByteArray(exif.size() & 1, 0));
        };
        row("webp 8", webp(exifOrientation(8, false)), turned(270));
        row("webp 5, Exif prefix", webp(QByteArray("Exif\0\0", 6) + exifOrientation(5, true)),
            turned(90).mirrored(true, false));
        row("tiff 7", encoded(stored, "tiff", -1, QImageIOHandler::TransformationMirrorAndRotate90),
            stored.mirrored(true, false).transformed(QTransform().rotate(90)));
        row("tiff 2", encoded(stored, "tiff", -1, QImageIOHandler::TransformationMirror),
            stored.mirrored(true, false));
    }

    void loadsAsExpected()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QImage, expected);
        const QString path =
            writeFile(dir_.filePath(QString::fromLatin1(QTest::currentDataTag())), bytes);
        const LoadedPhoto photo = loadPhoto(path);
        QCOMPARE(photo.outcome, expected.isNull() ? Outcome::Unreadable : Outcome::Ok);
        QCOMPARE(photo.error.isEmpty(), !expected.isNull());
        if (expected.isNull())
            return;
        QCOMPARE(photo.image, expected); // in format too: RGB32
    }

    // In a child whose address space is capped. Headers promising 20000 x 21000 pixels, over
    // the limit, are refused before a decoder is handed them, so the refusal is not reported as
    // a lack of memory; a picture under the limit that does not fit reports the lack of memory
    // (a JPEG of 10000 x 10000 is tst_photos' import); a JPEG followed by junk larger than the
    // cap loads, since the junk is never read.
    void cappedLoads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("junk");
        QTest::addColumn<Outcome>("outcome");
        const auto sample = [](const char *name) {
            return readFile(QFINDTESTDATA(u"data/"_s + QLatin1StringView(name)));
        };
        const QByteArray width = le(20000), height = le(21000);
        QByteArray tiff = sample("format-rgb8.tif");
        const qint64 ifd = qFromLittleEndian<quint32>(tiff.constData() + 4);
        for (qint64 entry = ifd + 2; entry < ifd + 2 + 12 * tiff[ifd]; entry += 12) {
            const quint16 tag = qFromLittleEndian<quint16>(tiff.constData() + entry);
            if (tag == 256 || tag == 257)
                tiff.replace(entry + 2, 10, le(4, 2) + le(1) + (tag == 256 ? width : height));
        }
        QTest::newRow("tiff") << tiff << qint64(0) << Outcome::Unreadable;
        QTest::newRow("webp canvas")
            << extendedWebp(0, {20000, 21000}, sample("format-lossless.webp")) << qint64(0)
            << Outcome::Unreadable;
        // The coded picture's and the primary item's extents alike.
        QByteArray heic = sample("format-8bit.heic");
        for (qsizetype ispe = heic.indexOf("ispe"); ispe > 0; ispe = heic.indexOf("ispe", ispe + 1))
            heic.replace(ispe + 8, 8, bigEndian(20000) + bigEndian(21000));
        QTest::newRow("heic ispe") << heic << qint64(0) << Outcome::Unreadable;
        QTest::newRow("bmp rle8 of 11000 x 11000")
            << bmp({11000, 11000}, 8, QByteArray::fromHex("0001"), le(kRed & 0xffffff), 1)
            << qint64(0) << Outcome::OutOfMemory;
        QTest::newRow("jpeg and 1 GiB of junk")
            << encodeJpeg(filled({64, 64}, kBlue), 90).data << (qint64(1) << 30) << Outcome::Ok;
    }

    // The encoder reports a lack of memory too, never throws.
    void cappedLoads()
    {
#ifdef ORVANE_ADDRESS_SANITIZER
        QSKIP("AddressSanitizer reserves more address space than any cap allows");
#endif
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, junk);
        QFETCH(Outcome, outcome);
        const QString path = writeFile(dir_.filePath(u"capped"_s), bytes);
        QVERIFY(QFile::resize(path, bytes.size() + junk)); // sparse: costs no disk
        QCOMPARE(underMemoryLimit(qint64(200) << 20, [&] { return int(loadPhoto(path).outcome); }),
                 int(outcome));
        // The library refuses a picture its data does not fill too: refused by us, first.
        if (QByteArrayView(QTest::currentDataTag()).startsWith("heic"))
            QCOMPARE(decodeHeif(bytes).status, HeifStatus::TooLarge);
        const QImage photo = filled({6000, 4000}, kBlue);
        QCOMPARE(
            underMemoryLimit(qint64(8) << 20, [&] { return int(encodeJpeg(photo, 80).status); }),
            int(JpegStatus::OutOfMemory));
    }

    // Each sample as another program decodes it (tests/data/make_format_samples.sh), upright
    // by the file's own orientation. Deeper channels are rounded to 8 bits by each program its
    // own way, a step apart at most. A thumbnail's end marker inside its EXIF segment ends
    // nothing. The IDCT and colour conversion may differ from ImageMagick's by a step; a grey
    // fill or a CMYK picture taken as YCbCr by far more.
    void formatsMatchAnotherDecoder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("tolerance");
        for (const char *name :
             {"format-rgb8.tif", "format-lzw.tif", "format-lossless.webp", "format-lossy.webp",
              "format-8bit.heic", "format-irot.heic", "format-topdown.bmp",
              "format-progressive.jpg", "format-thumbnail.jpg", "format-cmyk.jpg"})
            QTest::newRow(name) << QString::fromLatin1(name) << 0;
        for (const char *name : {"format-rgb16.tif", "format-10bit.heic"})
            QTest::newRow(name) << QString::fromLatin1(name) << 1;
    }

    void formatsMatchAnotherDecoder()
    {
        QFETCH(QString, name);
        QFETCH(int, tolerance);
        const QString path = QFINDTESTDATA(u"data/"_s + name);
        const QImage expected = QImage(path.left(path.lastIndexOf(u'.')) + u".png"_s)
                                    .convertToFormat(QImage::Format_RGB32);
        QVERIFY(!expected.isNull());
        WorkProgress progress;
        const LoadedPhoto photo = loadPhoto(path, &progress);
        // Our own decoder, which shows its progress, reads every JPEG but CMYK ones.
        QCOMPARE(progress.fraction(), name.endsWith(u".jpg"_s) && !name.contains(u"cmyk"_s));
        QVERIFY2(photo.ok(), qPrintable(photo.error));
        QCOMPARE(photo.image.format(), QImage::Format_RGB32);
        QCOMPARE(photo.image.size(), expected.size());
        int worst = 0;
        for (int y = 0; y < expected.height(); ++y) {
            const auto *got = reinterpret_cast<const QRgb *>(photo.image.constScanLine(y));
            const auto *want = reinterpret_cast<const QRgb *>(expected.constScanLine(y));
            for (int x = 0; x < expected.width(); ++x)
                worst = std::max(worst, channelDistance(got[x], want[x]));
        }
        QVERIFY2(worst <= tolerance, qPrintable(QString::number(worst)));
    }
};

QTEST_GUILESS_MAIN(TestLoader)
#include "tst_loader.moc"
