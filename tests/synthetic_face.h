#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>

// A drawn portrait that the face search finds: an oval of one skin colour under dark hair, with
// brows, eyes, a nose's shadow and a red mouth, on a blue-grey ground. Every feature differs
// from the skin, so a sampler that lets any of them in is caught.
inline QImage syntheticPortrait(QColor skin, QSize size = {400, 400})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(90, 120, 160));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double w = size.width();
    const double h = size.height();
    const QRectF head(w * 0.3, h * 0.2, w * 0.4, h * 0.55);
    p.setBrush(QColor(60, 40, 30));
    p.drawEllipse(head.adjusted(-w * 0.02, -h * 0.05, w * 0.02, -h * 0.2));
    p.setBrush(skin);
    p.drawEllipse(head.adjusted(0, h * 0.03, 0, 0));
    p.setBrush(QColor(50, 35, 25));
    p.drawRect(QRectF(w * 0.37, h * 0.36, w * 0.09, h * 0.02));
    p.drawRect(QRectF(w * 0.54, h * 0.36, w * 0.09, h * 0.02));
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(QRectF(w * 0.385, h * 0.40, w * 0.06, h * 0.035));
    p.drawEllipse(QRectF(w * 0.555, h * 0.40, w * 0.06, h * 0.035));
    p.setBrush(skin.darker(120));
    p.drawRect(QRectF(w * 0.485, h * 0.45, w * 0.03, h * 0.1));
    p.setBrush(QColor(150, 50, 60));
    p.drawEllipse(QRectF(w * 0.44, h * 0.6, w * 0.12, h * 0.035));
    return image;
}
