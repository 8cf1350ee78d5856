#include "colour/target_pick.h"

bool hasReference(const ChannelValues &reference)
{
    return reference.red != 0.0 || reference.green != 0.0 || reference.blue != 0.0;
}

TargetPick pickTarget(const ChannelValues &reference, ColourWord probe)
{
    const Channels target = splitColour(probe);
    return {target,
            {reference.red - double(target.red), reference.green - double(target.green),
             reference.blue - double(target.blue)}};
}
