#include "correct/correction_pass.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

int correctedChannel(float gain, int value)
{
    // A float times a byte is exact in double, so a fused multiply-add would round the same.
    const double scaled = static_cast<double>(gain) * value + value;
    // Clamping before rounding gives the same result and keeps huge values out of int's range.
    if (!(scaled > 0.0))
        return 0;
    return static_cast<int>(std::nearbyint(std::min(scaled, 255.0)));
}

ChannelTables::ChannelTables(const Gains &gains)
{
    for (int value = 0; value < 256; ++value) {
        red[value] = static_cast<quint32>(correctedChannel(gains.red, value)) << 16;
        green[value] = static_cast<quint32>(correctedChannel(gains.green, value)) << 8;
        blue[value] = static_cast<quint32>(correctedChannel(gains.blue, value)) | 0xff000000u;
    }
}

void correctRow(QRgb *row, int width, const ChannelTables &tables)
{
    const quint32 *red = tables.red.data();
    const quint32 *green = tables.green.data();
    const quint32 *blue = tables.blue.data();
    // Unrolling lets the loads of several pixels overlap; measured faster than a plain loop,
    // 64-bit pixel pairs and block buffering.
#pragma GCC unroll 4
    for (int x = 0; x < width; ++x) {
        const QRgb pixel = row[x];
        row[x] = red[(pixel >> 16) & 0xff] | green[(pixel >> 8) & 0xff] | blue[pixel & 0xff];
    }
}

int progressPercent(int row, int lastRow)
{
    if (lastRow == 0)
        return 100;
    return static_cast<int>(std::floor(static_cast<double>(row) / lastRow * 100.0));
}

PassOutcome runCorrectionPass(QImage &image, const Gains &gains, std::chrono::nanoseconds interval,
                              const PassProgress &progress)
{
    PassOutcome outcome;
    const ChannelTables tables(gains);
    const int width = image.width();
    const int lastRow = image.height() - 1;
    if (width <= 0)
        return outcome;
    QElapsedTimer sinceReport;
    sinceReport.start();
    for (int y = 0; y <= lastRow; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        outcome.lastPixel = colourWordFromRgb(row[width - 1]);
        correctRow(row, width, tables);
        if (y < lastRow && std::chrono::nanoseconds(sinceReport.nsecsElapsed()) < interval)
            continue;
        if (!progress(y, lastRow, outcome.lastPixel)) {
            outcome.result = PassResult::Stopped;
            return outcome;
        }
        sinceReport.restart();
    }
    return outcome;
}
