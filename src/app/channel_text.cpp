#include "app/channel_text.h"

#include <QLocale>

#include <cmath>

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isSign(QChar c)
{
    return c == u'+' || c == u'-';
}

// Length of the number that text starts with, 0 if it does not start with one. Only ASCII
// decimal forms count: the C locale's own parser would also take "inf" and "nan".
qsizetype numberLength(QStringView text)
{
    const qsizetype size = text.size();
    qsizetype i = 0;
    const auto skipDigits = [&] {
        const qsizetype start = i;
        while (i < size && isAsciiDigit(text[i]))
            ++i;
        return i - start;
    };

    if (i < size && isSign(text[i]))
        ++i;
    qsizetype mantissaDigits = skipDigits();
    if (i < size && text[i] == u'.') {
        ++i;
        mantissaDigits += skipDigits();
    }
    if (mantissaDigits == 0)
        return 0;

    const qsizetype mantissaEnd = i;
    if (i < size && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < size && isSign(text[i]))
            ++i;
        if (skipDigits() == 0)
            return mantissaEnd;
    }
    return i;
}

// number must match numberLength() whole. Overflow comes back as an infinity and underflow as
// 0, which is what the callers want, so the parser's failure flag is not needed.
double parsedNumber(QStringView number)
{
    return QLocale::c().toDouble(number);
}

} // namespace

double leadingNumber(QStringView text)
{
    qsizetype start = 0;
    while (start < text.size() && text[start].isSpace())
        ++start;
    const QStringView rest = text.sliced(start);
    const qsizetype length = numberLength(rest);
    return length == 0 ? 0.0 : parsedNumber(rest.first(length));
}

std::optional<double> completeNumber(QStringView text)
{
    const QStringView number = text.trimmed();
    const qsizetype length = numberLength(number);
    if (length == 0 || length != number.size())
        return std::nullopt;
    const double value = parsedNumber(number);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

QString decimalText(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

ChannelValues leadingNumbers(const ChannelTexts &texts)
{
    return {leadingNumber(texts.red), leadingNumber(texts.green), leadingNumber(texts.blue)};
}

std::optional<ChannelValues> completeNumbers(const ChannelTexts &texts)
{
    const std::optional<double> red = completeNumber(texts.red);
    const std::optional<double> green = completeNumber(texts.green);
    const std::optional<double> blue = completeNumber(texts.blue);
    if (!red || !green || !blue)
        return std::nullopt;
    return ChannelValues{*red, *green, *blue};
}

ChannelTexts channelTexts(const Channels &channels)
{
    return {QString::number(channels.red), QString::number(channels.green),
            QString::number(channels.blue)};
}

ChannelTexts decimalTexts(const ChannelValues &values)
{
    return {decimalText(values.red), decimalText(values.green), decimalText(values.blue)};
}
