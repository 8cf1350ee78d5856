#include "colour/colour_word.h"

#include <cmath>

ColourWord colourWordFromRgb(QRgb rgb)
{
    return qRed(rgb) + 256 * qGreen(rgb) + 65536 * qBlue(rgb);
}

Channels splitColour(ColourWord word)
{
    // The rule works in floating point with a rounding step; kept literally so that every
    // word, not only the valid ones, splits the same way wherever the split is used.
    const auto roundedQuotient = [](ColourWord dividend, double divisor) {
        return static_cast<int>(std::nearbyint(static_cast<double>(dividend) / divisor));
    };
    Channels channels;
    channels.red = word % 256;
    channels.green = roundedQuotient(word & ~0xff, 256.0) % 256;
    channels.blue = roundedQuotient(word & 0xff0000, 65536.0);
    return channels;
}
