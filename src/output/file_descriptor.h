#pragma once

// A file descriptor closed when it goes, a write that finishes or fails, and who may write
// where; for the code that works below QFile to control how a file is opened, linked and synced.

#include <QByteArray>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : fd_(fd)
    {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    FileDescriptor(FileDescriptor &&other) noexcept
        : fd_(std::exchange(other.fd_, -1))
    {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    // For an owner that closes it itself, such as a QFile opened with AutoCloseHandle.
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

// Opens path for reading without blocking (a FIFO would wait for a writer); invalid unless what
// was opened is a regular file, so the caller judges that file, not what the name names later.
// size, if given, gets that file's size.
inline FileDescriptor openRegularFile(const QByteArray &path, qint64 *size = nullptr)
{
    FileDescriptor file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (file && (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)))
        return FileDescriptor(-1);
    if (file && size)
        *size = status.st_size;
    return file;
}

// Creates a file under a short hidden name of our own in folder, never one that exists, and
// puts that name in name: the final name may then be as long as the file system allows.
// Invalid with errno set when no name could be had.
inline FileDescriptor createHiddenFile(int folder, QByteArray &name, mode_t mode)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".orvane-";
        for (int i = 0; i < 8; ++i)
            name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
        const int fd = ::openat(folder, name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return FileDescriptor(fd);
    }
    return FileDescriptor(-1);
}

// Writes all of data, through interruptions and short writes; false with errno set otherwise.
inline bool writeAll(int fd, const QByteArray &data)
{
    const char *next = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

// Root passes every access check, so the permission bits count too: a file or folder that
// nobody may write is the user saying "keep this". name is relative to the open folder.
inline bool isWritable(int folder, const char *name, const struct stat &status, int access)
{
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) &&
           ::faccessat(folder, name, access, AT_EACCESS) == 0;
}
