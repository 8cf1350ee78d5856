#pragma once

// The one place that speaks to the JPEG library: encoding, full and scaled decoding.

#include <QByteArray>
#include <QImage>
#include <QSize>

enum class JpegStatus {
    Ok,
    Unsupported, // not a JPEG this decoder takes (no JPEG header, CMYK): another reader may try
    Refused,     // damaged beyond a picture, over the photo limits, or the library failed
    OutOfMemory,
};

struct DecodedJpeg
{
    QImage image; // RGB32; null unless status is Ok
    JpegStatus status = JpegStatus::Refused;
};

struct EncodedJpeg
{
    QByteArray data; // empty unless status is Ok
    JpegStatus status = JpegStatus::Refused;
};

// Decodes JPEG data straight into RGB32 at the smallest DCT scale (1/8 to 1) that is at
// least atLeast in both directions; an empty atLeast means full size. EXIF orientation is not
// applied. A stream cut short decodes with the decoder's grey tail; a decode that stops before
// its last row is refused, so no unwritten pixel is ever returned. Never throws.
DecodedJpeg decodeJpeg(const QByteArray &data, QSize atLeast = QSize());

// Baseline 4:2:0 JPEG data of the image at quality 1-100 (clamped); transparent pixels are
// encoded as if over white. Running out of memory is reported as OutOfMemory, never thrown.
EncodedJpeg encodeJpeg(const QImage &image, int quality);
