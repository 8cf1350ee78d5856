#include "photo/photo_loader.h"

#include "output/file_descriptor.h"
#include "photo/heif_codec.h"
#include "photo/jpeg_codec.h"
#include "photo/picture_header.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace {

using Outcome = LoadedPhoto::Outcome;

// Qt counts bytes, not pixels, and 16-bit formats decode at 8 bytes a pixel.
constexpr int kReaderLimitMb = int(kMaxPhotoPixels * 8 / (1024 * 1024));
// No acceptable JPEG stream comes near this size.
constexpr qint64 kMaxJpegBytes = 4 * kMaxPhotoPixels;
constexpr qint64 kFirstJpegRead = qint64(256) << 10;
// Nor any HEIF file: its pictures are compressed at least as well.
constexpr qint64 kMaxHeifBytes = kMaxJpegBytes;
// The ftyp box, where the brands are, comes first and is short.
constexpr qint64 kHeifHeadBytes = 256;

LoadedPhoto failure(Outcome outcome, const QString &error)
{
    return {QImage(), error, outcome};
}

LoadedPhoto tooLarge()
{
    return failure(Outcome::Unreadable,
                   QStringLiteral("The picture is larger than %1 pixels or %2 pixels a side")
                       .arg(kMaxPhotoPixels)
                       .arg(kMaxPhotoSide));
}

LoadedPhoto outOfMemory()
{
    return failure(Outcome::OutOfMemory, QStringLiteral("Not enough memory for the picture"));
}

// Finds where a JPEG stream ends (just past its end-of-image marker) by walking its segments
// by their lengths and its entropy-coded data from marker to marker, so that a thumbnail's
// end marker inside a segment is skipped, as the decoder skips it. Resumes where the last
// call stopped.
class JpegEnd
{
public:
    // The end, or -1 while the data seen so far has not reached it.
    qsizetype find(const QByteArray &data)
    {
        const auto *d = reinterpret_cast<const uchar *>(data.constData());
        const qsizetype n = data.size();
        for (;;) {
            // In entropy-coded data a 0xff followed by a stuffed zero, a restart marker or
            // fill belongs to the data; any other pair starts the next segment.
            while (entropyCoded_) {
                const void *ff = at_ < n ? std::memchr(d + at_, 0xff, size_t(n - at_)) : nullptr;
                if (!ff) {
                    at_ = std::max(at_, n);
                    return -1;
                }
                at_ = static_cast<const uchar *>(ff) - d;
                if (at_ + 1 >= n)
                    return -1;
                const uchar next = d[at_ + 1];
                if (next == 0 || next == 0xff || (next >= 0xd0 && next <= 0xd7))
                    ++at_;
                else
                    entropyCoded_ = false;
            }
            if (at_ + 2 > n)
                return -1;
            // The decoder skips anything between segments up to the next 0xff, and fill bytes.
            if (d[at_] != 0xff || d[at_ + 1] == 0xff) {
                ++at_;
                continue;
            }
            const uchar marker = d[at_ + 1];
            if (marker == 0xd9)
                return at_ + 2;
            if (marker == 0xd8 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
                at_ += 2;
                continue;
            }
            if (at_ + 4 > n)
                return -1;
            at_ += 2 + (d[at_ + 2] << 8 | d[at_ + 3]);
            entropyCoded_ = marker == 0xda;
        }
    }

private:
    qsizetype at_ = 0;
    bool entropyCoded_ = false;
};

// The JPEG stream at the start of the file, read up to its end marker and no further, in
// growing steps: junk after the picture is never read.
QByteArray readJpegStream(QFile &file)
{
    QByteArray data;
    JpegEnd end;
    qint64 step = kFirstJpegRead;
    while (data.size() < kMaxJpegBytes) {
        const qsizetype had = data.size();
        data.resize(had + qsizetype(std::min(step, kMaxJpegBytes - had)));
        const qint64 got = file.read(data.data() + had, data.size() - had);
        data.resize(had + std::max<qint64>(got, 0));
        if (const qsizetype at = end.find(data); at >= 0) {
            data.truncate(at);
            return data;
        }
        if (got <= 0)
            return data; // cut short: the decoder fills in the rest
        step = data.size();
    }
    return data;
}

QImageIOHandler::Transformations exifTransformation(const QByteArray &jpeg)
{
    // Qt's handler reads the orientation from the header alone, without decoding pixels.
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    return reader.transformation();
}

QImageIOHandler::Transformations exifTransformation(int orientation)
{
    using Handler = QImageIOHandler;
    switch (orientation) {
    case 2:
        return Handler::TransformationMirror;
    case 3:
        return Handler::TransformationRotate180;
    case 4:
        return Handler::TransformationFlip;
    case 5:
        return Handler::TransformationFlipAndRotate90;
    case 6:
        return Handler::TransformationRotate90;
    case 7:
        return Handler::TransformationMirrorAndRotate90;
    case 8:
        return Handler::TransformationRotate270;
    default:
        return Handler::TransformationNone;
    }
}

// Mirror and flip first, then the quarter turn, as QImageIOHandler defines them. Null if
// memory runs out.
QImage turned(QImage image, QImageIOHandler::Transformations transform)
{
    if (transform & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        image = std::move(image).mirrored(transform & QImageIOHandler::TransformationMirror,
                                          transform & QImageIOHandler::TransformationFlip);
    if (transform & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// Qt scales an n-bit channel by shifting it left, so white comes out as 248; repeating the
// bits fills the low ones too, so that 0 stays 0 and the top value becomes 255.
void replicateChannelBits(QImage &image, std::array<int, 3> bits)
{
    const std::array<int, 3> shifts{16, 8, 0};
    std::array<std::array<uchar, 256>, 3> tables;
    for (int c = 0; c < 3; ++c) {
        const int n = bits[c] >= 1 && bits[c] <= 7 ? bits[c] : 8;
        for (int v = 0; v < 256; ++v) {
            const int top = v >> (8 - n);
            int out = 0;
            for (int shift = 8 - n; shift > -n; shift -= n)
                out |= shift >= 0 ? top << shift : top >> -shift;
            tables[c][v] = uchar(out);
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            QRgb p = line[x] & 0xff000000;
            for (int c = 0; c < 3; ++c)
                p |= QRgb(tables[c][line[x] >> shifts[c] & 0xff]) << shifts[c];
            line[x] = p;
        }
    }
}

// Qt's BMP reader leaves unread pixels as the heap left them when the data ends early, but
// fills a buffer of the right size and format that it is handed. So hand it one filled with
// a single colour (palette entry 0, or opaque black), and refuse the file if it was not used.
LoadedPhoto readBmp(QImageReader &reader, QFile &file)
{
    const std::optional<BmpHeader> header = readBmpHeader(file.peek(256), file.size());
    if (!header || !header->fitsFile)
        return failure(Outcome::Unreadable, QStringLiteral("The file is shorter than its picture"));
    if (!fitsPhotoLimits(header->size))
        return tooLarge();
    QImage image(header->size, header->decodedFormat);
    if (image.isNull())
        return outOfMemory();
    image.fill(image.depth() == 32 ? 0xff000000 : 0);
    const uchar *filled = image.constBits();
    if (!reader.read(&image))
        return failure(Outcome::Unreadable, reader.errorString());
    if (image.constBits() != filled)
        return failure(Outcome::Unreadable, QStringLiteral("The BMP headers are inconsistent"));
    if (image.depth() == 32)
        replicateChannelBits(image, header->channelBits);
    return {image, QString(), Outcome::Ok};
}

LoadedPhoto readWithQt(QFile &file)
{
    QImageReader::setAllocationLimit(kReaderLimitMb);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    // Qt reads no orientation from a PNG, so it is turned here, as a JPEG is; the saved copy
    // is tagged upright and must be.
    QImageIOHandler::Transformations transform;
    if (format == "png") {
        reader.setAutoTransform(false);
        transform = exifTransformation(readPngOrientation(file).value_or(1));
    }
    LoadedPhoto photo;
    if (format == "bmp") {
        photo = readBmp(reader, file);
    } else {
        QSize size = reader.size();
        if (format == "webp" || format == "tiff") {
            // Our own reading of the size, since Qt's is what is being guarded against; and
            // of the orientation, which Qt does not read from a WebP.
            const std::optional<PictureFrame> frame =
                format == "webp" ? readWebpHeader(file) : readTiffHeader(file);
            if (!frame)
                return failure(Outcome::Unreadable, QStringLiteral("The headers are damaged"));
            size = frame->size;
            reader.setAutoTransform(false);
            transform = exifTransformation(frame->orientation);
        } else if (format == "gif") {
            size = readGifCanvas(file).value_or(QSize());
        } else if (format == "ico") {
            const QList<QSize> sizes = readIcoEntrySizes(file).value_or(QList<QSize>());
            const auto pixels = [](QSize s) { return qint64(s.width()) * s.height(); };
            const auto largest =
                std::max_element(sizes.begin(), sizes.end(),
                                 [&](QSize a, QSize b) { return pixels(a) < pixels(b); });
            if (largest == sizes.end())
                return failure(Outcome::Unreadable, QStringLiteral("The icon is damaged"));
            size = *largest;
            reader.jumpToImage(int(largest - sizes.begin()));
        }
        if (size.isValid() && !fitsPhotoLimits(size))
            return tooLarge();
        photo.image = reader.read();
        if (photo.image.isNull()) {
            // Qt reports a failed allocation like damage; tell them apart by trying one.
            const bool memory = size.isValid() && QImage(size, QImage::Format_RGB32).isNull();
            return memory ? outOfMemory() : failure(Outcome::Unreadable, reader.errorString());
        }
        photo.outcome = Outcome::Ok;
    }
    if (!photo.ok())
        return photo;
    if (!fitsPhotoLimits(photo.image.size()))
        return tooLarge();
    // Qt reads a ratio from "@2x" file names; a photo is always one pixel per pixel here.
    photo.image.setDevicePixelRatio(1);
    // The limits hold either way round, so turning needs no check of its own.
    photo.image = turned(toOpaqueRgb32(std::move(photo.image)), transform);
    return photo.image.isNull() ? outOfMemory() : photo;
}

LoadedPhoto readHeif(QFile &file)
{
    if (file.size() > kMaxHeifBytes)
        return tooLarge();
    DecodedHeif decoded = decodeHeif(file.readAll());
    switch (decoded.status) {
    case HeifStatus::Ok:
        return {std::move(decoded.image), QString(), Outcome::Ok};
    case HeifStatus::TooLarge:
        return tooLarge();
    case HeifStatus::OutOfMemory:
        return outOfMemory();
    case HeifStatus::Refused:
        break;
    }
    return failure(Outcome::Unreadable, decoded.error);
}

// A QFile over openRegularFile(): it reads the file that was judged.
bool openRegularFile(QFile &file, const QString &path)
{
    FileDescriptor fd = ::openRegularFile(QFile::encodeName(path));
    if (!fd || !file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    fd.release();
    return true;
}

LoadedPhoto load(const QString &path, WorkProgress *progress)
{
    QFile file;
    if (!openRegularFile(file, path))
        return failure(Outcome::Unreadable, QStringLiteral("Not a readable file: %1").arg(path));
    if (file.peek(3) == QByteArrayLiteral("\xff\xd8\xff")) {
        DecodedJpeg decoded;
        {
            // The stream is let go before anything else is allocated.
            const QByteArray data = readJpegStream(file);
            decoded = decodeJpeg(data, QSize(), exifTransformation(data), progress);
        }
        switch (decoded.status) {
        case JpegStatus::Ok:
            return {std::move(decoded.image), QString(), Outcome::Ok};
        case JpegStatus::OutOfMemory:
            return outOfMemory();
        case JpegStatus::Refused:
            return failure(Outcome::Unreadable, QStringLiteral("The JPEG data is damaged"));
        case JpegStatus::Unsupported:
            break; // CMYK, say, which Qt's reader takes
        }
        file.seek(0);
    }
    if (isHeifFile(file.peek(kHeifHeadBytes)))
        return readHeif(file);
    return readWithQt(file);
}

} // namespace

LoadedPhoto loadPhoto(const QString &path, WorkProgress *progress)
{
    try {
        return load(path, progress);
    } catch (const std::bad_alloc &) {
        return outOfMemory();
    }
}
