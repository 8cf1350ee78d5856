#include "output/jpeg_writer.h"
#include "output/metadata.h"
#include "photo/jpeg_codec.h"

#include <exiv2/exiv2.hpp>

#include <QColorSpace>
#include <QImageReader>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const Exiv2::byte *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const Exiv2::byte *>(data.constData());
}

QImage gradient(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 4, 128));
    return image;
}

QImage decodeUpright(const QByteArray &jpeg)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    return reader.read();
}

// The pixels alone: the colour profile is checked on its own.
QImage pixelsOf(QImage image)
{
    image.setColorSpace(QColorSpace());
    return image;
}

// Metadata as an independent reader sees it in JPEG bytes.
struct Seen
{
    Exiv2::Image::AutoPtr image;

    explicit Seen(const QByteArray &jpeg)
        : image(Exiv2::ImageFactory::open(bytesOf(jpeg), long(jpeg.size())))
    {
        image->readMetadata();
    }
    template <typename Data, typename Key> static QString find(Data &data, const char *key)
    {
        const auto found = data.findKey(Key(key));
        return found == data.end() ? QString() : QString::fromStdString(found->toString());
    }
    QString exif(const char *key)
    {
        return find<Exiv2::ExifData, Exiv2::ExifKey>(image->exifData(), key);
    }
    QString xmp(const char *key)
    {
        return find<Exiv2::XmpData, Exiv2::XmpKey>(image->xmpData(), key);
    }
    QString iptc(const char *key)
    {
        return find<Exiv2::IptcData, Exiv2::IptcKey>(image->iptcData(), key);
    }
};

} // namespace

class TestMetadata : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QByteArray icc_ = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    PhotoMetadata camera_;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(dir_.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return file.fileName();
    }

private slots:
    // A camera's portrait photo, held sideways: 64 x 48 stored, orientation 6, a thumbnail.
    void initTestCase()
    {
        const QString path = write(u"camera.jpg"_s, encodeJpeg(gradient({64, 48}), 90).data);
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifData &exif = image->exifData();
        exif["Exif.Image.Make"] = "Orvane Optics";
        exif["Exif.Image.Model"] = "Portrait 12";
        exif["Exif.Image.Orientation"] = uint16_t(6);
        exif["Exif.Photo.DateTimeOriginal"] = "2012:05:01 10:20:30";
        exif["Exif.Photo.PixelXDimension"] = uint32_t(64);
        exif["Exif.Photo.PixelYDimension"] = uint32_t(48);
        const QByteArray thumbnail = encodeJpeg(gradient({16, 12}), 80).data;
        Exiv2::ExifThumb(exif).setJpegThumbnail(bytesOf(thumbnail), long(thumbnail.size()));
        image->xmpData()["Xmp.xmp.CreatorTool"] = "Orvane Test";
        image->xmpData()["Xmp.tiff.Orientation"] = "6";
        Exiv2::XmpTextValue alternatives;
        alternatives.setXmpArrayType(Exiv2::XmpValue::xaAlt);
        image->xmpData().add(Exiv2::XmpKey("Xmp.xmp.Thumbnails"), &alternatives);
        image->xmpData()["Xmp.xmp.Thumbnails[1]/xmpGImg:image"] = "/9j/2wBDAA==";
        image->iptcData()["Iptc.Application2.Caption"] = "A portrait";
        Exiv2::DataBuf profile(bytesOf(icc_), long(icc_.size()));
        image->setIccProfile(profile);
        image->writeMetadata();

        camera_ = readMetadata(path);
        QVERIFY(camera_.unreadable.isEmpty());
        QVERIFY(!camera_.exif.isEmpty() && !camera_.iptc.isEmpty());
        QVERIFY(camera_.xmp.contains("xmpGImg:image"));
        QCOMPARE(camera_.iccProfile, icc_);
    }

    void keepsWhatTheCameraWroteForTheUprightPicture()
    {
        const QImage upright = gradient({48, 64});
        const QByteArray plain = encodeJpeg(upright, 80).data;
        const MetadataResult saved = withMetadata(plain, camera_, upright.size());
        QVERIFY(saved.leftOut.isEmpty());

        Seen seen(saved.jpeg);
        QCOMPARE(seen.exif("Exif.Image.Make"), u"Orvane Optics"_s);
        QCOMPARE(seen.exif("Exif.Image.Model"), u"Portrait 12"_s);
        QCOMPARE(seen.exif("Exif.Photo.DateTimeOriginal"), u"2012:05:01 10:20:30"_s);
        QCOMPARE(seen.exif("Exif.Image.Orientation"), u"1"_s);
        QCOMPARE(seen.exif("Exif.Photo.PixelXDimension"), u"48"_s);
        QCOMPARE(seen.exif("Exif.Photo.PixelYDimension"), u"64"_s);
        QCOMPARE(Exiv2::ExifThumbC(seen.image->exifData()).copy().size_, 0);
        QCOMPARE(seen.xmp("Xmp.xmp.CreatorTool"), u"Orvane Test"_s);
        QCOMPARE(seen.xmp("Xmp.tiff.Orientation"), u"1"_s);
        QVERIFY(seen.xmp("Xmp.xmp.Thumbnails[1]/xmpGImg:image").isEmpty());
        QCOMPARE(seen.iptc("Iptc.Application2.Caption"), u"A portrait"_s);

        // A viewer that honours the tags shows the picture as it was saved, in its colours.
        const QImage shown = decodeUpright(saved.jpeg);
        QCOMPARE(pixelsOf(shown), pixelsOf(decodeUpright(plain)));
        QCOMPARE(shown.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    }

    // Whatever cannot be read or written is left out and named; the rest is kept.
    void damagedMetadataNeverBlocksTheSave_data()
    {
        QTest::addColumn<MetadataPart>("lost");
        QTest::newRow("exif") << MetadataPart::Exif;
        QTest::newRow("xmp") << MetadataPart::Xmp;
        QTest::newRow("iptc") << MetadataPart::Iptc;
        QTest::newRow("icc") << MetadataPart::IccProfile;
    }

    void damagedMetadataNeverBlocksTheSave()
    {
        QFETCH(MetadataPart, lost);
        PhotoMetadata damaged = camera_;
        QByteArray *parts[] = {&damaged.exif, &damaged.xmp, &damaged.iptc, &damaged.iccProfile};
        *parts[int(lost)] = QByteArray("<x:xmpmeta damaged").repeated(4);
        const QByteArray plain = encodeJpeg(gradient({48, 64}), 80).data;
        const MetadataResult saved = withMetadata(plain, damaged, {48, 64});

        QCOMPARE(saved.leftOut.size(), 1);
        QCOMPARE(saved.leftOut.first().part, lost);
        QVERIFY(!saved.leftOut.first().reason.isEmpty());
        const PhotoMetadata kept = readMetadata(write(u"kept.jpg"_s, saved.jpeg));
        QCOMPARE(kept.exif.isEmpty(), lost == MetadataPart::Exif);
        QCOMPARE(kept.xmp.isEmpty(), lost == MetadataPart::Xmp);
        QCOMPARE(kept.iptc.isEmpty(), lost == MetadataPart::Iptc);
        QCOMPARE(kept.iccProfile.isEmpty(), lost == MetadataPart::IccProfile);
        QCOMPARE(pixelsOf(decodeUpright(saved.jpeg)), pixelsOf(decodeUpright(plain)));
    }

    // An Exif segment that claims more bytes than the file holds.
    void unreadableFileGivesThePlainPictureAndTheReason()
    {
        QByteArray broken = encodeJpeg(gradient({16, 16}), 80).data;
        broken.insert(2, QByteArray::fromHex("ffe1fff0") + "Exif\0\0II*\0"_ba);
        broken.truncate(40);
        const PhotoMetadata metadata = readMetadata(write(u"broken.jpg"_s, broken));
        QVERIFY(metadata.isEmpty());
        QCOMPARE(metadata.unreadable.size(), 1);

        const QByteArray plain = encodeJpeg(gradient({16, 16}), 80).data;
        const MetadataResult saved = withMetadata(plain, metadata, {16, 16});
        QCOMPARE(saved.jpeg, plain);
        QCOMPARE(saved.leftOut, metadata.unreadable);

        // A BMP has nothing to keep, and nothing is missing from it.
        QBuffer bmp;
        bmp.open(QIODevice::WriteOnly);
        gradient({8, 8}).save(&bmp, "bmp");
        const PhotoMetadata none = readMetadata(write(u"plain.bmp"_s, bmp.data()));
        QVERIFY(none.isEmpty() && none.unreadable.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMetadata)
#include "tst_metadata.moc"
