#include "colour/sample_average.h"

#include <array>

namespace {

int meanHalfEven(int sum, int count)
{
    const int quotient = sum / count;
    const int twiceRemainder = 2 * (sum % count);
    if (twiceRemainder > count || (twiceRemainder == count && quotient % 2 == 1))
        return quotient + 1;
    return quotient;
}

} // namespace

std::optional<QRgb> sampleColour(const QImage &image, QPoint centre, int side)
{
    if (!image.valid(centre))
        return std::nullopt;
    const int reach = side / 2;
    const QRect square(centre - QPoint(reach, reach), QSize(side, side));
    // A copy of at most 121 pixels in one known format, whatever format the photo has;
    // non-premultiplied, as QImage::pixel() reads it.
    const QImage block = image.copy(square & image.rect()).convertToFormat(QImage::Format_ARGB32);
    std::array<int, 3> sums{};
    for (int y = 0; y < block.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(block.constScanLine(y));
        for (int x = 0; x < block.width(); ++x) {
            sums[0] += qRed(line[x]);
            sums[1] += qGreen(line[x]);
            sums[2] += qBlue(line[x]);
        }
    }
    const int count = block.width() * block.height();
    return qRgb(meanHalfEven(sums[0], count), meanHalfEven(sums[1], count),
                meanHalfEven(sums[2], count));
}
