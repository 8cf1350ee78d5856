#include "app/preview_geometry.h"

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
