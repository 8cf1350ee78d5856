#pragma once

#include "output/metadata.h"
#include "photo/jpeg_codec.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// The quality both the save button and the preview ask for.
inline constexpr int kJpegQuality = 80;

class WorkProgress;

// The picture encoded as 保存 writes it. The preview, the save and the series all take their
// bytes from here, so that the preview cannot show another quality than the file gets.
EncodedJpeg encodeAsSaved(const QImage &image, WorkProgress *progress = nullptr);

// Writes the image as JPEG to path, whatever its extension. The file is replaced whole or not
// at all: on false the old file is untouched and nothing is left beside it. A path that is a
// folder or a device, a missing folder, and a read-only file or folder are refused. The file
// keeps its permission bits, and its owner and group where the process may set them.
bool saveJpeg(const QImage &image, const QString &path, int quality);

// What a save of a photo did: whether the file was written, and what of the metadata could
// not be kept in it.
enum class SaveStatus { Failed, Saved, OutOfMemory };

struct SavedPhoto
{
    SaveStatus status = SaveStatus::Failed;
    QList<MetadataLoss> leftOut;
    QString path; // the file written: the photo's own, or a new one beside it
};

// encodeAsSaved() written over the photo's file as by saveJpeg() when that file holds a JPEG
// (by its bytes, whatever its name), with the metadata the file carried put back in. Any other
// file is never replaced by JPEG bytes, which would lose its frames, entries or transparency
// under a name that no longer tells what it holds: the JPEG goes beside it as NAME.jpg, or
// NAME-1.jpg, … when that is taken, replacing nothing. Metadata never blocks the save: what
// cannot be kept is left out and listed.
SavedPhoto savePhotoJpeg(const QImage &image, const QString &path, const PhotoMetadata &metadata,
                         WorkProgress *progress = nullptr);

// savePhotoJpeg() of a picture of this size whose encoding is in hand already.
SavedPhoto saveEncodedPhoto(const QByteArray &jpeg, QSize size, const QString &path,
                            const PhotoMetadata &metadata);
