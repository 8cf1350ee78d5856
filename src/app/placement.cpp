#include "app/placement.h"

#include <cmath>

QPoint centredOrigin(QSize picture)
{
    return kPaneCentre - QPoint(picture.width() / 2, picture.height() / 2);
}

DragAnchor pressAnchor(QPointF pointer, QPoint photoPosition)
{
    return {float(pointer.x()), float(pointer.y()), float(photoPosition.x()),
            float(photoPosition.y())};
}

QPoint releasedPosition(const DragAnchor &anchor, QPointF pointer)
{
    const float dx = float(pointer.x()) - anchor.x;
    const float dy = float(pointer.y()) - anchor.y;
    const float left = dx + anchor.left;
    const float top = dy + anchor.top;
    return {int(std::lrint(left)), int(std::lrint(top))};
}
