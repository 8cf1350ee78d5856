#pragma once

#include <QRgb>
#include <QtGlobal>

// A colour word holds red + 256 * green + 65536 * blue, red in the low byte. Qt's QRgb keeps
// blue in the low byte, so a pixel becomes a colour word only through colourWordFromRgb().
using ColourWord = qint32;

struct Channels
{
    int red = 0;
    int green = 0;
    int blue = 0;

    friend bool operator==(const Channels &, const Channels &) = default;
};

// Channel values as the boxes give them: a reference or a difference is any number, not only a
// byte.
struct ChannelValues
{
    double red = 0;
    double green = 0;
    double blue = 0;

    friend bool operator==(const ChannelValues &, const ChannelValues &) = default;
};

ColourWord colourWordFromRgb(QRgb rgb);

// For words 0..16777215 these are the three bytes. Other words follow the same arithmetic,
// so a negative word gives a negative red and green rather than wrapped bytes.
Channels splitColour(ColourWord word);
