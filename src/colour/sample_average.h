#pragma once

#include <QImage>
#include <QPoint>
#include <QRgb>

#include <optional>

// The colour a probe reads at `centre`: the mean of each channel over the side × side square
// centred there (side odd; 1 is the pixel itself), counting only the part of the square
// inside the image, rounded half to even. Nothing when `centre` lies outside the image.
std::optional<QRgb> sampleColour(const QImage &image, QPoint centre, int side);
