#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Photos are refused above this many pixels (512 MB as RGB32): enough for 100-megapixel
// cameras, small enough that a forged header cannot make us allocate gigabytes.
inline constexpr qint64 kMaxPhotoPixels = qint64(1) << 27;

// A photo read from a file: an opaque RGB32 image, or a null image and the reason.
struct LoadedPhoto
{
    QImage image;
    QString error;

    bool ok() const { return !image.isNull(); }
};

// Reads BMP, JPEG, GIF, ICO (and anything else Qt reads), choosing the decoder by content,
// turned upright by its EXIF orientation, converted to RGB32 with transparency over white.
LoadedPhoto loadPhoto(const QString &path);

// Decodes JPEG data straight into RGB32 at the smallest DCT scale (1/8 to 1) that is at
// least atLeast in both directions; an empty atLeast means full size. EXIF orientation is
// not applied. Null for data the fast decoder cannot take (not JPEG, CMYK, too large).
QImage decodeJpeg(const QByteArray &data, QSize atLeast = QSize());

// Any image as opaque RGB32; transparent pixels are composited over white.
QImage toOpaqueRgb32(QImage image);
