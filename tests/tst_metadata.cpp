#include "output/metadata.h"
#include "photo/jpeg_codec.h"
#include "test_support.h"

#include <exiv2/exiv2.hpp>

#include <QColorSpace>
#include <QImageReader>
#include <QtTest>

#include <atomic>
#include <thread>

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

// A small PNG with the chunks put after its header.
QByteArray pngWith(const QByteArray &chunks)
{
    const QByteArray png = encoded(gradient({8, 8}), "png");
    return png.left(8 + 25) + chunks + png.mid(8 + 25);
}

QByteArray xmpPacket(const QByteArray &ns, const QByteArray &value)
{
    return R"(<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?><x:xmpmeta xmlns:x="adobe:ns:meta/">)"
           R"(<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">)"
           R"(<rdf:Description rdf:about="" xmlns:p=")"_ba +
           ns + R"("><p:note>)" + value +
           R"(</p:note></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end="w"?>)";
}

QByteArray pngXmp(const QByteArray &packet)
{
    return pngChunk("iTXt", "XML:com.adobe.xmp\0\0\0\0\0"_ba + packet);
}

QByteArray pngProfile(const QByteArray &profile)
{
    return pngChunk("iCCP", "icc\0\0"_ba + qCompress(profile).mid(4)); // zlib without Qt's size
}

// A profile in as many APP2 segments as it needs.
QByteArray jpegProfile(const QByteArray &profile)
{
    const qsizetype step = 65519;
    const int count = int((profile.size() + step - 1) / step);
    QByteArray segments;
    for (int i = 0; i < count; ++i)
        segments += jpegSegment(0xE2, "ICC_PROFILE\0"_ba + char(i + 1) + char(count) +
                                          profile.mid(i * step, step));
    return segments;
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
        exif["Exif.Image.ImageWidth"] = uint32_t(64);
        exif["Exif.Image.ImageLength"] = uint32_t(48);
        const QByteArray thumbnail = encodeJpeg(gradient({16, 12}), 80).data;
        Exiv2::ExifThumb(exif).setJpegThumbnail(bytesOf(thumbnail), long(thumbnail.size()));
        image->xmpData()["Xmp.xmp.CreatorTool"] = "Orvane Test";
        image->xmpData()["Xmp.tiff.Orientation"] = "6";
        for (const auto &[key, value] : {std::pair{"Xmp.tiff.ImageWidth", "64"},
                                         {"Xmp.tiff.ImageLength", "48"},
                                         {"Xmp.exif.PixelXDimension", "64"},
                                         {"Xmp.exif.PixelYDimension", "48"}})
            image->xmpData()[key] = value;
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

    // Every tag is kept as the camera wrote it, but those of the orientation, the sides and
    // the thumbnails. Whatever cannot be read or written is left out and named; the rest is kept.
    // A grey or CMYK profile in a colour JPEG makes viewers reject the picture.
    void keepsWhatTheCameraWroteForTheUprightPicture_data()
    {
        QTest::addColumn<int>("lost"); // a MetadataPart, or -1: none
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray damaged = QByteArray("<x:xmpmeta damaged").repeated(4);
        QTest::newRow("all kept") << -1 << QByteArray();
        for (const MetadataPart part :
             {MetadataPart::Exif, MetadataPart::Xmp, MetadataPart::Iptc, MetadataPart::IccProfile})
            QTest::addRow("part %d damaged", int(part)) << int(part) << damaged;
        QTest::newRow("grey icc") << int(MetadataPart::IccProfile)
                                  << QByteArray(icc_).replace(16, 4, "GRAY");
    }

    void keepsWhatTheCameraWroteForTheUprightPicture()
    {
        QFETCH(int, lost);
        QFETCH(QByteArray, bytes);
        PhotoMetadata metadata = camera_;
        QByteArray *parts[] = {&metadata.exif, &metadata.xmp, &metadata.iptc, &metadata.iccProfile};
        if (lost >= 0)
            *parts[lost] = bytes;
        const QByteArray plain = encodeJpeg(gradient({48, 64}), 80).data;
        const MetadataResult saved = withMetadata(plain, metadata, {48, 64});
        QCOMPARE(saved.leftOut.size(), lost < 0 ? 0 : 1);
        QVERIFY(lost < 0 || (int(saved.leftOut.first().part) == lost &&
                             !saved.leftOut.first().reason.isEmpty()));

        const auto tags = [](const QByteArray &jpeg) {
            const auto image = Exiv2::ImageFactory::open(bytesOf(jpeg), long(jpeg.size()));
            image->readMetadata();
            QMap<QString, QString> all;
            const auto add = [&](const auto &data) {
                for (const auto &datum : data)
                    all[QString::fromStdString(datum.key())] =
                        QString::fromStdString(datum.toString());
            };
            add(image->exifData());
            add(image->xmpData());
            add(image->iptcData());
            all.remove(u"Exif.Image.ExifTag"_s); // an offset, which moves
            return all;
        };
        QMap<QString, QString> expected = tags(readFile(dir_.filePath(u"camera.jpg"_s)));
        for (const auto &[keys, value] :
             {std::pair{"Exif.Image.Orientation Xmp.tiff.Orientation", u"1"_s},
              {"Exif.Photo.PixelXDimension Xmp.tiff.ImageWidth Xmp.exif.PixelXDimension", u"48"_s},
              {"Exif.Photo.PixelYDimension Xmp.tiff.ImageLength Xmp.exif.PixelYDimension",
               u"64"_s}})
            for (const QString &key : QString::fromLatin1(keys).split(u' '))
                expected[key] = value;
        const QString lostTags[] = {u"Exif."_s, u"Xmp."_s, u"Iptc."_s, u"none"_s};
        for (const QString &key : expected.keys()) {
            if (key.startsWith(u"Exif.Thumbnail.") || key.startsWith(u"Xmp.xmp.Thumbnails") ||
                key.startsWith(u"Exif.Image.Image") ||
                (lost >= 0 && key.startsWith(lostTags[lost])))
                expected.remove(key);
        }
        QCOMPARE(tags(saved.jpeg), expected);

        // A viewer that honours the tags shows the picture as it was saved, in its colours.
        QCOMPARE(shownPixels(saved.jpeg), shownPixels(plain));
        QCOMPARE(QImage::fromData(saved.jpeg).colorSpace(),
                 lost == int(MetadataPart::IccProfile) ? QColorSpace()
                                                       : QColorSpace(QColorSpace::DisplayP3));
    }

    // Exiv2 takes any file with "ftyp" at byte 4 for a container and loops over its boxes;
    // only JPEG and PNG, known by their own signatures, are given to it. A part that cannot be
    // read, or too large for its cost, is left out and named before Exiv2 reads it, and the save
    // names it again; the rest of the file's metadata is kept. (That a BMP has nothing to keep
    // and nothing missing is tst_photos' save.)
    void unreadablePartsAreLeftOutAndNamed_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("lost"); // a MetadataPart, or -1: none
        QTest::addColumn<int>("kept"); // -1: none, and the save is the plain picture
        const auto row = [](const char *name, const QByteArray &file, int lost, int kept) {
            QTest::newRow(name) << file << lost << kept;
        };
        row("ppm claiming a box", "P6\n#ftyp\n16 16\n255\n"_ba + QByteArray(768, 'x'), -1, -1);
        // Photo formats whose metadata is not read: what they carry is named as left out.
        QByteArray xmpTiff = encoded(gradient({8, 8}), "tiff");
        const qint64 ifd = qFromLittleEndian<quint32>(xmpTiff.constData() + 4);
        xmpTiff.replace(ifd + 2 + 12 * (xmpTiff[ifd] - 1), 2, "\xbc\x02"); // the last tag: XMP
        const int exifPart = int(MetadataPart::Exif), xmpPart = int(MetadataPart::Xmp),
                  iptcPart = int(MetadataPart::Iptc), iccPart = int(MetadataPart::IccProfile),
                  allParts = int(MetadataPart::All);
        row("tiff without metadata", encoded(gradient({8, 8}), "tiff"), -1, -1);
        row("tiff with xmp", xmpTiff, allParts, -1);
        row("big-endian tiff with xmp", "MM\0*\0\0\0\x08\0\x01\x02\xbc"_ba + QByteArray(14, 0),
            allParts, -1);
        row("webp flagged exif", extendedWebp(0x08, {8, 8}, encoded(gradient({8, 8}), "webp")),
            allParts, -1);
        row("heic", readFile(QFINDTESTDATA("data/format-8bit.heic")), -1, -1);
        const QByteArray plain = encodeJpeg(gradient({16, 16}), 80).data;
        const QByteArray exifStart = QByteArray::fromHex("ffe1fff0") + "Exif\0\0II*\0"_ba;
        row("exif past the end", QByteArray(plain).insert(2, exifStart).left(40), exifPart, -1);

        const QByteArray exif = jpegSegment(0xE1, "Exif\0\0"_ba + camera_.exif);
        const QByteArray xmp = xmpPacket("http://ns.example.org/a/", "kept");
        row("jpeg profile of 5 MiB",
            QByteArray(plain).insert(2, exif + jpegProfile(icc_ + QByteArray(5 << 20, 'p'))),
            iccPart, exifPart);
        const QByteArray blocks = jpegSegment(0xED, "Photoshop 3.0\0"_ba + QByteArray(60000, '8'));
        row("jpeg photoshop blocks of 1.1 MiB",
            QByteArray(plain).insert(2, exif + blocks.repeated(20)), iptcPart, exifPart);
        // As some tools write it: hex in a text chunk, plain or compressed.
        const QByteArray raw = "\nexif\n"_ba + QByteArray::number(camera_.exif.size() + 6) + '\n' +
                               ("Exif\0\0"_ba + camera_.exif).toHex() + '\n';
        const QByteArray keyword = "Raw profile type exif\0"_ba;
        row("png exif as text", pngWith(pngChunk("tEXt", keyword + raw)), -1, exifPart);
        row("png exif as compressed text",
            pngWith(pngChunk("zTXt", keyword + '\0' + qCompress(raw).mid(4))), -1, exifPart);
        row("jpeg, an empty segment first",
            QByteArray(plain).insert(2, jpegSegment(0xFE, {}) + exif), -1, exifPart);
        row("jpeg of 10000 segments",
            QByteArray(plain).insert(2, exif + jpegSegment(0xFE, "c").repeated(10000)), allParts,
            exifPart);
        row("png with two profiles", pngWith(pngProfile(icc_) + pngXmp(xmp) + pngProfile(icc_)),
            iccPart, xmpPart);
        const auto compressedXmp = [](const QByteArray &packet) {
            return pngChunk("iTXt", "XML:com.adobe.xmp\0\1\0\0\0"_ba + qCompress(packet).mid(4));
        };
        // Past what Exiv2 inflates at all: it would drop the profile without a word, after 0.6 s.
        row("png profile of 40 MiB",
            pngWith(pngProfile(icc_ + QByteArray(40 << 20, 'p')) + compressedXmp(xmp)), iccPart,
            xmpPart);
        // XMP over what one JPEG segment holds, a chunk over 1 MiB, and one inflating past it.
        const QByteArray big = xmpPacket("http://ns.example.org/a/", QByteArray(2 << 20, 'x'));
        const std::pair<const char *, QByteArray> xmpChunks[] = {
            {"png xmp over one jpeg segment",
             pngXmp(xmpPacket("http://ns.example.org/a/", QByteArray(70000, 'x')))},
            {"png xmp chunk over 1 MiB", pngXmp(big)},
            {"png xmp inflating to 2 MiB", compressedXmp(big)}};
        for (const auto &[name, chunk] : xmpChunks)
            row(name, pngWith(pngProfile(icc_) + chunk), xmpPart, iccPart);
    }

    void unreadablePartsAreLeftOutAndNamed()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, lost);
        QFETCH(int, kept);
        const PhotoMetadata metadata = readMetadata(writeFile(dir_.filePath(u"file"_s), file));
        QCOMPARE(metadata.unreadable.size(), lost < 0 ? 0 : 1);
        const QByteArray parts[] = {metadata.exif, metadata.xmp, metadata.iptc,
                                    metadata.iccProfile};
        if (lost >= 0) {
            QCOMPARE(int(metadata.unreadable.first().part), lost);
            QVERIFY(!metadata.unreadable.first().reason.isEmpty());
            QVERIFY(lost == int(MetadataPart::All) || parts[lost].isEmpty());
        }
        QCOMPARE(metadata.isEmpty(), kept < 0);
        QVERIFY(kept < 0 || !parts[kept].isEmpty());
        if (kept == int(MetadataPart::IccProfile))
            QCOMPARE(metadata.iccProfile, icc_);
        const QByteArray plain = encodeJpeg(gradient({16, 16}), 80).data;
        const MetadataResult saved = withMetadata(plain, metadata, {16, 16});
        QCOMPARE(saved.jpeg == plain, kept < 0);
        QCOMPARE(saved.leftOut, metadata.unreadable);
    }

    // Two photos bind one prefix to different namespaces, read and saved on two threads at
    // once; Exiv2's registry of namespaces is shared by the whole process.
    void threadsKeepTheirOwnNamespaces()
    {
        const QByteArray plain = encodeJpeg(gradient({8, 8}), 80).data;
        const QByteArray namespaces[] = {"http://ns.example.org/a/", "http://ns.example.org/b/"};
        QString paths[2];
        for (int i = 0; i < 2; ++i)
            paths[i] = writeFile(dir_.filePath(u"ns%1.jpg"_s.arg(i)),
                                 withXmpSegment(plain, xmpPacket(namespaces[i], "v")));
        std::atomic<int> wrong = 0;
        const auto work = [&](int i) {
            for (int n = 0; n < 1000; ++n) {
                const PhotoMetadata read = readMetadata(paths[i]);
                const QByteArray saved = withMetadata(plain, read, {8, 8}).jpeg;
                if (!read.xmp.contains(namespaces[i]) || !saved.contains(namespaces[i]) ||
                    saved.contains(namespaces[1 - i]))
                    ++wrong;
            }
        };
        std::thread other(work, 1);
        work(0);
        other.join();
        QCOMPARE(wrong.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMetadata)
#include "tst_metadata.moc"
