#include "output/metadata.h"
#include "photo/jpeg_codec.h"
#include "test_support.h"

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

// The pixels as a viewer that honours the orientation shows them; the colour profile is
// checked on its own.
QImage shownPixels(const QByteArray &jpeg)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    image.setColorSpace(QColorSpace());
    return image;
}

// A tag as an independent reader sees it, empty if absent.
template <typename Data> QString tag(Data &data, const char *key)
{
    return QString::fromStdString(data[key].toString());
}

} // namespace

class TestMetadata : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QByteArray icc_ = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    PhotoMetadata camera_;

private slots:
    // A camera's portrait photo, held sideways: 64 x 48 stored, orientation 6, a thumbnail.
    void initTestCase()
    {
        const QString path =
            writeFile(dir_.filePath(u"camera.jpg"_s), encodeJpeg(gradient({64, 48}), 90).data);
        auto image = Exiv2::ImageFactory::open(path.toStdString()); // a new file: nothing to read
        Exiv2::ExifData &exif = image->exifData();
        exif["Exif.Image.Orientation"] = uint16_t(6);
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
        QVERIFY(camera_.xmp.contains("xmpGImg:image")); // or its removal would prove nothing
    }

    void keepsWhatTheCameraWroteForTheUprightPicture()
    {
        const QByteArray plain = encodeJpeg(gradient({48, 64}), 80).data;
        const MetadataResult saved = withMetadata(plain, camera_, {48, 64});
        QVERIFY(saved.leftOut.isEmpty());

        const auto seen = Exiv2::ImageFactory::open(bytesOf(saved.jpeg), long(saved.jpeg.size()));
        seen->readMetadata();
        Exiv2::ExifData &exif = seen->exifData();
        // The maker and the orientation of 1 are tst_photos' save.
        QCOMPARE(tag(exif, "Exif.Photo.PixelXDimension"), u"48"_s);
        QCOMPARE(tag(exif, "Exif.Photo.PixelYDimension"), u"64"_s);
        QCOMPARE(Exiv2::ExifThumbC(exif).copy().size_, 0);
        QCOMPARE(tag(seen->xmpData(), "Xmp.xmp.CreatorTool"), u"Orvane Test"_s);
        QCOMPARE(tag(seen->xmpData(), "Xmp.tiff.Orientation"), u"1"_s);
        QCOMPARE(tag(seen->xmpData(), "Xmp.xmp.Thumbnails[1]/xmpGImg:image"), QString());
        QCOMPARE(tag(seen->iptcData(), "Iptc.Application2.Caption"), u"A portrait"_s);

        // A viewer that honours the tags shows the picture as it was saved, in its colours.
        QCOMPARE(shownPixels(saved.jpeg), shownPixels(plain));
        QCOMPARE(QImage::fromData(saved.jpeg).colorSpace(), QColorSpace(QColorSpace::DisplayP3));
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
        const PhotoMetadata kept =
            readMetadata(writeFile(dir_.filePath(u"kept.jpg"_s), saved.jpeg));
        const QByteArray keptParts[] = {kept.exif, kept.xmp, kept.iptc, kept.iccProfile};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(keptParts[i].isEmpty(), i == int(lost));
        QCOMPARE(shownPixels(saved.jpeg), shownPixels(plain));
    }

    // An Exif segment that claims more bytes than the file holds gives the plain picture and
    // the reason. (That a BMP has nothing to keep and nothing missing is tst_photos' save.)
    void unreadableFileGivesThePlainPictureAndTheReason()
    {
        const QByteArray plain = encodeJpeg(gradient({16, 16}), 80).data;
        QByteArray broken = plain;
        broken.insert(2, QByteArray::fromHex("ffe1fff0") + "Exif\0\0II*\0"_ba).truncate(40);
        const PhotoMetadata metadata =
            readMetadata(writeFile(dir_.filePath(u"broken.jpg"_s), broken));
        QVERIFY(metadata.isEmpty());
        QCOMPARE(metadata.unreadable.size(), 1);
        const MetadataResult saved = withMetadata(plain, metadata, {16, 16});
        QCOMPARE(saved.jpeg, plain);
        QCOMPARE(saved.leftOut, metadata.unreadable);
    }
};

QTEST_GUILESS_MAIN(TestMetadata)
#include "tst_metadata.moc"
