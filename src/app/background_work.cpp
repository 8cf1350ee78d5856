#include "app/background_work.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;

namespace {

// Work shorter than this shows no progress: a bar that flashes up tells nothing.
constexpr auto kShowAfter = 500ms;
constexpr auto kProgressInterval = 50ms;

} // namespace

void runWhilePainting(int stages, const std::function<void(WorkProgress &)> &work,
                      const std::function<void(double)> &showProgress)
{
    WorkProgress progress(stages);
    std::unique_ptr<QThread> thread(QThread::create([&] { work(progress); }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer running;
    running.start();
    bool shown = false;
    QTimer ticker;
    ticker.setInterval(kProgressInterval);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (std::chrono::nanoseconds(running.nsecsElapsed()) < kShowAfter)
            return;
        shown = true;
        showProgress(progress.fraction());
    });
    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        // No thread to be had (out of memory): the work runs here rather than never.
        work(progress);
        return;
    }
    ticker.start();
    if (!thread->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    ticker.stop();
    thread->wait();
    if (shown)
        showProgress(-1);
}
