#pragma once

// The one place that speaks to the HEIF library.

#include <QByteArray>
#include <QImage>
#include <QString>

enum class HeifStatus {
    Ok,
    Refused,  // damaged, not a picture the library reads, or the library failed
    TooLarge, // over the photo limits
    OutOfMemory,
};

struct DecodedHeif
{
    QImage image; // RGB32; null unless status is Ok
    HeifStatus status = HeifStatus::Refused;
    QString error; // the library's words, for a log
};

// Decodes the primary picture of HEIF data, turned and mirrored by the file's own properties
// (its EXIF orientation says the same thing again and is not read), to 8 bits a channel with
// transparency over white. The size is checked against the photo limits before any pixel is
// decoded. One decode at a time in the whole process. Never throws.
DecodedHeif decodeHeif(const QByteArray &data);
