#pragma once

#include "colour/colour_word.h"
#include "correct/gains.h"

#include <QImage>
#include <QRgb>

#include <array>
#include <chrono>
#include <functional>

// The channel value a pass writes for value v under gain g: v + g * v in double, rounded to
// nearest with ties to even, clamped to 0..255.
int correctedChannel(float gain, int value);

// correctedChannel() for every value of each channel, built once per pass. Entries sit in their
// QRgb position (red << 16, green << 8, blue with the opaque alpha) so that a pixel is three
// lookups or'ed together.
struct ChannelTables
{
    explicit ChannelTables(const Gains &gains);

    std::array<quint32, 256> red;
    std::array<quint32, 256> green;
    std::array<quint32, 256> blue;
    // The same, one byte per entry, in the order of a pixel's bytes in memory (blue, green,
    // red), for lookups of many bytes at once.
    std::array<std::array<uchar, 256>, 3> bytes;
};

// Rewrites one scan line of a Format_RGB32 image in place; the result is opaque.
void correctRow(QRgb *row, int width, const ChannelTables &tables);

// For tests and benchmarks: whether correctRow() may look up sixteen pixels at a time, as it
// does by default where the processor can (the pixels are the same either way). Returns whether
// it now will: never where the processor cannot.
bool allowWideRowLookup(bool allow);

// The percentage shown on row `row` of a pass whose last row is lastRow: floor(row / lastRow
// * 100) in double, dividing first, so row 29 of 100 shows 28. A one-row picture shows 100.
int progressPercent(int row, int lastRow);

enum class PassResult { Completed, Stopped };

struct PassOutcome
{
    PassResult result = PassResult::Completed;
    // The last pixel the pass read, before its correction.
    ColourWord lastPixel = 0;
};

// Told after a run of rows, with the last row done and the last pixel read so far; returning
// false stops the pass before its next row.
using PassProgress = std::function<bool(int row, int lastRow, ColourWord lastPixel)>;

// Corrects an RGB32 image in place, in bands of rows from the top, each band on two threads
// where it is large enough (the same pixels as one thread). `progress` is called once at least
// `interval` of work has passed since its last call, and always after the last row; a zero
// interval means after every row. The extent is taken once, at the start.
PassOutcome runCorrectionPass(QImage &image, const Gains &gains, std::chrono::nanoseconds interval,
                              const PassProgress &progress);
