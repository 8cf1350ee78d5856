#pragma once

#include "colour/colour_word.h"

#include <QString>
#include <QStringView>

#include <optional>

// The texts of three channel boxes (reference, target or difference), in red, green, blue order.
struct ChannelTexts
{
    QString red;
    QString green;
    QString blue;
};

// The boxes are read in two ways. The gates only ask whether anything was picked, so they take
// the value of the number the text begins with and count anything else as 0. The arithmetic
// needs the whole text to be a number and must be able to refuse it.

// Leading blanks, optional sign, digits with an optional fraction and exponent; the rest of the
// text is ignored. Text that does not begin with a number gives 0. An exponent too large for a
// double gives an infinity of the number's sign, never NaN.
double leadingNumber(QStringView text);

// The whole text, blanks around it allowed, as a finite decimal number; nullopt otherwise
// ("", "12abc", "nan", "inf", "1e999").
std::optional<double> completeNumber(QStringView text);

// Plain decimal text that reads back to the same double: "20", "-10", "0.5", never an exponent.
// Negative zero is written "0".
QString decimalText(double value);

// The boxes of a triple as numbers, each read as the gates read it.
ChannelValues leadingNumbers(const ChannelTexts &texts);

// The boxes of a triple as numbers for the arithmetic; nullopt when any box is not one.
std::optional<ChannelValues> completeNumbers(const ChannelTexts &texts);

// What a pick writes: the probe's channels as whole numbers, the differences by decimalText().
ChannelTexts channelTexts(const Channels &channels);
ChannelTexts decimalTexts(const ChannelValues &values);
