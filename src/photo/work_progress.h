#pragma once

#include <QtGlobal>

#include <algorithm>
#include <atomic>

// How much of a long piece of work is done, counted by the threads doing it and read by the
// window's thread to show progress. Units are the worker's own (rows, say).
class WorkProgress
{
public:
    void addTotal(qint64 units) { total_.fetch_add(units, std::memory_order_relaxed); }
    void addDone(qint64 units) { done_.fetch_add(units, std::memory_order_relaxed); }
    // 0 to 1; 0 while no total is known.
    double fraction() const
    {
        const qint64 total = total_.load(std::memory_order_relaxed);
        const qint64 done = done_.load(std::memory_order_relaxed);
        return total > 0 ? std::min(1.0, double(done) / double(total)) : 0.0;
    }

private:
    std::atomic<qint64> total_{0};
    std::atomic<qint64> done_{0};
};
