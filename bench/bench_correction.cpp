// Times the correction kernel on a photo-like 24-megapixel image, one thread.
// Usage: bench_correction [runs]

#include "correct/correction_pass.h"

#include <QImage>
#include <QtMath>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Timing
{
    double median = 0;
    double fastest = 0;
};

Timing summary(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front()};
}

// Smooth gradients with a face-like bright blob and sensor noise, so the table lookups see
// the spread of values a real portrait gives rather than one repeated pixel.
QImage photoLikeImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 noiseState = 12345;
    const auto noise = [&noiseState] {
        noiseState = noiseState * 1664525u + 1013904223u;
        return static_cast<int>(noiseState >> 28) - 8;
    };
    const auto channel = [](double value) { return std::clamp(qRound(value), 0, 255); };
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double v = double(y) / height;
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            const double dx = u - 0.5;
            const double dy = v - 0.45;
            const double face = std::max(0.0, 1.0 - 4.0 * (dx * dx + dy * dy));
            const int red = channel(60 + 150 * face + 40 * u + noise());
            const int green = channel(50 + 110 * face + 30 * v + noise());
            const int blue = channel(70 + 80 * face + 50 * (1 - u) + noise());
            row[x] = qRgb(red, green, blue);
        }
    }
    return image;
}

// One pass over all rows with the given row operation, in milliseconds; the image is
// restored first so every run sees the same pixels.
template <typename RowOperation>
std::vector<double> timeRuns(QImage &image, const QImage &original, int runs,
                             RowOperation operation)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        std::memcpy(image.bits(), original.constBits(), size_t(image.sizeInBytes()));
        const Clock::time_point start = Clock::now();
        for (int y = 0; y < image.height(); ++y)
            operation(reinterpret_cast<QRgb *>(image.scanLine(y)), image.width());
        times.push_back(millisecondsSince(start));
    }
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int width = 6000;
    const int height = 4000;
    const double pixels = double(width) * height;

    const QImage original = photoLikeImage(width, height);
    QImage image = original.copy();
    const Gains gains{0.1f, 0.2f, -0.05882353f};

    const int builds = 10000;
    quint32 sink = 0;
    const Clock::time_point buildStart = Clock::now();
    for (int i = 0; i < builds; ++i) {
        const Gains varied{gains.red + float(i) * 1e-6f, gains.green, gains.blue};
        sink += ChannelTables(varied).red[200];
    }
    const double buildMicroseconds = millisecondsSince(buildStart) * 1000.0 / builds;

    const ChannelTables tables(gains);
    const Timing kernel = summary(
        timeRuns(image, original, runs, [&](QRgb *row, int w) { correctRow(row, w, tables); }));
    sink += image.pixel(width / 2, height / 2);

    // What touching every pixel once costs at all: the memory floor under the kernel.
    const Timing floor = summary(timeRuns(image, original, runs, [](QRgb *row, int w) {
        for (int x = 0; x < w; ++x)
            row[x] |= 0xff000000u;
    }));
    sink += image.pixel(0, 0);

    std::printf("image            %d x %d (%.1f MP), %d runs, median\n", width, height,
                pixels / 1e6, runs);
    std::printf("table build      %.2f us\n", buildMicroseconds);
    // The fastest run shows the machine's own speed when other work shares the cores.
    const auto report = [pixels](const char *name, const Timing &timing) {
        std::printf("%-16s %.1f ms  %.3f ns/pixel  (fastest %.1f ms  %.3f ns/pixel)\n", name,
                    timing.median, timing.median * 1e6 / pixels, timing.fastest,
                    timing.fastest * 1e6 / pixels);
    };
    report("kernel", kernel);
    report("memory floor", floor);
    std::printf("(checksum %u)\n", sink);
    return 0;
}
