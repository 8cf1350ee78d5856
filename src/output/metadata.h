#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

// The kinds of metadata a photo file may carry; All stands for the whole of it.
enum class MetadataPart { Exif, Xmp, Iptc, IccProfile, All };

// A part that could not be read or kept, with the library's reason (English, for a log or
// the detail of a note).
struct MetadataLoss
{
    MetadataPart part;
    QString reason;

    bool operator==(const MetadataLoss &) const = default;
};

// What a camera or an editor wrote into a photo file, held as plain bytes so that a photo
// keeps it however long it stays open. Empty parts were absent.
struct PhotoMetadata
{
    QByteArray exif; // a TIFF structure, as after "Exif\0\0" in a JPEG's APP1
    QByteArray xmp;  // the XMP packet
    QByteArray iptc; // IPTC IIM datasets
    QByteArray iccProfile;
    QList<MetadataLoss> unreadable; // parts the file held but that could not be read or kept

    bool isEmpty() const
    {
        return exif.isEmpty() && xmp.isEmpty() && iptc.isEmpty() && iccProfile.isEmpty();
    }
};

// JPEG bytes with the metadata put in, and what had to be left out.
struct MetadataResult
{
    QByteArray jpeg;
    QList<MetadataLoss> leftOut;
};

// Reads the metadata of the file at path. Only JPEG and PNG files carry metadata for us;
// any other format gives an empty result. A damaged file gives what could be read, and the
// rest in unreadable; so do parts too large to keep: a colour profile over 4 MiB, an XMP
// packet over 65,502 bytes (what one JPEG segment holds), more than one profile in a PNG.
PhotoMetadata readMetadata(const QString &path);

// Puts metadata into freshly encoded JPEG bytes of a picture of size saved, stored upright:
// the orientation becomes 1, width and height tags follow saved, and embedded thumbnails are
// dropped since they show the picture before it was changed. A colour profile that is not
// for RGB data does not fit the picture and is left out. Never fails: what cannot be
// written is left out and listed, and at worst the JPEG bytes come back as they were.
MetadataResult withMetadata(const QByteArray &jpeg, const PhotoMetadata &metadata, QSize saved);
