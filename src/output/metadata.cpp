#include "output/metadata.h"

#include <exiv2/exiv2.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

using namespace Qt::StringLiterals;

namespace {

constexpr MetadataPart kParts[] = {MetadataPart::Exif, MetadataPart::Xmp, MetadataPart::Iptc,
                                   MetadataPart::IccProfile};

// Exiv2 prints its warnings on stderr, and its XMP toolkit must be set up before two threads
// may use it; we report through values instead.
void prepareLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

QString reasonOf(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

// Runs step; an exception becomes a loss of part. Exiv2 throws on damaged data, and nothing
// it throws may reach the caller.
template <typename Step> bool attempt(MetadataPart part, QList<MetadataLoss> &losses, Step step)
{
    try {
        step();
        return true;
    } catch (const std::exception &error) {
        losses.append({part, reasonOf(error)});
    } catch (...) {
        losses.append({part, u"unknown error"_s});
    }
    return false;
}

const Exiv2::byte *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const Exiv2::byte *>(data.constData());
}

QByteArray toByteArray(const Exiv2::byte *data, long size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

QByteArray part(const PhotoMetadata &metadata, MetadataPart which)
{
    switch (which) {
    case MetadataPart::Exif:
        return metadata.exif;
    case MetadataPart::Xmp:
        return metadata.xmp;
    case MetadataPart::Iptc:
        return metadata.iptc;
    case MetadataPart::IccProfile:
        return metadata.iccProfile;
    case MetadataPart::All:
        break;
    }
    return {};
}

void putExif(Exiv2::Image &image, const QByteArray &blob, QSize saved)
{
    Exiv2::ExifData exif;
    const Exiv2::ByteOrder order =
        Exiv2::ExifParser::decode(exif, bytesOf(blob), uint32_t(blob.size()));
    Exiv2::ExifThumb(exif).erase();
    exif["Exif.Image.Orientation"] = uint16_t(1);
    exif["Exif.Photo.PixelXDimension"] = uint32_t(saved.width());
    exif["Exif.Photo.PixelYDimension"] = uint32_t(saved.height());
    for (const char *key : {"Exif.Image.ImageWidth", "Exif.Image.ImageLength"}) {
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        if (found != exif.end())
            exif.erase(found);
    }
    image.setByteOrder(order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order);
    image.setExifData(exif);
}

void putXmp(Exiv2::Image &image, const QByteArray &packet, QSize saved)
{
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, packet.toStdString()) != 0)
        throw std::runtime_error("XMP packet cannot be parsed");
    for (auto it = xmp.begin(); it != xmp.end();) {
        if (it->key().starts_with("Xmp.xmp.Thumbnails"))
            it = xmp.erase(it);
        else
            ++it;
    }
    const auto update = [&xmp](const char *key, uint32_t value) {
        if (xmp.findKey(Exiv2::XmpKey(key)) != xmp.end())
            xmp[key] = value;
    };
    update("Xmp.tiff.Orientation", 1);
    update("Xmp.tiff.ImageWidth", uint32_t(saved.width()));
    update("Xmp.tiff.ImageLength", uint32_t(saved.height()));
    update("Xmp.exif.PixelXDimension", uint32_t(saved.width()));
    update("Xmp.exif.PixelYDimension", uint32_t(saved.height()));
    image.setXmpData(xmp);
}

void putIptc(Exiv2::Image &image, const QByteArray &blob)
{
    Exiv2::IptcData iptc;
    if (Exiv2::IptcParser::decode(iptc, bytesOf(blob), uint32_t(blob.size())) != 0 || iptc.empty())
        throw std::runtime_error("IPTC data cannot be decoded");
    image.setIptcData(iptc);
}

void putIccProfile(Exiv2::Image &image, const QByteArray &profile)
{
    Exiv2::DataBuf buffer(bytesOf(profile), long(profile.size()));
    image.setIccProfile(buffer, true);
}

// The JPEG with the given parts of metadata written in; throws what Exiv2 throws.
QByteArray write(const QByteArray &jpeg, const PhotoMetadata &metadata,
                 const QList<MetadataPart> &parts, QSize saved)
{
    // Opening bytes reads them in place; Exiv2 copies only when it writes.
    auto image = Exiv2::ImageFactory::open(bytesOf(jpeg), long(jpeg.size()));
    if (image.get() == nullptr || image->mimeType() != "image/jpeg")
        throw std::runtime_error("not JPEG data");
    for (const MetadataPart which : parts) {
        const QByteArray data = part(metadata, which);
        switch (which) {
        case MetadataPart::Exif:
            putExif(*image, data, saved);
            break;
        case MetadataPart::Xmp:
            putXmp(*image, data, saved);
            break;
        case MetadataPart::Iptc:
            putIptc(*image, data);
            break;
        case MetadataPart::IccProfile:
            putIccProfile(*image, data);
            break;
        case MetadataPart::All:
            break;
        }
    }
    image->writeMetadata();

    Exiv2::BasicIo &io = image->io();
    if (io.open() != 0)
        throw std::runtime_error("written data cannot be read back");
    const long size = io.size();
    QByteArray written(qsizetype(size), Qt::Uninitialized);
    io.seek(0, Exiv2::BasicIo::beg);
    const long read = io.read(reinterpret_cast<Exiv2::byte *>(written.data()), size);
    io.close();
    if (read != size)
        throw std::runtime_error("written data cannot be read back");
    return written;
}

} // namespace

PhotoMetadata readMetadata(const QString &path)
{
    prepareLibrary();
    PhotoMetadata metadata;
    // Exiv2 opens files by name. Give it one that can only be the regular file checked here:
    // a named pipe put in its place would block, and a name such as "http://..." would make
    // it read from the network.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return metadata;
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return metadata;
    const std::string file = "/proc/self/fd/" + std::to_string(fd);
    auto &losses = metadata.unreadable;
    attempt(MetadataPart::All, losses, [&] {
        if (Exiv2::ImageFactory::getType(file) == Exiv2::ImageType::none)
            return; // ICO and other formats without metadata
        auto image = Exiv2::ImageFactory::open(file, false);
        image->readMetadata();

        attempt(MetadataPart::Exif, losses, [&] {
            if (image->exifData().empty())
                return;
            Exiv2::Blob blob;
            const Exiv2::ByteOrder order = image->byteOrder();
            Exiv2::ExifParser::encode(
                blob, order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order,
                image->exifData());
            metadata.exif = toByteArray(blob.data(), long(blob.size()));
        });
        attempt(MetadataPart::Xmp, losses, [&] {
            const std::string &packet = image->xmpPacket();
            if (packet.empty())
                return;
            // Exiv2 only warns about a packet it cannot parse; we could not update it either.
            Exiv2::XmpData parsed;
            if (Exiv2::XmpParser::decode(parsed, packet) != 0)
                throw std::runtime_error("XMP packet cannot be parsed");
            metadata.xmp = QByteArray::fromStdString(packet);
        });
        attempt(MetadataPart::Iptc, losses, [&] {
            if (image->iptcData().empty())
                return;
            const Exiv2::DataBuf blob = Exiv2::IptcParser::encode(image->iptcData());
            metadata.iptc = toByteArray(blob.pData_, blob.size_);
        });
        if (image->iccProfileDefined()) {
            const Exiv2::DataBuf *profile = image->iccProfile();
            metadata.iccProfile = toByteArray(profile->pData_, profile->size_);
        }
    });
    return metadata;
}

MetadataResult withMetadata(const QByteArray &jpeg, const PhotoMetadata &metadata, QSize saved)
{
    MetadataResult result{jpeg, metadata.unreadable};
    if (jpeg.isEmpty() || metadata.isEmpty())
        return result;
    prepareLibrary();

    QList<MetadataPart> present;
    for (const MetadataPart which : kParts) {
        if (!part(metadata, which).isEmpty())
            present.append(which);
    }
    QList<MetadataLoss> firstTry;
    if (attempt(MetadataPart::All, firstTry,
                [&] { result.jpeg = write(jpeg, metadata, present, saved); }))
        return result;

    // Something would not go in: keep every part that can, one more at a time.
    QList<MetadataPart> kept;
    for (const MetadataPart which : present) {
        QList<MetadataPart> trial = kept;
        trial.append(which);
        if (attempt(which, result.leftOut,
                    [&] { result.jpeg = write(jpeg, metadata, trial, saved); }))
            kept = trial;
    }
    return result;
}

QString metadataPartName(MetadataPart part)
{
    switch (part) {
    case MetadataPart::Exif:
        return u"EXIF"_s;
    case MetadataPart::Xmp:
        return u"XMP"_s;
    case MetadataPart::Iptc:
        return u"IPTC"_s;
    case MetadataPart::IccProfile:
        return u"ICC 色彩配置文件"_s;
    case MetadataPart::All:
        break;
    }
    return u"元数据"_s;
}
