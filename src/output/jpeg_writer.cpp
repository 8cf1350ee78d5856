#include "output/jpeg_writer.h"

#include "output/file_replace.h"
#include "photo/jpeg_codec.h"

#include <new>

bool saveJpeg(const QImage &image, const QString &path, int quality)
{
    if (path.isEmpty())
        return false;
    const QByteArray jpeg = encodeJpeg(image, quality).data;
    return !jpeg.isEmpty() && replaceFile(path, jpeg);
}

EncodedJpeg encodeAsSaved(const QImage &image, WorkProgress *progress)
{
    return encodeJpeg(image, kJpegQuality, progress);
}

SavedPhoto savePhotoJpeg(const QImage &image, const QString &path, const PhotoMetadata &metadata,
                         WorkProgress *progress)
{
    if (path.isEmpty())
        return {};
    const EncodedJpeg jpeg = encodeAsSaved(image, progress);
    if (jpeg.status == JpegStatus::OutOfMemory)
        return {SaveStatus::OutOfMemory, {}};
    if (jpeg.status != JpegStatus::Ok)
        return {};
    return saveEncodedPhoto(jpeg.data, image.size(), path, metadata);
}

SavedPhoto saveEncodedPhoto(const QByteArray &jpeg, QSize size, const QString &path,
                            const PhotoMetadata &metadata)
{
    if (path.isEmpty() || jpeg.isEmpty())
        return {};
    try {
        const MetadataResult kept = withMetadata(jpeg, metadata, size);
        if (!replaceFile(path, kept.jpeg))
            return {};
        return {SaveStatus::Saved, kept.leftOut};
    } catch (const std::bad_alloc &) {
        return {SaveStatus::OutOfMemory, {}};
    }
}
