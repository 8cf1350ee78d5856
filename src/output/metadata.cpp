#include "output/metadata.h"

#include "output/file_descriptor.h"
#include "output/inflated_size.h"

#include <exiv2/exiv2.hpp>

#include <unistd.h>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

using namespace Qt::StringLiterals;

namespace {

constexpr MetadataPart kParts[] = {MetadataPart::Exif, MetadataPart::Xmp, MetadataPart::Iptc,
                                   MetadataPart::IccProfile};

// Larger parts are left out before Exiv2 sees them: it copies a profile split over many
// segments once for each, and a packet larger than one JPEG segment could not be saved.
constexpr qsizetype kMaxIccProfile = 4 * 1024 * 1024;
constexpr qsizetype kMaxXmpPacket = 65502;
constexpr qsizetype kMaxIptcBlocks = 1024 * 1024;
// A PNG text chunk holding metadata: hex-encoded Exif fills about twice its size.
constexpr qsizetype kMaxTextChunk = 1024 * 1024;
// Segments before the picture; a real photo has a few dozen.
constexpr int kMaxJpegSegments = 10000;

// Exiv2 keeps process-wide state, its XMP namespace registry among it, that two threads
// must not touch at once; every call into it holds this lock.
std::mutex exiv2Mutex;
// The XMP toolkit takes a lock of its own for its registry.
std::mutex xmpToolkitMutex;

void lockXmpToolkit(void *mutex, bool lock)
{
    if (lock)
        static_cast<std::mutex *>(mutex)->lock();
    else
        static_cast<std::mutex *>(mutex)->unlock();
}

// Exiv2 prints its warnings on stderr, and its XMP toolkit must be set up before two threads
// may use it; we report through values instead.
void prepareLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(lockXmpToolkit, &xmpToolkitMutex);
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

// Why a colour profile cannot describe our RGB pictures, or empty if it can: a viewer that
// honours a grey or CMYK profile in a colour JPEG rejects the picture.
QString profileUnfitForRgb(const QByteArray &profile)
{
    if (profile.size() < 20)
        return u"the colour profile is too short"_s;
    const QByteArray space = profile.mid(16, 4);
    if (space == "RGB ")
        return {};
    return u"the colour profile is for %1 data, not RGB"_s.arg(
        QString::fromLatin1(space).trimmed());
}

// The JPEG with the given parts of metadata written in; throws what Exiv2 throws.
QByteArray write(const QByteArray &jpeg, const PhotoMetadata &metadata,
                 const QList<MetadataPart> &parts, QSize saved)
{
    const std::lock_guard lock(exiv2Mutex);
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

// Reads a file through its descriptor a block at a time, so that walking many small
// segments costs few system calls.
class FileBytes
{
public:
    FileBytes(int fd, qint64 size)
        : fd_(fd)
        , size_(size)
    {}

    // Up to count bytes from offset: fewer at the end of the file or on a read error. Valid
    // until the next call; count is at most a block.
    QByteArrayView peek(qint64 offset, qint64 count)
    {
        if (offset < 0 || offset >= size_ || count <= 0)
            return {};
        count = std::min({count, kBlock, size_ - offset});
        if (offset < blockStart_ || offset + count > blockStart_ + block_.size()) {
            block_ = readAt(offset, kBlock);
            blockStart_ = offset;
        }
        return QByteArrayView(block_)
            .sliced(offset - blockStart_)
            .first(std::min<qsizetype>(count, block_.size() - (offset - blockStart_)));
    }

    QByteArray read(qint64 offset, qint64 count)
    {
        return count <= kBlock ? peek(offset, count).toByteArray() : readAt(offset, count);
    }

private:
    // A page: the headers of small chunks come many at once, and a large chunk skipped
    // costs no more than its header.
    static constexpr qint64 kBlock = 4096;

    QByteArray readAt(qint64 offset, qint64 count) const
    {
        count = std::max<qint64>(0, std::min(count, size_ - offset));
        QByteArray bytes(qsizetype(count), Qt::Uninitialized);
        qint64 done = 0;
        while (done < count) {
            const ssize_t got =
                ::pread(fd_, bytes.data() + done, size_t(count - done), off_t(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += got;
        }
        bytes.truncate(qsizetype(done));
        return bytes;
    }

    int fd_;
    qint64 size_;
    QByteArray block_;
    qint64 blockStart_ = 0;
};

// The part of a file that Exiv2 may read: a copy of the file's metadata segments or chunks
// alone, each within our limits; empty if there is nothing to read.
struct Selection
{
    QByteArray bytes;
    QList<MetadataLoss> losses;
};

QString tooLarge(qint64 size, qint64 limit)
{
    return u"%1 bytes, more than the %2 kept"_s.arg(size).arg(limit);
}

quint32 bigEndian(QByteArrayView bytes, qsizetype at, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | uchar(bytes.at(at + i));
    return value;
}

// The part a JPEG segment holds, or All for one Exiv2 need not see.
MetadataPart jpegSegmentPart(uchar marker, QByteArrayView body)
{
    if (marker == 0xE1 && body.startsWith("Exif\0\0"_ba))
        return MetadataPart::Exif;
    if (marker == 0xE1 && body.startsWith("http://ns.adobe.com/xap/1.0/\0"_ba))
        return MetadataPart::Xmp;
    if (marker == 0xE2 && body.startsWith("ICC_PROFILE\0"_ba))
        return MetadataPart::IccProfile;
    if (marker == 0xED && body.startsWith("Photoshop 3.0\0"_ba))
        return MetadataPart::Iptc;
    return MetadataPart::All;
}

// The segments before the picture's data; Exiv2 reads nothing after them.
Selection selectJpeg(FileBytes &file)
{
    Selection selection;
    QByteArray kept[4]; // whole segments, by part
    qint64 payload[4] = {};
    qint64 offset = 2;
    for (int count = 0;; ++count) {
        if (count == kMaxJpegSegments) {
            selection.losses.append({MetadataPart::All, u"too many JPEG segments"_s});
            break;
        }
        const QByteArrayView head = file.peek(offset, 4 + 29); // marker, length, the longest name
        if (head.size() < 2)
            break; // the file ends before the picture: keep what came before
        const uchar marker = uchar(head.at(1));
        if (uchar(head.at(0)) != 0xFF) {
            selection.losses.append({MetadataPart::All, u"the JPEG segments are damaged"_s});
            break;
        }
        if (marker == 0xFF) { // fill byte
            ++offset;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // the picture's data, or its end
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // markers without length
            offset += 2;
            continue;
        }
        if (head.size() < 4)
            break;
        const qint64 length = bigEndian(head, 2, 2);
        if (length < 2) {
            selection.losses.append({MetadataPart::All, u"the JPEG segments are damaged"_s});
            break;
        }
        const qint64 end = offset + 2 + length;
        const MetadataPart part = jpegSegmentPart(marker, head.sliced(4));
        if (part == MetadataPart::All) {
            offset = end;
            continue;
        }
        const QByteArray segment = file.read(offset, end - offset);
        if (segment.size() != end - offset) {
            selection.losses.append({part, u"the file ends inside its segment"_s});
            break;
        }
        const int index = int(part);
        const bool many = part == MetadataPart::IccProfile || part == MetadataPart::Iptc;
        if (many || kept[index].isEmpty()) {
            kept[index] += segment;
            payload[index] += std::max<qint64>(0, length - 2 - 14); // after name and numbering
        }
        offset = end;
    }
    const std::pair<MetadataPart, qsizetype> limits[] = {{MetadataPart::IccProfile, kMaxIccProfile},
                                                         {MetadataPart::Iptc, kMaxIptcBlocks}};
    for (const auto &[part, limit] : limits) {
        if (payload[int(part)] > limit) {
            selection.losses.append({part, tooLarge(payload[int(part)], limit)});
            kept[int(part)].clear();
        }
    }
    for (const QByteArray &segments : kept)
        selection.bytes += segments;
    if (!selection.bytes.isEmpty())
        selection.bytes = "\xFF\xD8"_ba + selection.bytes + "\xFF\xD9"_ba;
    return selection;
}

// The part a PNG text chunk holds, or All; Exiv2 compares the start of the keyword.
MetadataPart pngTextPart(QByteArrayView keyword)
{
    if (keyword.startsWith("XML:com.adobe.xmp") || keyword.startsWith("Raw profile type xmp"))
        return MetadataPart::Xmp;
    if (keyword.startsWith("Raw profile type exif") || keyword.startsWith("Raw profile type APP1"))
        return MetadataPart::Exif;
    if (keyword.startsWith("Raw profile type iptc"))
        return MetadataPart::Iptc;
    return MetadataPart::All;
}

// The compressed data in the data of a PNG chunk of metadata; empty when it is stored plain.
QByteArray compressedPart(QByteArrayView type, const QByteArray &data)
{
    const qsizetype keywordEnd = data.indexOf('\0');
    if (keywordEnd < 0)
        return {}; // no text at all: Exiv2 finds nothing in it
    if (type == "iCCP" || type == "zTXt")
        return data.mid(keywordEnd + 2); // after the method's byte
    if (type != "iTXt" || data.size() <= keywordEnd + 1 || data.at(keywordEnd + 1) == 0)
        return {};
    const qsizetype languageEnd = data.indexOf('\0', keywordEnd + 3);
    const qsizetype translatedEnd = languageEnd < 0 ? -1 : data.indexOf('\0', languageEnd + 1);
    return translatedEnd < 0 ? QByteArray() : data.mid(translatedEnd + 1);
}

// The header and the chunks of metadata, the first of each part. Exiv2 would inflate every
// compressed profile it meets, so a file with more than one gives none.
Selection selectPng(FileBytes &file)
{
    Selection selection;
    QByteArray header;
    QByteArray kept[4];
    bool decided[4] = {};
    int profiles = 0;
    qint64 offset = 8;
    while (true) {
        const QByteArrayView head = file.peek(offset, 8 + 80); // length, type, a keyword
        if (head.size() < 8)
            break;
        const qint64 length = bigEndian(head, 0, 4);
        const QByteArrayView type = head.sliced(4, 4);
        if (type == "IEND")
            break;
        if (length > 0x7FFFFFFF) {
            selection.losses.append({MetadataPart::All, u"the PNG chunks are damaged"_s});
            break;
        }
        const qint64 end = offset + 12 + length;
        MetadataPart part = MetadataPart::All;
        qsizetype limit = kMaxTextChunk;
        if (type == "iCCP") {
            part = MetadataPart::IccProfile;
            limit = kMaxIccProfile;
            ++profiles;
        } else if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            part = pngTextPart(head.sliced(8));
        }
        const bool wanted =
            part != MetadataPart::All ? !decided[int(part)] : type == "IHDR" && header.isEmpty();
        if (wanted) {
            const QByteArray chunk = file.read(offset, end - offset);
            if (chunk.size() != end - offset) {
                if (part != MetadataPart::All)
                    selection.losses.append({part, u"the file ends inside its chunk"_s});
                break;
            }
            if (part == MetadataPart::All) {
                header = chunk;
            } else {
                decided[int(part)] = true;
                // Exiv2 would inflate a small chunk to whatever it claims to hold.
                const QByteArray deflated = compressedPart(type, chunk.mid(8, length));
                if (length > limit) {
                    selection.losses.append({part, tooLarge(length, limit)});
                } else if (!deflated.isEmpty() && !inflatesWithin(deflated, limit)) {
                    selection.losses.append({part, u"compressed data that is damaged or inflates "
                                                   "to more than %1 bytes"_s.arg(limit)});
                } else {
                    kept[int(part)] = chunk;
                }
            }
        }
        offset = end;
    }
    if (profiles > 1) {
        selection.losses.append(
            {MetadataPart::IccProfile, u"%1 colour profiles instead of one"_s.arg(profiles)});
        kept[int(MetadataPart::IccProfile)].clear();
    }
    for (const QByteArray &chunk : kept)
        selection.bytes += chunk;
    if (!selection.bytes.isEmpty())
        selection.bytes = "\x89PNG\r\n\x1A\n"_ba + header + selection.bytes +
                          QByteArray::fromHex("0000000049454e44ae426082");
    return selection;
}

// Whether a TIFF, WebP or HEIF file carries EXIF, XMP, IPTC or a colour profile, judged from
// IFD0's tags, the WebP's flags, or the item and property types of the HEIF's first 64 KiB.
bool otherFormatCarriesMetadata(FileBytes &file)
{
    const QByteArray head = file.read(0, 64 * 1024);
    if (head.startsWith("RIFF") && head.mid(8, 8) == "WEBPVP8X")
        return head.size() > 20 && (head[20] & 0x2c); // ICC, EXIF, XMP
    if (QByteArrayView(head).sliced(std::min<qsizetype>(4, head.size())).startsWith("ftyp"))
        return head.contains("Exif") || head.contains("mime") || head.contains("colrprof") ||
               head.contains("colrrICC");
    const bool big = head.startsWith("MM\0*"_ba);
    if (!big && !head.startsWith("II*\0"_ba))
        return false;
    const auto number = [big](QByteArrayView bytes, qsizetype at, int size) {
        quint32 value = 0;
        for (int i = 0; i < size && at + i < bytes.size(); ++i)
            value |= quint32(uchar(bytes[at + i])) << 8 * (big ? size - 1 - i : i);
        return value;
    };
    const qint64 ifd = number(head, 4, 4);
    const QByteArray entries = file.read(ifd + 2, 12 * qint64(number(file.read(ifd, 2), 0, 2)));
    for (qsizetype entry = 0; entry + 12 <= entries.size(); entry += 12) {
        const quint32 tag = number(entries, entry, 2);
        if (tag == 700 || tag == 33723 || tag == 34665 || tag == 34675) // XMP IPTC EXIF ICC
            return true;
    }
    return false;
}

// Only JPEG and PNG, recognised by their own signatures, reach Exiv2: it takes other files
// for formats whose parsers it cannot bound. What the other photo formats carry is left out,
// and said so.
Selection selectMetadata(FileBytes &file)
{
    const QByteArray signature = file.read(0, 8);
    if (signature.startsWith("\xFF\xD8\xFF"))
        return selectJpeg(file);
    if (signature == "\x89PNG\r\n\x1A\n")
        return selectPng(file);
    Selection selection;
    if (otherFormatCarriesMetadata(file))
        selection.losses.append({MetadataPart::All, u"not read from this file format"_s});
    return selection;
}

} // namespace

PhotoMetadata readMetadata(const QString &path)
{
    PhotoMetadata metadata;
    // A named pipe may stand where the photo was.
    qint64 size = 0;
    const FileDescriptor fd = openRegularFile(QFile::encodeName(path), &size);
    if (!fd)
        return metadata;
    FileBytes file(fd.get(), size);
    const Selection selection = selectMetadata(file);
    auto &losses = metadata.unreadable;
    losses = selection.losses;
    if (selection.bytes.isEmpty())
        return metadata;

    prepareLibrary();
    const std::lock_guard lock(exiv2Mutex);
    attempt(MetadataPart::All, losses, [&] {
        auto image =
            Exiv2::ImageFactory::open(bytesOf(selection.bytes), long(selection.bytes.size()));
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
            if (qsizetype(packet.size()) > kMaxXmpPacket)
                throw std::runtime_error(
                    tooLarge(qint64(packet.size()), kMaxXmpPacket).toStdString());
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
        attempt(MetadataPart::IccProfile, losses, [&] {
            if (!image->iccProfileDefined())
                return;
            const Exiv2::DataBuf *profile = image->iccProfile();
            if (profile->size_ > kMaxIccProfile) // inflated from a PNG
                throw std::runtime_error(tooLarge(profile->size_, kMaxIccProfile).toStdString());
            metadata.iccProfile = toByteArray(profile->pData_, profile->size_);
        });
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
    const QString unfit = profileUnfitForRgb(metadata.iccProfile);
    if (!metadata.iccProfile.isEmpty() && !unfit.isEmpty()) {
        present.removeOne(MetadataPart::IccProfile);
        result.leftOut.append({MetadataPart::IccProfile, unfit});
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
