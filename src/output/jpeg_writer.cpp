#include "output/jpeg_writer.h"

#include "output/file_replace.h"
#include "photo/image_memory.h"
#include "photo/photo_loader.h"
#include "photo/turbo_jpeg.h"

#include <algorithm>

QByteArray encodeJpeg(const QImage &image, int quality)
{
    const QImage rgb = toOpaqueRgb32(image);
    if (rgb.isNull())
        return {};
    const TurboHandle turbo(tjInitCompress());
    if (!turbo)
        return {};
    // Encoding straight into a worst-case buffer of our own spares a copy; only the pages the
    // data reaches become resident.
    const unsigned long capacity = tjBufSize(rgb.width(), rgb.height(), TJSAMP_420);
    if (capacity == static_cast<unsigned long>(-1))
        return {};
    QByteArray jpeg = newByteArray(qsizetype(capacity));
    auto *buffer = reinterpret_cast<unsigned char *>(jpeg.data());
    unsigned long length = capacity;
    if (tjCompress2(turbo.get(), rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()),
                    rgb.height(), kTurboRgb32, &buffer, &length, TJSAMP_420,
                    std::clamp(quality, 1, 100), TJFLAG_NOREALLOC) != 0)
        return {};
    jpeg.resize(qsizetype(length));
    return jpeg;
}

bool saveJpeg(const QImage &image, const QString &path, int quality)
{
    if (path.isEmpty())
        return false;
    const QByteArray jpeg = encodeJpeg(image, quality);
    return !jpeg.isEmpty() && replaceFile(path, jpeg);
}

SavedPhoto savePhotoJpeg(const QImage &image, const QString &path, int quality,
                         const PhotoMetadata &metadata)
{
    if (path.isEmpty())
        return {};
    const QByteArray jpeg = encodeJpeg(image, quality);
    if (jpeg.isEmpty())
        return {};
    const MetadataResult kept = withMetadata(jpeg, metadata, image.size());
    return {replaceFile(path, kept.jpeg), kept.leftOut};
}
