#pragma once

#include "photo/work_progress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class QThread;

// One piece of work on a thread of its own, its end reported on the window's thread by
// finished(). The work must touch no widget and nothing the window owns: it gets what it
// needs by value and leaves its result where the caller's done handler finds it.
//
// The job object belongs to the window until it has ended, then deletes itself; its thread does
// not: abandoning (or deleting) the job lets the window go on at once, and the thread ends on
// its own with nobody listening. Where no thread can be started, the work runs on the calling
// thread.
class BackgroundJob : public QObject
{
    Q_OBJECT

public:
    using Work = std::function<void(WorkProgress &)>;

    // What becomes of the work when the program ends before it does.
    enum class AtExit { Drop, Finish };

    BackgroundJob(int stages, Work work, AtExit atExit, QObject *parent);
    ~BackgroundJob() override;

    // Tells the work to stop where it can (WorkProgress::cancelled()) and drops its end:
    // finished() will not be emitted.
    void abandon();
    // Tells the work to stop where it can and waits for it; finished() is emitted before this
    // returns, unless `report` is false. For work the window must have out of the way before it
    // goes on, briefly.
    void stopAndWait(bool report = true);
    bool running() const { return running_; }
    static bool running(const BackgroundJob *job) { return job && job->running_; }

    // Work shorter than this shows no progress: a bar that flashes up tells nothing.
    static constexpr std::chrono::milliseconds kShowAfter{500}, kProgressInterval{50};
    // For tests: progress shows after `after`, then every `interval`; by default as shipped.
    static void setProgressTiming(std::chrono::milliseconds after = kShowAfter,
                                  std::chrono::milliseconds interval = kProgressInterval);
    // Threads of jobs still at work, abandoned ones included.
    static int threadsAtWork();
    // Blocks until the work of every AtExit::Finish job has ended.
    static void waitForFinishingWork();

    // Runs `work`, then `done` with its result on the parent's thread, unless abandoned.
    template <typename Result>
    static BackgroundJob *start(QObject *parent, int stages,
                                std::function<Result(WorkProgress &)> work,
                                std::function<void(Result)> done, AtExit atExit = AtExit::Drop)
    {
        auto result = std::make_shared<Result>();
        auto *job = new BackgroundJob(
            stages, [result, work = std::move(work)](WorkProgress &p) { *result = work(p); },
            atExit, parent);
        connect(job, &BackgroundJob::finished, job,
                [result, done = std::move(done)] { done(std::move(*result)); });
        job->launch();
        return job;
    }

signals:
    // After the work has run a while, the fraction done (0 to 1) every few frames, and -1 once
    // it is over.
    void progressed(double fraction);
    void finished();
    // Emitted once the job is over, abandoned or not, after finished() and what it started.
    void ended();

private:
    struct Shared;
    void launch();
    void end(bool report = true);

    std::shared_ptr<Shared> shared_;
    const AtExit atExit_;
    QPointer<QThread> thread_;
    QTimer ticker_;
    QElapsedTimer since_;
    bool running_ = false;
    bool shown_ = false;
};
