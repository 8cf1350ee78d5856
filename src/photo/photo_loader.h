#pragma once

#include "photo/image_memory.h"

class WorkProgress;

#include <QImage>
#include <QString>

// A photo read from a file: an opaque RGB32 image, or a null image and why.
struct LoadedPhoto
{
    enum class Outcome {
        Ok,
        Unreadable,  // not a file, not a picture, damaged, or over the photo limits
        OutOfMemory, // a picture, but there was not memory enough to decode it
    };

    QImage image;
    QString error; // for a log; empty when Ok
    Outcome outcome = Outcome::Unreadable;

    bool ok() const { return outcome == Outcome::Ok; }
};

// Reads BMP, JPEG, GIF, ICO, PNG, WebP, TIFF, HEIC (and anything else Qt reads), choosing the
// decoder by content, turned upright by its EXIF orientation, converted to RGB32 with transparency
// over white. Only regular files are opened, without ever blocking. Every frame size is checked
// against the photo limits before anything is allocated for it; an ICO gives its largest entry.
// Never throws: running out of memory is an outcome of its own. A JPEG counts its rows into
// progress as they are decoded, and is turned upright as it is decoded, without a second full
// buffer. A PNG takes its orientation from its eXIf chunk, a WebP from its EXIF chunk, a TIFF from
// its first directory; a HEIC is turned by its own properties. 16-bit channels become 8-bit ones.
LoadedPhoto loadPhoto(const QString &path, WorkProgress *progress = nullptr);
