#pragma once

#include <QImage>
#include <QList>
#include <QRect>

// The most pixels a face search looks at: a photo is searched in a copy scaled to fit, which
// finds the faces of a portrait as well and keeps the search quick.
inline constexpr qsizetype kFaceSearchPixels = 1024 * 1024;

// Faces in an upright picture of at most kFaceSearchPixels, frontal and in profile, largest
// first. None for a null or larger picture. Safe to call from several threads at once.
QList<QRect> findFaces(const QImage &picture);
