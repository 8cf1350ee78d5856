#include "output/jpeg_writer.h"

#include "output/file_replace.h"
#include "photo/jpeg_codec.h"

bool saveJpeg(const QImage &image, const QString &path, int quality)
{
    if (path.isEmpty())
        return false;
    const QByteArray jpeg = encodeJpeg(image, quality).data;
    return !jpeg.isEmpty() && replaceFile(path, jpeg);
}

SavedPhoto savePhotoJpeg(const QImage &image, const QString &path, int quality,
                         const PhotoMetadata &metadata)
{
    if (path.isEmpty())
        return {};
    const EncodedJpeg jpeg = encodeJpeg(image, quality);
    if (jpeg.status == JpegStatus::OutOfMemory)
        return {SaveStatus::OutOfMemory, {}};
    if (jpeg.status != JpegStatus::Ok)
        return {};
    const MetadataResult kept = withMetadata(jpeg.data, metadata, image.size());
    if (!replaceFile(path, kept.jpeg))
        return {};
    return {SaveStatus::Saved, kept.leftOut};
}
