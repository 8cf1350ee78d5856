#pragma once

// Reads what a BMP, GIF, ICO, PNG, WebP, TIFF or HEIF file's headers promise, before any pixel is
// decoded, so that the real size a decoder will allocate can be checked first. A size nobody could
// allocate is reported as it is; judging it is the caller's business.

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QSize>

#include <array>
#include <optional>

struct BmpHeader
{
    QSize size;
    // The buffer Qt's reader fills for these headers.
    QImage::Format decodedFormat = QImage::Format_Invalid;
    // The palette and, for uncompressed pixels, every row lie inside the file.
    bool fitsFile = false;
    // Bits of red, green and blue in a 16- or 32-bit pixel.
    std::array<int, 3> channelBits{8, 8, 8};
};

// Nothing for data that is not a BMP file header and info header.
std::optional<BmpHeader> readBmpHeader(const QByteArray &head, qint64 fileSize);

// The canvas a GIF's first frame is drawn on: its logical screen, or for a screen with no
// area the frame's extent.
// Nothing if the headers are cut short. Leaves the device where it was.
std::optional<QSize> readGifCanvas(QIODevice &device);

// The real size of each ICO entry, read from the entry's own BMP or PNG header (the directory
// may say anything). Nothing if the directory or an entry header lies outside the file.
// Leaves the device where it was.
std::optional<QList<QSize>> readIcoEntrySizes(QIODevice &device);

// The EXIF orientation of a PNG's eXIf chunk, found among the chunks before the pixel data in
// the first megabyte of the file; 1 to 8 mean something, the rest nothing. Nothing if there is
// none, or if the chunk is damaged (its CRC or its TIFF structure). Leaves the device where it
// was.
std::optional<int> readPngOrientation(QIODevice &device);

// True for an ISO-BMFF file whose ftyp box names a HEIF brand (HEVC pictures, or the plain
// image brand as its major brand).
bool isHeifFile(const QByteArray &head);

// The size the decoder will produce and the orientation that turns it upright (1 to 8; 1 when
// there is none or its tag is damaged).
struct PictureFrame
{
    QSize size;
    int orientation = 1;
};

// A WebP file's canvas, and the orientation of its EXIF chunk. Nothing if the headers are cut
// short or not a WebP's. Leaves the device where it was.
std::optional<PictureFrame> readWebpHeader(QIODevice &device);

// The first picture of a TIFF file: its size and orientation tags. Nothing without a size, or
// when the first directory lies outside the file. Leaves the device where it was.
std::optional<PictureFrame> readTiffHeader(QIODevice &device);
