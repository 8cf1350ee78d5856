#pragma once

#include "face/skin_sample.h"

// The skin of the largest face with skin in it, in an upright photo of any size; its region in
// the photo's own pixels. Nothing when the photo shows no face, or no skin in it.
std::optional<SkinSample> findSkin(const QImage &photo);
