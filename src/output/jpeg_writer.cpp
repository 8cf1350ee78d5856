#include "output/jpeg_writer.h"

#include "output/file_descriptor.h"
#include "output/file_replace.h"
#include "output/new_file.h"
#include "photo/jpeg_codec.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <new>

namespace {

enum class Existing { Jpeg, NotJpeg, NotAFile };

Existing whatStandsAt(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const FileDescriptor file = openRegularFile(name);
    if (!file) {
        struct stat status;
        // Something that is no file at all is for replaceFile() to refuse, as ever.
        return ::stat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode)
                   ? Existing::NotAFile
                   : Existing::NotJpeg;
    }
    static constexpr char kSignature[3] = {'\xff', '\xd8', '\xff'};
    char head[sizeof kSignature];
    const bool jpeg = ::pread(file.get(), head, sizeof head, 0) == ssize_t(sizeof head) &&
                      std::memcmp(head, kSignature, sizeof head) == 0;
    return jpeg ? Existing::Jpeg : Existing::NotJpeg;
}

// Where a photo whose file is not a JPEG gets its JPEG: the first free NAME.jpg beside it.
NewFile writeBeside(const QString &path, const QByteArray &jpeg)
{
    const QFileInfo info(path);
    const QString stem = info.completeBaseName();
    return writeNewFile(info.absolutePath(), stem.isEmpty() ? info.fileName() : stem,
                        QStringLiteral(".jpg"), jpeg);
}

} // namespace

bool saveJpeg(const QImage &image, const QString &path, int quality)
{
    if (path.isEmpty())
        return false;
    const QByteArray jpeg = encodeJpeg(image, quality).data;
    return !jpeg.isEmpty() && replaceFile(path, jpeg);
}

EncodedJpeg encodeAsSaved(const QImage &image, WorkProgress *progress)
{
    return encodeJpeg(image, kJpegQuality, progress);
}

SavedPhoto savePhotoJpeg(const QImage &image, const QString &path, const PhotoMetadata &metadata,
                         WorkProgress *progress)
{
    if (path.isEmpty())
        return {};
    const EncodedJpeg jpeg = encodeAsSaved(image, progress);
    if (jpeg.status == JpegStatus::OutOfMemory)
        return {SaveStatus::OutOfMemory, {}, {}};
    if (jpeg.status != JpegStatus::Ok)
        return {};
    return saveEncodedPhoto(jpeg.data, image.size(), path, metadata);
}

SavedPhoto saveEncodedPhoto(const QByteArray &jpeg, QSize size, const QString &path,
                            const PhotoMetadata &metadata)
{
    if (path.isEmpty() || jpeg.isEmpty())
        return {};
    try {
        const MetadataResult kept = withMetadata(jpeg, metadata, size);
        if (whatStandsAt(path) == Existing::NotJpeg) {
            const NewFile beside = writeBeside(path, kept.jpeg);
            if (beside.path.isEmpty())
                return {};
            return {SaveStatus::Saved, kept.leftOut, beside.path};
        }
        if (!replaceFile(path, kept.jpeg))
            return {};
        return {SaveStatus::Saved, kept.leftOut, path};
    } catch (const std::bad_alloc &) {
        return {SaveStatus::OutOfMemory, {}, {}};
    }
}
