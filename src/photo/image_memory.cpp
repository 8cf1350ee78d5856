#include "photo/image_memory.h"

#include <QPainter>

bool fitsPhotoLimits(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxPhotoSide &&
           size.height() <= kMaxPhotoSide &&
           qint64(size.width()) * size.height() <= kMaxPhotoPixels;
}

QImage toOpaqueRgb32(QImage image)
{
    if (image.isNull() || image.format() == QImage::Format_RGB32)
        return image;
    if (!image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_RGB32);
        return image.format() == QImage::Format_RGB32 ? image : QImage();
    }
    QImage opaque(image.size(), QImage::Format_RGB32);
    if (opaque.isNull())
        return opaque;
    opaque.fill(Qt::white);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, image);
    return opaque;
}
