#pragma once

#include "colour/colour_word.h"
#include "colour/number_text.h"

enum class TargetPickOutcome {
    Ok,
    // All three reference boxes read 0: nothing has been picked to aim at.
    NeedReference,
    // A reference box holds text that is not a number, beside one that is not 0.
    InvalidNumber,
};

// What a click on the target photo writes. Only an Ok pick carries texts and channels; the
// window leaves every box as it was for the other outcomes.
struct TargetPick
{
    TargetPickOutcome outcome = TargetPickOutcome::NeedReference;
    ChannelTexts targetTexts;
    // Reference minus target, as the correction pass's gate reads them.
    ChannelTexts differenceTexts;
    Channels target;
};

TargetPick pickTarget(const ChannelTexts &reference, ColourWord probe);
