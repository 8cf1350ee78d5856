#pragma once

#include <QCoreApplication>
#include <QString>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>

// The application the code under test expects, with its messages silenced.
inline void startQuietApplication(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

// An in-memory file: a regular file to the code that opens it by name, at no disk cost.
inline int memoryFile(const char *name)
{
    const int fd = memfd_create(name, 0);
    if (fd < 0)
        std::abort();
    return fd;
}

inline QString pathOf(int fd)
{
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

inline void replaceContents(int fd, const void *data, size_t size)
{
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
}
