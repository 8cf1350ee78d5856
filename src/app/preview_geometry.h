#pragma once

#include <QSize>
#include <QSizeF>

// The preview frame never exceeds this, in window pixels.
inline constexpr double kPreviewMaxWidth = 845;
inline constexpr double kPreviewMaxHeight = 560;
inline constexpr double kPreviewCaptionWidth = 97;

// Frame size for a target box of the given outer size: the width limit first, then the height
// limit, each keeping the box's proportions (divide first, then multiply; no rounding).
QSizeF previewFrameSize(QSizeF outer);

// A frame size in whole pixels, halves to even.
QSize roundedFrameSize(QSizeF frame);

// Left of the caption centred in a frame of this width, unrounded.
double previewCaptionLeft(double frameWidth);
