#pragma once

// The one place that speaks to the JPEG library: encoding, full and scaled decoding.

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>

class WorkProgress;

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

// How many threads a large picture's coding may use. One thread is kept for checking that the
// others give the same pixels.
enum class JpegThreads { One, All };

// Decodes JPEG data straight into RGB32 at the smallest DCT scale (1/8 to 1) that is at
// least atLeast in both directions; an empty atLeast means full size. The picture is turned
// by `transform` (mirror and flip first, then the quarter turn, as QImageIOHandler defines
// them) as its rows come out, so no second full-size buffer is needed; EXIF orientation is not
// read here. A stream cut short decodes with the decoder's grey tail; a decode that stops
// before its last row is refused, so no unwritten pixel is ever returned. Large pictures are
// decoded in two parts on two threads, to the same pixels. Never throws.
DecodedJpeg decodeJpeg(const QByteArray &data, QSize atLeast = QSize(),
                       QImageIOHandler::Transformations transform = {},
                       WorkProgress *progress = nullptr, JpegThreads threads = JpegThreads::All);

// Baseline 4:2:0 JPEG data of the image at quality 1-100 (clamped); transparent pixels are
// encoded as if over white. A large picture is encoded in horizontal strips, one per thread,
// joined by restart markers at every row of 16-pixel blocks: other bytes than a one-thread
// encoding, the same pixels once decoded. Running out of memory is reported as OutOfMemory,
// never thrown.
EncodedJpeg encodeJpeg(const QImage &image, int quality, WorkProgress *progress = nullptr,
                       JpegThreads threads = JpegThreads::All);
