#include "photo/picture_header.h"

#include <QBuffer>

#include <algorithm>
#include <bit>

namespace {

constexpr int kFileHeaderSize = 14;
constexpr quint32 kCoreHeaderSize = 12; // the oldest header: 16-bit sizes, 3-byte palette
constexpr quint32 kInfoHeaderSize = 40;
constexpr quint32 kV4HeaderSize = 108;
enum Compression : quint32 { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3 };
// Ancillary chunks before the pixels rarely reach beyond a few ICC profiles' worth.
constexpr qint64 kPngHeadBytes = qint64(1) << 20;
constexpr quint16 kOrientationTag = 0x0112;
constexpr quint16 kTiffShort = 3;
constexpr quint16 kTiffLong = 4;
constexpr quint16 kWidthTag = 256;
constexpr quint16 kHeightTag = 257;
// WebP keeps its EXIF after the pixels, so every chunk header before it is read.
constexpr int kMaxWebpChunks = 1024;
constexpr qint64 kMaxExifBytes = qint64(1) << 20;

// Bytes past the end read as zero, so a short header can never be read beyond.
quint32 number(const QByteArray &data, qsizetype at, int bytes, bool bigEndian)
{
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= quint32(at + i < data.size() ? uchar(data.at(at + i)) : 0)
                 << 8 * (bigEndian ? bytes - 1 - i : i);
    return value;
}

quint16 le16(const QByteArray &data, qsizetype at)
{
    return quint16(number(data, at, 2, false));
}

quint32 le32(const QByteArray &data, qsizetype at)
{
    return number(data, at, 4, false);
}

quint32 be32(const QByteArray &data, qsizetype at)
{
    return number(data, at, 4, true);
}

quint32 pngCrc(QByteArrayView bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xedb88320 ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xffffffff;
    for (const char byte : bytes)
        crc = table[(crc ^ uchar(byte)) & 0xff] ^ (crc >> 8);
    return ~crc;
}

// Reads length bytes at an absolute position and puts the device back.
QByteArray readAt(QIODevice &device, qint64 position, qint64 length)
{
    const qint64 was = device.pos();
    QByteArray bytes;
    if (device.seek(position))
        bytes = device.read(length);
    device.seek(was);
    return bytes;
}

struct Ifd0
{
    std::optional<quint32> width, height;
    // Nothing when there is none, or when it is not one SHORT, as EXIF defines it.
    std::optional<int> orientation;
};

// The tags we read from IFD0 of the TIFF structure at the start of the device, whose
// directory must lie wholly inside it.
std::optional<Ifd0> readIfd0(QIODevice &device)
{
    const QByteArray head = readAt(device, 0, 8);
    bool bigEndian = false;
    if (head.startsWith(QByteArrayView("MM\0*", 4)))
        bigEndian = true;
    else if (!head.startsWith(QByteArrayView("II*\0", 4)))
        return std::nullopt;
    const qint64 ifd = number(head, 4, 4, bigEndian);
    const qint64 count = number(readAt(device, ifd, 2), 0, 2, bigEndian);
    if (ifd < 8 || ifd + 2 + 12 * count > device.size())
        return std::nullopt;
    const QByteArray entries = readAt(device, ifd + 2, 12 * count);
    if (entries.size() < 12 * count)
        return std::nullopt;
    Ifd0 tags;
    bool orientationSeen = false;
    for (qint64 entry = 0; entry < entries.size(); entry += 12) {
        const quint32 tag = number(entries, entry, 2, bigEndian);
        const quint32 type = number(entries, entry + 2, 2, bigEndian);
        const bool one = number(entries, entry + 4, 4, bigEndian) == 1;
        const quint32 value = number(entries, entry + 8, type == kTiffShort ? 2 : 4, bigEndian);
        if (tag == kOrientationTag && !orientationSeen) {
            orientationSeen = true;
            if (type == kTiffShort && one)
                tags.orientation = int(value);
        } else if ((tag == kWidthTag || tag == kHeightTag) && one &&
                   (type == kTiffShort || type == kTiffLong)) {
            (tag == kWidthTag ? tags.width : tags.height) = value;
        }
    }
    return tags;
}

// The orientation in IFD0 of a TIFF structure held in memory.
std::optional<int> tiffOrientation(const QByteArray &tiff)
{
    QBuffer buffer;
    buffer.setData(tiff);
    buffer.open(QIODevice::ReadOnly);
    const std::optional<Ifd0> tags = readIfd0(buffer);
    return tags ? tags->orientation : std::nullopt;
}

int meaningfulOrientation(std::optional<int> orientation)
{
    return orientation.value_or(1) >= 1 && orientation.value_or(1) <= 8 ? orientation.value_or(1)
                                                                        : 1;
}

} // namespace

std::optional<BmpHeader> readBmpHeader(const QByteArray &head, qint64 fileSize)
{
    if (head.size() < kFileHeaderSize + 16 || !head.startsWith("BM"))
        return std::nullopt;
    const quint32 pixelOffset = le32(head, 10);
    const quint32 infoSize = le32(head, kFileHeaderSize);
    const bool core = infoSize == kCoreHeaderSize;
    if (!core && (infoSize < kInfoHeaderSize || head.size() < kFileHeaderSize + 40))
        return std::nullopt;

    BmpHeader header;
    int bits = 0;
    quint32 compression = Rgb, colours = 0;
    qint64 width = 0, height = 0;
    if (core) {
        width = le16(head, 18);
        height = le16(head, 20);
        bits = le16(head, 24);
    } else {
        width = qint32(le32(head, 18));
        height = std::abs(qint64(qint32(le32(head, 22))));
        bits = le16(head, 28);
        compression = le32(head, 30);
        colours = le32(head, 46);
    }
    header.size = QSize(int(std::clamp<qint64>(width, 0, INT_MAX)),
                        int(std::clamp<qint64>(height, 0, INT_MAX)));

    if (bits == 16 && compression == Rgb)
        header.channelBits = {5, 5, 5};
    // The masks follow a 40-byte header, or sit inside a longer one at the same place.
    const qsizetype masks = kFileHeaderSize + kInfoHeaderSize;
    if (compression == BitFields && head.size() >= 70) {
        for (int c = 0; c < 3; ++c)
            header.channelBits[c] = std::popcount(le32(head, masks + 4 * c));
    }
    // Qt takes the alpha mask of a V4 or later header for bit fields, and for 32-bit pixels
    // whatever the compression says.
    const bool alpha = infoSize >= kV4HeaderSize && (compression == BitFields || bits == 32) &&
                       le32(head, masks + 12) != 0;
    header.decodedFormat = bits > 8   ? (alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32)
                           : bits > 1 ? QImage::Format_Indexed8
                                      : QImage::Format_Mono;

    // The palette follows the info header (Qt reads at most 40 bytes of a longer one), and
    // the pixels start where the header says, but never before the palette ends.
    const qint64 entries = bits <= 8 ? (colours ? colours : qint64(1) << bits) : 0;
    const qint64 paletteEnd =
        kFileHeaderSize + std::min(infoSize, kInfoHeaderSize) + entries * (core ? 3 : 4);
    const qint64 pixelStart = std::max<qint64>(pixelOffset, paletteEnd);
    const qint64 room = fileSize - pixelStart;
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    const bool uncompressed = compression == Rgb || compression == BitFields;
    header.fitsFile =
        paletteEnd <= fileSize &&
        (uncompressed ? room >= 0 && (height == 0 || rowBytes <= room / height) : room > 0);
    return header;
}

std::optional<QSize> readGifCanvas(QIODevice &device)
{
    const QByteArray screen = readAt(device, 0, 13);
    if (screen.size() < 13 || !screen.startsWith("GIF"))
        return std::nullopt;
    QSize canvas(le16(screen, 6), le16(screen, 8));
    qint64 at = 13;
    const auto flags = quint8(screen[10]);
    if (flags & 0x80)
        at += 3 << ((flags & 7) + 1);
    // Extensions come before the first image descriptor: skip their sub-blocks.
    for (;;) {
        const QByteArray block = readAt(device, at, 10);
        if (block.isEmpty())
            return std::nullopt;
        if (block[0] == ',') {
            if (block.size() < 10)
                return std::nullopt;
            // Qt clips every frame to the screen; a screen with no area takes the frame's.
            if (canvas.isEmpty())
                canvas = QSize(le16(block, 1) + le16(block, 5), le16(block, 3) + le16(block, 7));
            return canvas;
        }
        if (block[0] != '!')
            return std::nullopt;
        at += 2;
        for (;;) {
            const QByteArray length = readAt(device, at, 1);
            if (length.isEmpty())
                return std::nullopt;
            at += 1 + quint8(length[0]);
            if (length[0] == 0)
                break;
        }
    }
}

std::optional<QList<QSize>> readIcoEntrySizes(QIODevice &device)
{
    const QByteArray head = readAt(device, 0, 6);
    if (head.size() < 6 || le16(head, 0) != 0)
        return std::nullopt;
    const int count = le16(head, 4);
    const QByteArray directory = readAt(device, 6, qint64(count) * 16);
    if (directory.size() < count * 16)
        return std::nullopt;
    QList<QSize> sizes;
    for (int i = 0; i < count; ++i) {
        const QByteArray entry = readAt(device, le32(directory, i * 16 + 12), 24);
        if (entry.size() < 24)
            return std::nullopt;
        if (entry.startsWith("\x89PNG\r\n\x1a\n")) {
            sizes.append(QSize(int(std::min<quint32>(be32(entry, 16), INT_MAX)),
                               int(std::min<quint32>(be32(entry, 20), INT_MAX))));
        } else {
            // A BMP info header whose height counts the colour rows and the mask rows.
            const qint64 width = qint32(le32(entry, 4));
            const qint64 height = std::abs(qint64(qint32(le32(entry, 8)))) / 2;
            sizes.append(QSize(int(std::clamp<qint64>(width, 0, INT_MAX)), int(height)));
        }
    }
    return sizes;
}

std::optional<int> readPngOrientation(QIODevice &device)
{
    const QByteArray head = readAt(device, 0, kPngHeadBytes);
    if (!head.startsWith("\x89PNG\r\n\x1a\n"))
        return std::nullopt;
    // Each chunk: length, type, data, CRC of type and data. An eXIf after the pixels does not
    // count, as PNG has it.
    for (qint64 at = 8; at + 12 <= head.size();) {
        const qint64 length = be32(head, at);
        const QByteArrayView type(head.constData() + at + 4, 4);
        if (type == "IDAT" || type == "IEND" || length > head.size() - at - 12)
            return std::nullopt;
        if (type == "eXIf") {
            const QByteArrayView typeAndData(head.constData() + at + 4, 4 + length);
            if (pngCrc(typeAndData) != be32(head, at + 8 + length))
                return std::nullopt;
            return tiffOrientation(head.mid(at + 8, length));
        }
        at += 12 + length;
    }
    return std::nullopt;
}

bool isHeifFile(const QByteArray &head)
{
    if (head.size() < 16 || QByteArrayView(head).sliced(4, 4) != "ftyp")
        return false;
    static const std::array<QByteArrayView, 8> hevc{"heic", "heix", "heim", "heis",
                                                    "hevc", "hevx", "hevm", "hevs"};
    const QByteArrayView major = QByteArrayView(head).sliced(8, 4);
    if (major == "mif1" || major == "msf1")
        return true;
    // The major brand, then the compatible ones after the minor version.
    const qint64 end = std::min<qint64>(be32(head, 0), head.size());
    for (qint64 at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        if (std::find(hevc.begin(), hevc.end(), QByteArrayView(head).sliced(at, 4)) != hevc.end())
            return true;
    }
    return false;
}

std::optional<PictureFrame> readWebpHeader(QIODevice &device)
{
    const QByteArray head = readAt(device, 0, 30);
    if (head.size() < 30 || !head.startsWith("RIFF") || head.mid(8, 4) != "WEBP")
        return std::nullopt;
    const QByteArray first = head.mid(12, 4);
    PictureFrame frame;
    if (first == "VP8X") {
        frame.size =
            QSize(int(number(head, 24, 3, false)) + 1, int(number(head, 27, 3, false)) + 1);
    } else if (first == "VP8 ") {
        // A key frame's tag, its start code, then 14 bits of width and of height.
        if (head.mid(23, 3) != "\x9d\x01\x2a")
            return std::nullopt;
        frame.size = QSize(le16(head, 26) & 0x3fff, le16(head, 28) & 0x3fff);
    } else if (first == "VP8L") {
        if (uchar(head[20]) != 0x2f)
            return std::nullopt;
        const quint32 bits = le32(head, 21);
        frame.size = QSize(int(bits & 0x3fff) + 1, int(bits >> 14 & 0x3fff) + 1);
    } else {
        return std::nullopt;
    }
    constexpr int kExifFlag = 0x08;
    if (first != "VP8X" || !(head[20] & kExifFlag))
        return frame;
    qint64 at = 12;
    for (int chunk = 0; chunk < kMaxWebpChunks; ++chunk) {
        const QByteArray header = readAt(device, at, 8);
        if (header.size() < 8)
            break;
        const qint64 length = le32(header, 4);
        if (header.startsWith("EXIF")) {
            if (length > kMaxExifBytes)
                break;
            QByteArray exif = readAt(device, at + 8, length);
            // Some writers keep the JPEG segment's "Exif" prefix.
            if (exif.startsWith(QByteArrayView("Exif\0\0", 6)))
                exif.remove(0, 6);
            frame.orientation = meaningfulOrientation(tiffOrientation(exif));
            break;
        }
        at += 8 + length + (length & 1);
    }
    return frame;
}

std::optional<PictureFrame> readTiffHeader(QIODevice &device)
{
    const std::optional<Ifd0> tags = readIfd0(device);
    if (!tags || !tags->width || !tags->height)
        return std::nullopt;
    return PictureFrame{QSize(int(std::min<quint32>(*tags->width, INT_MAX)),
                              int(std::min<quint32>(*tags->height, INT_MAX))),
                        meaningfulOrientation(tags->orientation)};
}
