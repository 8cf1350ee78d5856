#include "correct/correction_pass.h"

#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ORVANE_BYTE_LOOKUP 1
#endif

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
        bytes[0][value] = uchar(blue[value]);
        bytes[1][value] = uchar(green[value] >> 8);
        bytes[2][value] = uchar(red[value] >> 16);
    }
}

namespace {

#ifdef ORVANE_BYTE_LOOKUP
// Sixteen pixels at a time, each byte looked up in its channel's 256-byte table as two
// 128-byte halves chosen by the byte's top bit: near the speed of memory, where the three
// loads per pixel of the plain loop are not. Returns how many pixels it did.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int
correctPixelsBytewise(QRgb *row, int width, const ChannelTables &tables)
{
    __m512i halves[3][4];
    for (int c = 0; c < 3; ++c) {
        for (int q = 0; q < 4; ++q)
            halves[c][q] = _mm512_loadu_si512(tables.bytes[c].data() + 64 * q);
    }
    constexpr __mmask64 kBlue = 0x1111111111111111ull;
    const __mmask64 lanes[3] = {kBlue, kBlue << 1, kBlue << 2};
    const __m512i opaque = _mm512_set1_epi8(char(0xff));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m512i pixels = _mm512_loadu_si512(row + x);
        const __mmask64 upper = _mm512_movepi8_mask(pixels);
        __m512i out = opaque;
        for (int c = 0; c < 3; ++c) {
            const __m512i low = _mm512_permutex2var_epi8(halves[c][0], pixels, halves[c][1]);
            const __m512i high = _mm512_permutex2var_epi8(halves[c][2], pixels, halves[c][3]);
            out = _mm512_mask_mov_epi8(out, lanes[c], _mm512_mask_blend_epi8(upper, low, high));
        }
        _mm512_storeu_si512(row + x, out);
    }
    return x;
}

bool canLookUpBytewise()
{
    static const bool can =
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    return can;
}
#endif

std::atomic<bool> wideLookupAllowed = true;

} // namespace

bool allowWideRowLookup(bool allow)
{
    wideLookupAllowed.store(allow, std::memory_order_relaxed);
#ifdef ORVANE_BYTE_LOOKUP
    return allow && canLookUpBytewise();
#else
    return false;
#endif
}

void correctRow(QRgb *row, int width, const ChannelTables &tables)
{
    const quint32 *red = tables.red.data();
    const quint32 *green = tables.green.data();
    const quint32 *blue = tables.blue.data();
    int x = 0;
#ifdef ORVANE_BYTE_LOOKUP
    if (wideLookupAllowed.load(std::memory_order_relaxed) && canLookUpBytewise())
        x = correctPixelsBytewise(row, width, tables);
#endif
        // Unrolling lets the loads of several pixels overlap; measured faster than a plain loop,
        // 64-bit pixel pairs and block buffering.
#pragma GCC unroll 4
    for (; x < width; ++x) {
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

namespace {

// Below this many pixels a band is not worth a second thread.
constexpr qint64 kMinSplitPixels = qint64(1) << 16;

// Plain pointers: QImage::scanLine() counts detaches in the image, which threads must not share.
struct Pixels
{
    uchar *bits;
    qsizetype stride;
    int width;
};

void correctRows(Pixels pixels, int first, int end, const ChannelTables &tables)
{
    for (int y = first; y < end; ++y)
        correctRow(reinterpret_cast<QRgb *>(pixels.bits + y * pixels.stride), pixels.width, tables);
}

// The rows of a band, the lower half on a second thread where it pays; the same pixels as one
// thread, since every row is rewritten on its own.
void correctBand(Pixels pixels, int first, int end, const ChannelTables &tables)
{
    if (qint64(end - first) * pixels.width < kMinSplitPixels || end - first < 2) {
        correctRows(pixels, first, end, tables);
        return;
    }
    const int middle = first + (end - first) / 2;
    std::thread lower;
    try {
        lower = std::thread(correctRows, pixels, middle, end, std::cref(tables));
    } catch (const std::system_error &) {
        correctRows(pixels, first, end, tables);
        return;
    }
    correctRows(pixels, first, middle, tables);
    lower.join();
}

} // namespace

PassOutcome runCorrectionPass(QImage &image, const Gains &gains, std::chrono::nanoseconds interval,
                              const PassProgress &progress)
{
    PassOutcome outcome;
    const ChannelTables tables(gains);
    const int width = image.width();
    const int lastRow = image.height() - 1;
    if (width <= 0)
        return outcome;
    const Pixels pixels{image.bits(), image.bytesPerLine(), width};
    QElapsedTimer sinceReport;
    sinceReport.start();
    // Bands are sized to end about when the next report is due.
    int bandRows = 1;
    for (int y = 0; y <= lastRow;) {
        const int end = std::min(y + bandRows, lastRow + 1);
        outcome.lastPixel = colourWordFromRgb(
            reinterpret_cast<const QRgb *>(image.constScanLine(end - 1))[width - 1]);
        QElapsedTimer band;
        band.start();
        correctBand(pixels, y, end, tables);
        const qint64 bandNs = std::max<qint64>(band.nsecsElapsed(), 1);
        const qint64 rowNs = std::max<qint64>(bandNs / (end - y), 1);
        const qint64 leftNs = interval.count() - sinceReport.nsecsElapsed();
        bandRows = int(std::clamp<qint64>(leftNs > 0 ? leftNs / rowNs : interval.count() / rowNs, 1,
                                          qint64(lastRow) + 1));
        y = end;
        if (y <= lastRow && std::chrono::nanoseconds(sinceReport.nsecsElapsed()) < interval)
            continue;
        if (!progress(y - 1, lastRow, outcome.lastPixel)) {
            outcome.result = PassResult::Stopped;
            return outcome;
        }
        sinceReport.restart();
    }
    return outcome;
}
