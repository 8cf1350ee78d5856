#include "output/new_file.h"

#include "output/file_descriptor.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Enough for any folder a person fills by hand; beyond it something else is wrong.
constexpr int kMaxNumbered = 100000;

QByteArray candidateName(const QString &stem, const QString &suffix, int number)
{
    const QString name =
        number == 0 ? stem + suffix : stem + u'-' + QString::number(number) + suffix;
    return QFile::encodeName(name);
}

// Gives the written file the first free name; `link` returns 0, or -1 with errno set.
template <typename Link>
NewFile publish(const QString &folder, const QString &stem, const QString &suffix, int first,
                Link link)
{
    for (int number = qMax(first, 0); number <= kMaxNumbered; ++number) {
        const QByteArray name = candidateName(stem, suffix, number);
        if (link(name.constData()) == 0)
            return {QDir(folder).filePath(QFile::decodeName(name)), 0, number};
        if (errno != EEXIST)
            return {{}, errno};
    }
    return {{}, EEXIST};
}

// A file system without unnamed files: a hidden name of our own, linked (or, where there are no
// links, renamed without replacing) to the free name, then dropped.
NewFile writeThroughHiddenName(int folder, const QString &folderPath, const QString &stem,
                               const QString &suffix, const QByteArray &data, int first)
{
    QByteArray hidden;
    const FileDescriptor file = createHiddenFile(folder, hidden, 0666);
    if (!file)
        return {{}, errno};
    NewFile result;
    if (!writeAll(file.get(), data) || ::fsync(file.get()) != 0) {
        result.error = errno;
    } else {
        result = publish(folderPath, stem, suffix, first, [&](const char *name) {
            const int linked = ::linkat(folder, hidden.constData(), folder, name, 0);
            if (linked == 0 || (errno != EPERM && errno != EOPNOTSUPP))
                return linked;
            return ::renameat2(folder, hidden.constData(), folder, name, RENAME_NOREPLACE);
        });
    }
    ::unlinkat(folder, hidden.constData(), 0); // gone already when it was renamed
    return result;
}

// The folder, open, when this program may write there: refused as writeNewFile() documents,
// with errno set.
FileDescriptor openWritableFolder(const QString &folder)
{
    FileDescriptor dir(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat status = {};
    if (!dir || ::fstat(dir.get(), &status) != 0)
        return FileDescriptor(-1);
    // As replaceFile() decides, so that root too leaves a folder alone nobody may write; the
    // access check gives its own reason (a read-only file system).
    errno = EACCES;
    if (!isWritable(dir.get(), ".", status, W_OK | X_OK))
        return FileDescriptor(-1);
    return dir;
}

} // namespace

NewFile writeNewFile(const QString &folder, const QString &stem, const QString &suffix,
                     const QByteArray &data, int firstNumber)
{
    const FileDescriptor dir = openWritableFolder(folder);
    if (!dir)
        return {{}, errno};
    // An unnamed file vanishes with the process, so not even a kill leaves half a photo.
    const FileDescriptor file(::openat(dir.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!file) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return writeThroughHiddenName(dir.get(), folder, stem, suffix, data, firstNumber);
        return {{}, errno};
    }
    // Synced before it gets its name: after a power cut the name holds the whole photo or is
    // not there.
    if (!writeAll(file.get(), data) || ::fsync(file.get()) != 0)
        return {{}, errno};
    // Linking a descriptor directly needs a capability; its name under /proc does not.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.get());
    const NewFile written = publish(folder, stem, suffix, firstNumber, [&](const char *name) {
        return ::linkat(AT_FDCWD, self.constData(), dir.get(), name, AT_SYMLINK_FOLLOW);
    });
    if (!written.path.isEmpty())
        ::fsync(dir.get()); // the name itself; the data is safe either way
    return written;
}

NewFile writeNewFileThroughHiddenName(const QString &folder, const QString &stem,
                                      const QString &suffix, const QByteArray &data,
                                      int firstNumber)
{
    const FileDescriptor dir = openWritableFolder(folder);
    if (!dir)
        return {{}, errno};
    return writeThroughHiddenName(dir.get(), folder, stem, suffix, data, firstNumber);
}
