#pragma once

// A file descriptor closed when it goes, a write that finishes or fails, and who may write
// where; for the code that works below QFile to control how a file is opened, linked and synced.

#include <QByteArray>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : fd_(fd)
    {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

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
