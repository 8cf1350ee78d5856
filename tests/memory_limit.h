#pragma once

#include <QFile>

#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs work in a forked child whose address space may grow by only `headroom` bytes; returns
// its exit code. AddressSanitizer reserves more address space than any such cap allows.
inline int underMemoryLimit(qint64 headroom, const std::function<int()> &work)
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const qint64 used = statm.readAll().split(' ').value(0).toLongLong() * sysconf(_SC_PAGESIZE);
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{rlim_t(used + headroom), rlim_t(used + headroom)};
        setrlimit(RLIMIT_AS, &limit);
        _exit(work());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#if defined(__SANITIZE_ADDRESS__)
#define ORVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANE_ADDRESS_SANITIZER 1
#endif
#endif
