#include "output/preview.h"

#include "output/file_replace.h"
#include "output/jpeg_writer.h"
#include "photo/jpeg_codec.h"

#include <cmath>

QSizeF previewFrameSize(QSizeF outer)
{
    const double outerWidth = outer.width();
    const double outerHeight = outer.height();
    double width = outerWidth;
    double height = outerHeight;
    if (outerWidth > kPreviewMaxWidth) {
        width = kPreviewMaxWidth;
        height = outerHeight / outerWidth * kPreviewMaxWidth;
    }
    if (height > kPreviewMaxHeight) {
        height = kPreviewMaxHeight;
        width = outerWidth / outerHeight * kPreviewMaxHeight;
    }
    return {width, height};
}

QSize roundedFrameSize(QSizeF frame)
{
    return {int(std::lrint(frame.width())), int(std::lrint(frame.height()))};
}

double previewCaptionLeft(double frameWidth)
{
    return (frameWidth - kPreviewCaptionWidth) / 2;
}

QImage renderPreview(const QImage &target, const QString &tempPath, QSize frame)
{
    const QByteArray jpeg = encodeJpeg(target, kJpegQuality).data;
    if (jpeg.isEmpty())
        return {};
    // The file is a by-product: a failed write costs nothing, and decoding the bytes in hand
    // gives the very picture it holds.
    writePrivateFile(tempPath, jpeg);
    return decodeJpeg(jpeg, frame).image;
}
