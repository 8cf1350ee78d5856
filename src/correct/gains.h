#pragma once

#include "colour/colour_word.h"

// Per-channel gains of a correction pass: each channel value v becomes v + gain * v. Stored as
// 32-bit floats because the pass's results depend on that rounding.
struct Gains
{
    float red = 0;
    float green = 0;
    float blue = 0;

    friend bool operator==(const Gains &, const Gains &) = default;
};

// A gain above this is refused; the limit itself is accepted.
inline constexpr float gainLimit = 200.0f;

enum class GainOutcome {
    Ok,
    // A gain is above the limit, or infinite because its target channel is 0.
    TooLarge,
};

// The gains are all 0 unless the outcome is Ok, and never NaN or infinite.
struct GainResult
{
    GainOutcome outcome = GainOutcome::Ok;
    Gains gains;
};

// gain = reference / target - 1 in double, rounded once to float. A target channel of 0 has
// no quotient, so: a positive reference is an infinite gain (refused), a zero reference keeps
// the channel (gain 0), a negative one zeroes it (gain -1), as a negative reference always does.
GainResult computeGains(const ChannelValues &reference, const Channels &target);

// The correction gate: false while all three differences are 0.
bool hasDifference(const ChannelValues &differences);
