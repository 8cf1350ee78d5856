#pragma once

#include "correct/gains.h"

#include <QRgb>

#include <array>

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
};

// Rewrites one scan line of a Format_RGB32 image in place; the result is opaque.
void correctRow(QRgb *row, int width, const ChannelTables &tables);

// The percentage shown on row `row` of a pass whose last row is lastRow: floor(row / lastRow
// * 100) in double, dividing first, so row 29 of 100 shows 28. A one-row picture shows 100.
int progressPercent(int row, int lastRow);
