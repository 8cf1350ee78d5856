#include "output/jpeg_writer.h"

#include "photo/image_memory.h"
#include "photo/photo_loader.h"
#include "photo/turbo_jpeg.h"

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

// Root passes every access check, so also honour the permission bits themselves: a file or
// folder that nobody may write is the user saying "keep this", and a save must not replace it.
bool isReadOnly(const QFileInfo &info)
{
    constexpr QFile::Permissions anyWrite =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return !info.isWritable() || !(info.permissions() & anyWrite);
}

} // namespace

QByteArray encodeJpeg(const QImage &image, int quality)
{
    const QImage rgb = toOpaqueRgb32(image);
    if (rgb.isNull())
        return {};
    const TurboHandle turbo(tjInitCompress());
    if (!turbo)
        return {};
    // Encoding straight into a worst-case buffer of our own spares a copy; only the pages the
    // data reaches become resident.
    const unsigned long capacity = tjBufSize(rgb.width(), rgb.height(), TJSAMP_420);
    if (capacity == static_cast<unsigned long>(-1))
        return {};
    QByteArray jpeg = newByteArray(qsizetype(capacity));
    auto *buffer = reinterpret_cast<unsigned char *>(jpeg.data());
    unsigned long length = capacity;
    if (tjCompress2(turbo.get(), rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()),
                    rgb.height(), kTurboRgb32, &buffer, &length, TJSAMP_420,
                    std::clamp(quality, 1, 100), TJFLAG_NOREALLOC) != 0)
        return {};
    jpeg.resize(qsizetype(length));
    return jpeg;
}

bool saveJpeg(const QImage &image, const QString &path, int quality)
{
    if (path.isEmpty())
        return false;
    QFileInfo target(path);
    // QSaveFile writes through a symbolic link, so judge the file it will replace.
    if (target.isSymLink() && target.exists())
        target.setFile(target.canonicalFilePath());
    if (target.exists() && (!target.isFile() || isReadOnly(target)))
        return false;
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir() || isReadOnly(folder))
        return false;

    const QByteArray jpeg = encodeJpeg(image, quality);
    if (jpeg.isEmpty())
        return false;
    // Uncommitted, QSaveFile removes its temporary file and leaves the old one alone.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size() && file.commit();
}
