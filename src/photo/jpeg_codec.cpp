#include "photo/jpeg_codec.h"

#include "photo/image_memory.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The byte order of QImage::Format_RGB32 in memory. Decoding asks for the alpha variant, whose
// fourth byte the library documents as 0xff; encoding ignores that byte either way.
constexpr int kEncodeFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
constexpr int kDecodeFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRA : TJPF_ARGB;

struct TurboDeleter
{
    void operator()(void *handle) const { tjDestroy(handle); }
};
using TurboHandle = std::unique_ptr<void, TurboDeleter>;

const unsigned char *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

// The library reports its own allocation failures only as message text.
bool ranOutOfMemory(void *handle)
{
    return std::strstr(tjGetErrorStr2(handle), "Insufficient memory") != nullptr;
}

QSize scaledSize(QSize full, QSize atLeast)
{
    if (atLeast.isEmpty())
        return full;
    int count = 0;
    const tjscalingfactor *factors = tjGetScalingFactors(&count);
    QSize best = full;
    for (int i = 0; i < count; ++i) {
        const tjscalingfactor factor = factors[i];
        if (factor.num > factor.denom)
            continue;
        const QSize scaled(TJSCALED(full.width(), factor), TJSCALED(full.height(), factor));
        if (scaled.width() >= atLeast.width() && scaled.height() >= atLeast.height() &&
            scaled.width() < best.width())
            best = scaled;
    }
    return best;
}

// Rows come out top to bottom and every written pixel gets an opaque fourth byte, so a last
// row whose fourth bytes are still clear was never reached.
void markLastRowUnwritten(QImage &image)
{
    auto *row = reinterpret_cast<QRgb *>(image.scanLine(image.height() - 1));
    for (int x = 0; x < image.width(); ++x)
        row[x] &= 0x00ffffff;
}

bool lastRowWritten(const QImage &image)
{
    const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(image.height() - 1));
    return std::all_of(row, row + image.width(), [](QRgb p) { return qAlpha(p) == 0xff; });
}

} // namespace

DecodedJpeg decodeJpeg(const QByteArray &data, QSize atLeast)
{
    const TurboHandle turbo(tjInitDecompress());
    if (!turbo)
        return {{}, JpegStatus::OutOfMemory};
    const unsigned char *bytes = bytesOf(data);
    const auto length = static_cast<unsigned long>(data.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(turbo.get(), bytes, length, &width, &height, &subsampling,
                            &colourspace) != 0)
        return {{}, JpegStatus::Unsupported};
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK)
        return {{}, JpegStatus::Unsupported};
    if (!fitsPhotoLimits(QSize(width, height)))
        return {{}, JpegStatus::Refused};
    const QSize size = scaledSize(QSize(width, height), atLeast);
    QImage image = newRgb32Image(size);
    if (image.isNull())
        return {{}, JpegStatus::OutOfMemory};
    markLastRowUnwritten(image);
    if (tjDecompress2(turbo.get(), bytes, length, image.bits(), size.width(),
                      int(image.bytesPerLine()), size.height(), kDecodeFormat, 0) != 0) {
        // Warnings alone (a stream cut short, say) still write every row; the library also
        // calls a fatal error that follows a warning a warning, so look at the rows.
        if (ranOutOfMemory(turbo.get()))
            return {{}, JpegStatus::OutOfMemory};
        if (tjGetErrorCode(turbo.get()) != TJERR_WARNING || !lastRowWritten(image))
            return {{}, JpegStatus::Refused};
    }
    return {image, JpegStatus::Ok};
}

EncodedJpeg encodeJpeg(const QImage &image, int quality)
{
    try {
        const QImage rgb = toOpaqueRgb32(image);
        if (rgb.isNull())
            return {{}, image.isNull() ? JpegStatus::Refused : JpegStatus::OutOfMemory};
        const TurboHandle turbo(tjInitCompress());
        if (!turbo)
            return {{}, JpegStatus::OutOfMemory};
        // Encoding straight into a worst-case buffer of our own spares a copy; only the pages
        // the data reaches become resident.
        const unsigned long capacity = tjBufSize(rgb.width(), rgb.height(), TJSAMP_420);
        if (capacity == static_cast<unsigned long>(-1))
            return {{}, JpegStatus::Refused};
        QByteArray jpeg = newByteArray(qsizetype(capacity));
        auto *buffer = reinterpret_cast<unsigned char *>(jpeg.data());
        unsigned long length = capacity;
        if (tjCompress2(turbo.get(), rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()),
                        rgb.height(), kEncodeFormat, &buffer, &length, TJSAMP_420,
                        std::clamp(quality, 1, 100), TJFLAG_NOREALLOC) != 0)
            return {{},
                    ranOutOfMemory(turbo.get()) ? JpegStatus::OutOfMemory : JpegStatus::Refused};
        jpeg.resize(qsizetype(length));
        return {jpeg, JpegStatus::Ok};
    } catch (const std::bad_alloc &) {
        return {{}, JpegStatus::OutOfMemory};
    }
}
