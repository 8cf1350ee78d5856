#pragma once

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

// Holds every thread the process can still start, until destroyed: run under a memory limit,
// nothing after it gets a thread. Threads that ended leave stacks to reuse, so a limit alone
// does not do it.
class ThreadsTaken
{
public:
    ThreadsTaken()
    {
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
