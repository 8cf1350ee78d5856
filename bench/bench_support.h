#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

// Smooth gradients with sensor-like noise: close to a real photo's cost to compress.
inline QImage photoLikeImage(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    std::vector<int> column(size.width());
    for (int x = 0; x < size.width(); ++x)
        column[x] = int(60 * std::sin(x / 700.0));
    quint32 seed = 2012;
    for (int y = 0; y < size.height(); ++y) {
        const int row = int(50 * std::cos(y / 500.0));
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            const int noise = int(seed % 17) - 8;
            const int base = 128 + column[x] + row + noise;
            line[x] = qRgb(std::clamp(base + 40, 0, 255), std::clamp(base, 0, 255),
                           std::clamp(base - 30 + x * 60 / size.width(), 0, 255));
        }
    }
    return image;
}

// The median wall time of `runs` calls, in milliseconds.
inline double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Lets the program's event loop run, as between a user's actions, until done() holds.
inline void runUntil(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
