#pragma once

#include <QtGlobal>

#include <algorithm>
#include <atomic>

// How much of a long piece of work is done, counted by the threads doing it and read by the
// window's thread to show progress. The work runs in stages (decode, encode, ...) of equal
// weight, each counted in its own units (rows, say).
class WorkProgress
{
public:
    explicit WorkProgress(int stages = 1)
        : stages_(std::max(stages, 1))
    {}

    // Begins the next stage; called between stages, never while a stage's threads count.
    void startStage(qint64 total)
    {
        if (total_.load(std::memory_order_relaxed) > 0)
            finished_.fetch_add(1, std::memory_order_relaxed);
        done_.store(0, std::memory_order_relaxed);
        total_.store(std::max<qint64>(total, 1), std::memory_order_relaxed);
    }
    void addDone(qint64 units) { done_.fetch_add(units, std::memory_order_relaxed); }

    // 0 to 1.
    double fraction() const
    {
        const qint64 total = total_.load(std::memory_order_relaxed);
        const double current =
            total > 0 ? double(done_.load(std::memory_order_relaxed)) / double(total) : 0.0;
        const double all =
            (finished_.load(std::memory_order_relaxed) + std::min(current, 1.0)) / stages_;
        return std::min(all, 1.0);
    }

    // Asked by whoever waits for the work: stop where you can, the result is no longer wanted.
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

private:
    const int stages_;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> finished_{0};
    std::atomic<qint64> total_{0};
    std::atomic<qint64> done_{0};
};
