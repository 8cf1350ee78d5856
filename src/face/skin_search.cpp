#include "face/skin_search.h"

#include "face/face_finder.h"

#include <cmath>

namespace {

// The long side of the copy searched: a portrait's face is still some sixty pixels across
// there, more than the detector's own window, and the search takes a few tens of milliseconds
// whatever the photo's size.
constexpr int kSearchSide = 320;

QRect scaledBack(const QRect &r, double factor, const QSize &bounds)
{
    const auto at = [factor](int v) { return int(std::lround(v * factor)); };
    return QRect(QPoint(at(r.left()), at(r.top())),
                 QPoint(at(r.right() + 1) - 1, at(r.bottom() + 1) - 1))
        .intersected(QRect(QPoint(0, 0), bounds));
}

} // namespace

std::optional<SkinSample> findSkin(const QImage &photo)
{
    if (photo.isNull())
        return std::nullopt;
    const int longSide = std::max(photo.width(), photo.height());
    QImage small = photo;
    if (longSide > kSearchSide) {
        // Picking pixels down to twice the size and averaging the last halving is nearly as
        // good as averaging all the way, at a small part of its cost on a large photo.
        const QSize target = photo.size().scaled(kSearchSide, kSearchSide, Qt::KeepAspectRatio);
        if (longSide > 2 * kSearchSide)
            small = photo.scaled(target * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        small = small.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    // A larger false face with no skin in it must not hide the real one behind it.
    std::optional<SkinSample> sample;
    for (const QRect &face : findFaces(small)) {
        sample = sampleSkin(small, face);
        if (sample)
            break;
    }
    if (sample && small.size() != photo.size()) {
        const double factor = double(photo.width()) / small.width();
        sample->region = scaledBack(sample->region, factor, photo.size());
    }
    return sample;
}
