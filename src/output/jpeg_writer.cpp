#include "output/jpeg_writer.h"

#include "photo/jpeg_codec.h"

#include <QFileInfo>
#include <QSaveFile>

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

    const QByteArray jpeg = encodeJpeg(image, quality).data;
    if (jpeg.isEmpty())
        return false;
    // Uncommitted, QSaveFile removes its temporary file and leaves the old one alone.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size() && file.commit();
}
