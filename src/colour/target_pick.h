#pragma once

#include "colour/colour_word.h"

// The pick's gate: while all three reference channels are 0 nothing has been picked to aim at.
bool hasReference(const ChannelValues &reference);

// What a click on the target photo picks: the probe's channels, and how far the reference is
// from them, which the correction pass's gate reads.
struct TargetPick
{
    Channels target;
    ChannelValues differences;
};

TargetPick pickTarget(const ChannelValues &reference, ColourWord probe);
