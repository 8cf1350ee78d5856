#pragma once

#include <QPoint>
#include <QPointF>
#include <QSize>

// Centre of the 410 x 510 pane that holds each photo.
inline constexpr QPoint kPaneCentre(205, 255);

// Top-left that centres a picture in its pane; an odd size leaves the extra pixel right/below.
QPoint centredOrigin(QSize picture);

// The pointer on the photo (its own pixels) and the photo in its pane at the last press on
// either photo. Both photos share one anchor; it is all zero before the first press.
struct DragAnchor
{
    float x = 0, y = 0, left = 0, top = 0;
};

DragAnchor pressAnchor(QPointF pointer, QPoint photoPosition);

// Where the photo lands on release: it jumps by the pointer's travel since the press, worked
// in 32-bit floats and rounded to whole pixels, ties to even.
QPoint releasedPosition(const DragAnchor &anchor, QPointF pointer);
