#include "correct/gains.h"

#include <limits>
#include <optional>

namespace {

// nullopt for a gain beyond float's range, which includes the infinite gain of a target 0.
std::optional<float> channelGain(double reference, int target)
{
    if (target == 0) {
        if (reference > 0.0)
            return std::nullopt;
        return reference == 0.0 ? 0.0f : -1.0f;
    }
    const double gain = reference / static_cast<double>(target) - 1.0;
    // Outside float's range the conversion is undefined. Every gain at or below -1 zeroes
    // the channel, so pinning a huge negative one changes no pixel.
    if (gain > static_cast<double>(std::numeric_limits<float>::max()))
        return std::nullopt;
    if (gain < static_cast<double>(std::numeric_limits<float>::lowest()))
        return std::numeric_limits<float>::lowest();
    return static_cast<float>(gain);
}

} // namespace

GainResult computeGains(const ChannelValues &reference, const Channels &target)
{
    const std::optional<float> redGain = channelGain(reference.red, target.red);
    const std::optional<float> greenGain = channelGain(reference.green, target.green);
    const std::optional<float> blueGain = channelGain(reference.blue, target.blue);
    const auto withinLimit = [](const std::optional<float> &gain) {
        return gain && *gain <= gainLimit;
    };
    if (!withinLimit(redGain) || !withinLimit(greenGain) || !withinLimit(blueGain))
        return {GainOutcome::TooLarge, {}};
    return {GainOutcome::Ok, {*redGain, *greenGain, *blueGain}};
}

bool hasDifference(const ChannelValues &differences)
{
    return differences.red != 0.0 || differences.green != 0.0 || differences.blue != 0.0;
}
