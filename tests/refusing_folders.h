#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <memory>

// Sets or clears an inode flag (as chattr does); false where the file system or the process
// cannot.
inline bool setInodeFlag(const QString &path, int flag, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | flag : flags & ~flag;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

// Holds a flag for its lifetime, so that even a failed test leaves a folder it can delete.
class InodeFlag
{
public:
    InodeFlag(const QString &path, int flag)
        : path_(path)
        , flag_(flag)
        , set_(setInodeFlag(path, flag, true))
    {}
    InodeFlag(const InodeFlag &) = delete;
    InodeFlag &operator=(const InodeFlag &) = delete;
    ~InodeFlag()
    {
        if (set_)
            setInodeFlag(path_, flag_, false);
    }
    bool isSet() const { return set_; }

private:
    QString path_;
    int flag_;
    bool set_;
};

// A fresh folder on a file system that keeps inode flags (tmpfs does not), or null.
inline std::unique_ptr<QTemporaryDir> folderWithInodeFlags()
{
    for (const QString &base : {QDir::tempPath(), QStringLiteral("/var/tmp")}) {
        auto folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/orvane-XXXXXX"));
        if (folder->isValid() && InodeFlag(folder->path(), FS_APPEND_FL).isSet())
            return folder;
    }
    return nullptr;
}

// Stops writes past the given size in this process for its lifetime, as a full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead
        const rlimit lowered = {bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_ = {};
    void (*previous_)(int) = SIG_DFL;
};
