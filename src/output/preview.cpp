#include "output/preview.h"

#include "output/jpeg_writer.h"
#include "photo/jpeg_codec.h"

RenderedPreview renderPreview(const QImage &target, QSize frame, WorkProgress *progress)
{
    QByteArray jpeg = encodeAsSaved(target, progress).data;
    if (jpeg.isEmpty())
        return {};
    QImage image = decodeJpeg(jpeg, frame, {}, progress).image;
    if (image.isNull())
        return {};
    return {std::move(image), std::move(jpeg)};
}
