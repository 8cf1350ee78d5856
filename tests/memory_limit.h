#pragma once

#include "test_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace memory_limit_detail {

inline bool capAddressSpace(qint64 headroom)
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return false;
    const qint64 used = statm.readAll().split(' ').value(0).toLongLong() * sysconf(_SC_PAGESIZE);
    const rlimit limit{rlim_t(used + headroom), rlim_t(used + headroom)};
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

// Whether a thread Qt started is still there. Qt's threads are detached: one whose wait() has
// returned runs on for a moment, and only once it is gone is its stack free for a new thread.
inline bool qtThreadLeft()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        if (name.open(QIODevice::ReadOnly) && name.readAll() == "QThread\n")
            return true;
    }
    return false;
}

} // namespace memory_limit_detail

// Runs work in a forked child whose address space may grow by only `headroom` bytes; returns
// its exit code. Only for work without an event loop, painting or Qt's threads: the child has
// none of its parent's threads, so a lock or a thread pool of theirs would wait for ever.
// AddressSanitizer reserves more address space than any such cap allows.
inline int underMemoryLimit(qint64 headroom, const std::function<int()> &work)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(memory_limit_detail::capAddressSpace(headroom) ? work() : -1);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// For window code: the current test function runs again in a fresh process (rerunStatus()),
// which caps itself here and returns work(); the caller's checks on that result then decide the
// child's exit status, which is what this returns to the first process (0: all passed).
inline int inCappedRerun(qint64 headroom, const std::function<int()> &work)
{
    if (inRerun())
        return memory_limit_detail::capAddressSpace(headroom) ? work() : -1;
    return rerunStatus();
}

// Holds every thread the process can still start, until destroyed: run under a memory limit,
// nothing after it gets a thread. Threads that ended leave stacks to reuse, so a limit alone
// does not do it; and a Qt thread still ending would leave its stack only after the taking,
// so it is waited for first (under load it may run on for milliseconds).
class ThreadsTaken
{
public:
    ThreadsTaken()
    {
        const QDeadlineTimer deadline(std::chrono::seconds(10));
        while (memory_limit_detail::qtThreadLeft() && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        try {
            for (;;)
                holders_.emplace_back([this] {
                    while (!release_)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                });
        } catch (const std::system_error &) {
        }
    }
    ~ThreadsTaken()
    {
        release_ = true;
        for (std::thread &holder : holders_)
            holder.join();
    }

private:
    std::atomic<bool> release_ = false;
    std::vector<std::thread> holders_;
};

#if defined(__SANITIZE_ADDRESS__)
#define ORVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANE_ADDRESS_SANITIZER 1
#endif
#endif
