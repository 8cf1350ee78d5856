// libFuzzer target: every input is read for metadata as a photo's file would be, and what was
// read is put into a freshly saved JPEG. Whatever the metadata, the saved file must decode to
// the pixels of the same JPEG without it, and open upright as those pixels.

#include "fuzz_support.h"
#include "output/jpeg_writer.h"
#include "output/metadata.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"

#include <QImage>

#include <cstdint>

namespace {

int inputFile = -1;
int savedFile = -1;
QImage picture;
QByteArray plainJpeg;
QImage plainPixels;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startQuietApplication(argc, argv);
    inputFile = memoryFile("fuzz-input");
    savedFile = memoryFile("fuzz-saved");
    // Not square, so that a turn shows in the size; sides not a multiple of the 16-pixel blocks.
    picture = QImage(40, 24, QImage::Format_RGB32);
    picture.fill(qRgb(200, 120, 60));
    plainJpeg = encodeAsSaved(picture).data;
    plainPixels = decodeJpeg(plainJpeg).image;
    if (plainPixels.isNull())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    replaceContents(inputFile, data, size);
    const PhotoMetadata metadata = readMetadata(pathOf(inputFile));
    const MetadataResult saved = withMetadata(plainJpeg, metadata, picture.size());

    const DecodedJpeg decoded = decodeJpeg(saved.jpeg);
    if (decoded.status != JpegStatus::Ok || decoded.image != plainPixels)
        __builtin_trap();
    // As the program opens it again: the orientation must have become upright.
    replaceContents(savedFile, saved.jpeg.constData(), size_t(saved.jpeg.size()));
    const LoadedPhoto reopened = loadPhoto(pathOf(savedFile));
    if (!reopened.ok() || reopened.image != plainPixels)
        __builtin_trap();
    return 0;
}
