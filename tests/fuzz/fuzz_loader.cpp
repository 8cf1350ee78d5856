// libFuzzer target: every input goes through the photo loader (as a file, so that the format
// is chosen by content) and through the JPEG decoder at full and at a scaled size.

#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"

#include <QCoreApplication>
#include <QString>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

static int inputFile = -1;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // An in-memory file: a regular file to the loader, at no disk cost.
    inputFile = memfd_create("fuzz-input", 0);
    if (inputFile < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (ftruncate(inputFile, 0) != 0 || pwrite(inputFile, data, size, 0) != ssize_t(size))
        std::abort();
    const LoadedPhoto photo = loadPhoto(QStringLiteral("/proc/self/fd/%1").arg(inputFile));
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
