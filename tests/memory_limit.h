#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

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

// For window code: the current test function runs again in a fresh process of this test, which
// caps itself here and returns work(); the caller's checks on that result then decide the
// child's exit status, which is what this returns to the first process (0: all passed).
inline int inCappedRerun(qint64 headroom, const std::function<int()> &work)
{
    constexpr const char *kCapped = "ORVANE_TEST_MEMORY_CAPPED";
    if (qEnvironmentVariableIsSet(kCapped))
        return memory_limit_detail::capAddressSpace(headroom) ? work() : -1;
    QString function = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        function += u':' + QString::fromUtf8(QTest::currentDataTag());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kCapped), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {function});
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
        return -1;
    }
    const QByteArray output = child.readAllStandardOutput();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        qWarning("%s", output.constData());
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
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
