#pragma once

// The limits on photos, and opaque RGB32 pixels for them.

#include <QImage>
#include <QSize>

// Photos are refused above this many pixels (1.6 GB as RGB32): enough for medium-format and
// pixel-shift cameras (23,000 x 17,400), small enough that a forged header cannot make us
// allocate more than a photo of that size takes.
inline constexpr qint64 kMaxPhotoPixels = qint64(400) << 20;

// JPEG stores no side longer than this, so a longer photo could never be saved.
inline constexpr int kMaxPhotoSide = 65535;

// True for a non-empty size within both limits.
bool fitsPhotoLimits(QSize size);

// Any image as opaque RGB32; transparent pixels are composited over white. Null if memory
// runs out.
QImage toOpaqueRgb32(QImage image);
