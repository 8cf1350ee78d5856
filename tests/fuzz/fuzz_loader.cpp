// libFuzzer target: every input goes through the photo loader (as a file, so that the format
// is chosen by content) and through the JPEG decoder at full and at a scaled size.

#include "fuzz_support.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"

#include <cstdint>

static int inputFile = -1;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startQuietApplication(argc, argv);
    inputFile = memoryFile("fuzz-input");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    replaceContents(inputFile, data, size);
    const LoadedPhoto photo = loadPhoto(pathOf(inputFile));
    if (photo.ok() != (photo.image.format() == QImage::Format_RGB32) ||
        (photo.ok() && !fitsPhotoLimits(photo.image.size())))
        std::abort();

    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QSize atLeast : {QSize(), QSize(size % 97 + 1, size % 89 + 1)}) {
        const DecodedJpeg decoded = decodeJpeg(bytes, atLeast);
        if ((decoded.status == JpegStatus::Ok) == decoded.image.isNull())
            std::abort();
    }
    return 0;
}
