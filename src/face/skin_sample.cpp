#include "face/skin_sample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

struct Pixel
{
    QRgb rgb;
    int luma;
    int cb;
    int cr;
};

int median(std::vector<int> values)
{
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

// The box a detector draws reaches from the hairline to the chin and past the cheeks; its
// central part is mostly skin, with eyes, brows, nostrils and mouth inside. Those differ from
// skin in hue (lips, whites of the eyes, hair) or are its darkest (brows, pupils, shadows) or
// brightest (highlights) parts. So the sample keeps the pixels whose chroma lies near the
// region's median chroma, then drops the darkest and brightest of those, and averages the
// rest. The median, not a fixed skin hue, anchors the choice, so a photo with a cast is sampled
// as well as one without: the cast moves the median with the skin.
std::optional<SkinSample> sampleSkin(const QImage &picture, const QRect &face)
{
    const QRect region =
        QRect(face.x() + face.width() * 20 / 100, face.y() + face.height() * 20 / 100,
              face.width() * 60 / 100, face.height() * 65 / 100)
            .intersected(picture.rect());
    constexpr int kFewestPixels = 64;
    if (region.width() * region.height() < kFewestPixels)
        return std::nullopt;
    const QImage rgb =
        picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
            ? picture
            : picture.convertToFormat(QImage::Format_RGB32);

    std::vector<Pixel> pixels;
    pixels.reserve(size_t(region.width()) * size_t(region.height()));
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = region.left(); x <= region.right(); ++x) {
            const QRgb p = line[x];
            const int r = qRed(p);
            const int g = qGreen(p);
            const int b = qBlue(p);
            // Full-range BT.601, scaled by 1000 to stay in integers.
            const int luma = 299 * r + 587 * g + 114 * b;
            pixels.push_back({p, luma, -169 * r - 331 * g + 500 * b, 500 * r - 419 * g - 81 * b});
        }
    }

    std::vector<int> cbs;
    std::vector<int> crs;
    cbs.reserve(pixels.size());
    crs.reserve(pixels.size());
    for (const Pixel &p : pixels) {
        cbs.push_back(p.cb);
        crs.push_back(p.cr);
    }
    const int cb = median(std::move(cbs));
    const int cr = median(std::move(crs));
    // About a tenth of the chroma range either way: skin under one light varies less.
    constexpr int kChromaReach = 12 * 1000;
    std::vector<Pixel> skin;
    for (const Pixel &p : pixels) {
        if (std::abs(p.cb - cb) <= kChromaReach && std::abs(p.cr - cr) <= kChromaReach)
            skin.push_back(p);
    }
    if (skin.size() < kFewestPixels || skin.size() * 4 < pixels.size())
        return std::nullopt;

    std::sort(skin.begin(), skin.end(),
              [](const Pixel &a, const Pixel &b) { return a.luma < b.luma; });
    // Shadows and brows below, highlights above.
    const size_t from = skin.size() * 30 / 100;
    const size_t to = skin.size() * 90 / 100;
    std::array<double, 3> sum{};
    for (size_t i = from; i < to; ++i) {
        sum[0] += qRed(skin[i].rgb);
        sum[1] += qGreen(skin[i].rgb);
        sum[2] += qBlue(skin[i].rgb);
    }
    const double n = double(to - from);
    const auto channel = [n](double total) { return int(std::lround(total / n)); };
    const int red = channel(sum[0]);
    const int green = channel(sum[1]);
    const int blue = channel(sum[2]);
    // No cast a photo plausibly has makes skin near black, or leaves one of its channels a small
    // fraction of another (a warm lamp on ruddy skin keeps blue above a quarter of red): such a
    // face is a dark or vivid thing the detector mistook for one.
    constexpr int kDarkest = 24;
    constexpr int kWidestRatio = 6;
    const int brightest = std::max({red, green, blue});
    if (brightest < kDarkest || std::min({red, green, blue}) * kWidestRatio < brightest)
        return std::nullopt;
    return SkinSample{qRgb(red, green, blue), region};
}
