#include "app/preview_image.h"

#include <QMouseEvent>
#include <QPainter>

PreviewImage::PreviewImage(QWidget *parent)
    : QWidget(parent)
{}

void PreviewImage::setImage(QImage image)
{
    image_ = std::move(image);
    update();
}

void PreviewImage::paintEvent(QPaintEvent *)
{
    if (image_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), image_);
}

void PreviewImage::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
