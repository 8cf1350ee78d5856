#include "app/background_job.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

std::chrono::milliseconds showAfter = BackgroundJob::kShowAfter;
std::chrono::milliseconds progressInterval = BackgroundJob::kProgressInterval;

std::atomic<int> threadsAtWork_{0};

std::mutex finishingLock;
std::condition_variable finishingDone;
int finishing = 0;

} // namespace

struct BackgroundJob::Shared
{
    Shared(int stages, Work w)
        : progress(stages)
        , work(std::move(w))
    {}
    WorkProgress progress;
    Work work;
};

BackgroundJob::BackgroundJob(int stages, Work work, AtExit atExit, QObject *parent)
    : QObject(parent)
    , shared_(std::make_shared<Shared>(stages, std::move(work)))
    , atExit_(atExit)
{
    ticker_.setInterval(progressInterval);
    connect(&ticker_, &QTimer::timeout, this, [this] {
        if (std::chrono::nanoseconds(since_.nsecsElapsed()) < showAfter)
            return;
        shown_ = true;
        emit progressed(shared_->progress.fraction());
    });
}

BackgroundJob::~BackgroundJob()
{
    abandon();
}

void BackgroundJob::setProgressTiming(std::chrono::milliseconds after,
                                      std::chrono::milliseconds interval)
{
    showAfter = after;
    progressInterval = interval;
}

int BackgroundJob::threadsAtWork()
{
    return threadsAtWork_.load();
}

void BackgroundJob::waitForFinishingWork()
{
    std::unique_lock lock(finishingLock);
    finishingDone.wait(lock, [] { return finishing == 0; });
}

void BackgroundJob::launch()
{
    running_ = true;
    const bool finish = atExit_ == AtExit::Finish;
    if (finish) {
        const std::lock_guard lock(finishingLock);
        ++finishing;
    }
    threadsAtWork_.fetch_add(1);
    const auto run = [shared = shared_, finish] {
        shared->work(shared->progress);
        // What the work holds (a picture shared with the window, say) goes with it, before the
        // window may write to that picture.
        shared->work = nullptr;
        threadsAtWork_.fetch_sub(1);
        if (finish) {
            const std::lock_guard lock(finishingLock);
            if (--finishing == 0)
                finishingDone.notify_all();
        }
    };
    QThread *thread = QThread::create(run);
    thread_ = thread;
    // The thread outlives an abandoned job; it goes once it has ended.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this] { end(); });
    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        // No thread to be had (out of memory): the work runs here rather than never.
        delete thread;
        run();
        QMetaObject::invokeMethod(
            this, [this] { end(); }, Qt::QueuedConnection);
        return;
    }
    since_.start();
    ticker_.start();
}

void BackgroundJob::abandon()
{
    if (!running_)
        return;
    shared_->progress.cancel();
    end(false);
}

void BackgroundJob::stopAndWait(bool report)
{
    shared_->progress.cancel();
    if (thread_)
        thread_->wait();
    end(report);
}

void BackgroundJob::end(bool report)
{
    if (!running_)
        return;
    running_ = false;
    ticker_.stop();
    if (std::exchange(shown_, false))
        emit progressed(-1);
    if (report)
        emit finished();
    emit ended();
    deleteLater();
}
