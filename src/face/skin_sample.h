#pragma once

#include <QImage>
#include <QRect>
#include <QRgb>

#include <optional>

// One colour for a face's skin, as a pick would give it, and where in the picture it was taken.
struct SkinSample
{
    QRgb colour = 0;
    QRect region;
};

// The skin of the face found at `face` in picture: its eyes, brows, mouth, hair and highlights
// left out. Nothing when too little of the box looks like skin, or its colour could not be skin
// under any plausible light.
std::optional<SkinSample> sampleSkin(const QImage &picture, const QRect &face);
