#pragma once

// Files and folders in the states that refuse a write, even root's.

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

inline struct stat status(const QString &path)
{
    struct stat result = {};
    ::lstat(QFile::encodeName(path).constData(), &result);
    return result;
}

// Sets or clears an inode flag as chattr does; false where the file system cannot.
inline bool setInodeFlag(const QString &path, int flag, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | flag : flags & ~flag;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

// A fresh folder on a file system that keeps inode flags (tmpfs does not), or null.
inline std::unique_ptr<QTemporaryDir> folderWithInodeFlags()
{
    for (const QString &base : {QDir::tempPath(), QStringLiteral("/var/tmp")}) {
        auto folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/orvane-XXXXXX"));
        if (folder->isValid() && setInodeFlag(folder->path(), FS_APPEND_FL, true) &&
            setInodeFlag(folder->path(), FS_APPEND_FL, false))
            return folder;
    }
    return nullptr;
}

// Until the returned guard ends, the soft limit on a resource is lowered: for RLIMIT_FSIZE a
// write past the given size fails as on a full disk.
[[nodiscard]] inline auto capped(int resource, rlim_t value)
{
    rlimit saved = {};
    ::getrlimit(resource, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead
    const rlimit lowered = {std::min(value, saved.rlim_max), saved.rlim_max};
    ::setrlimit(resource, &lowered);
    return qScopeGuard([resource, saved, previous] {
        ::setrlimit(resource, &saved);
        std::signal(SIGXFSZ, previous);
    });
}
