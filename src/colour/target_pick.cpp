#include "colour/target_pick.h"

namespace {

// The difference reads both boxes back as numbers; the target box holds the channel written
// as decimal text just before, so its number is the channel itself.
std::optional<QString> differenceText(const QString &referenceText, int targetChannel)
{
    const std::optional<double> reference = completeNumber(referenceText);
    if (!reference)
        return std::nullopt;
    return decimalText(*reference - static_cast<double>(targetChannel));
}

} // namespace

TargetPick pickTarget(const ChannelTexts &reference, ColourWord probe)
{
    TargetPick pick;
    if (leadingNumber(reference.red) == 0.0 && leadingNumber(reference.green) == 0.0 &&
        leadingNumber(reference.blue) == 0.0) {
        pick.outcome = TargetPickOutcome::NeedReference;
        return pick;
    }

    const Channels target = splitColour(probe);
    const std::optional<QString> red = differenceText(reference.red, target.red);
    const std::optional<QString> green = differenceText(reference.green, target.green);
    const std::optional<QString> blue = differenceText(reference.blue, target.blue);
    if (!red || !green || !blue) {
        pick.outcome = TargetPickOutcome::InvalidNumber;
        return pick;
    }

    pick.outcome = TargetPickOutcome::Ok;
    pick.targetTexts = {QString::number(target.red), QString::number(target.green),
                        QString::number(target.blue)};
    pick.differenceTexts = {*red, *green, *blue};
    pick.target = target;
    return pick;
}
