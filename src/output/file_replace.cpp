#include "output/file_replace.h"

#include "output/file_descriptor.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Durability { Synced, Unsynced };

// Either flag keeps a name from being replaced or removed, even by root.
bool refusesReplacement(int fd)
{
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
        return false; // a file system that keeps no such flags
    return flags & (FS_APPEND_FL | FS_IMMUTABLE_FL);
}

// The file being replaced keeps its owner and group where the process may set them (root
// always, a user only the group), and its permission bits in any case.
bool takeOver(int fd, const struct stat &original)
{
    if (::fchown(fd, original.st_uid, original.st_gid) != 0 &&
        ::fchown(fd, uid_t(-1), original.st_gid) != 0) {
        // Not ours to give away: the file becomes the saver's, as any new file would.
    }
    return ::fchmod(fd, original.st_mode & 0777) == 0;
}

bool writeAndRename(int folder, const QByteArray &name, const QByteArray &data, mode_t mode,
                    const struct stat *original, Durability durability)
{
    QByteArray temporary;
    const FileDescriptor file = createHiddenFile(folder, temporary, mode);
    if (!file)
        return false;
    const bool synced = durability == Durability::Synced;
    if (writeAll(file.get(), data) && (!original || takeOver(file.get(), *original)) &&
        (!synced || ::fsync(file.get()) == 0) &&
        ::renameat(folder, temporary.constData(), folder, name.constData()) == 0) {
        if (synced)
            ::fsync(folder); // the rename itself; the data is safe either way
        return true;
    }
    // A folder that refuses the rename may refuse the removal too; then at least give the
    // space back.
    if (::unlinkat(folder, temporary.constData(), 0) != 0 && ::ftruncate(file.get(), 0) != 0) {
        // Nothing more can be done from here.
    }
    return false;
}

FileDescriptor openFolder(const QFileInfo &file)
{
    return FileDescriptor(::open(QFile::encodeName(file.absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

} // namespace

bool replaceFile(const QString &path, const QByteArray &data)
{
    if (path.isEmpty())
        return false;
    QFileInfo target(path);
    if (target.isSymLink()) {
        const QString named = target.canonicalFilePath();
        if (named.isEmpty())
            return false; // a dangling link names nothing to replace
        target.setFile(named);
    }
    const FileDescriptor folder = openFolder(target);
    struct stat folderStatus = {};
    if (!folder || ::fstat(folder.get(), &folderStatus) != 0 ||
        !isWritable(folder.get(), ".", folderStatus, W_OK | X_OK) ||
        refusesReplacement(folder.get()))
        return false;

    const QByteArray name = QFile::encodeName(target.fileName());
    struct stat original = {};
    if (::fstatat(folder.get(), name.constData(), &original, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return false;
        return writeAndRename(folder.get(), name, data, 0666, nullptr, Durability::Synced);
    }
    if (!S_ISREG(original.st_mode) || !isWritable(folder.get(), name.constData(), original, W_OK))
        return false;
    // A file we may not read cannot tell its flags; the rename then decides.
    const FileDescriptor old(
        ::openat(folder.get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (old && refusesReplacement(old.get()))
        return false;
    return writeAndRename(folder.get(), name, data, 0600, &original, Durability::Synced);
}

bool writePrivateFile(const QString &path, const QByteArray &data)
{
    if (path.isEmpty())
        return false;
    const QFileInfo target(path);
    const FileDescriptor folder = openFolder(target);
    return folder && writeAndRename(folder.get(), QFile::encodeName(target.fileName()), data, 0600,
                                    nullptr, Durability::Unsynced);
}
