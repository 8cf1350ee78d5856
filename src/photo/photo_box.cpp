#include "photo/photo_box.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

PhotoBox::PhotoBox(Border border, QWidget *parent)
    : QFrame(parent)
{
    if (border == Border::Flat) {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    } else {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(2);
    }
    setMouseTracking(true);
    setAutoFillBackground(true);
}

void PhotoBox::setImage(QImage image)
{
    image_ = std::move(image);
    const int border = 2 * frameWidth();
    resize(image_.width() + border, image_.height() + border);
    update();
}

std::optional<QRgb> PhotoBox::pixelAt(QPointF position) const
{
    const QPoint pixel(int(std::floor(position.x())), int(std::floor(position.y())));
    if (!image_.valid(pixel))
        return std::nullopt;
    return image_.pixel(pixel);
}

void PhotoBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    if (image_.isNull())
        return;
    const QRect contents = contentsRect();
    // Only the exposed part: a full draw of a large photo per row of a pass would be slow.
    const QRect exposed = event->rect() & contents;
    const QRect source = exposed.translated(-contents.topLeft()) & image_.rect();
    if (source.isEmpty())
        return;
    QPainter painter(this);
    painter.drawImage(source.topLeft() + contents.topLeft(), image_, source);
}

QPointF PhotoBox::imagePosition(const QMouseEvent *event) const
{
    return event->position() - QPointF(contentsRect().topLeft());
}

void PhotoBox::mouseMoveEvent(QMouseEvent *event)
{
    emit pointerMoved(imagePosition(event));
}

void PhotoBox::mousePressEvent(QMouseEvent *event)
{
    emit pressed(imagePosition(event));
}

void PhotoBox::mouseReleaseEvent(QMouseEvent *event)
{
    // Judged where the box stood at the press: a drag moves it in released().
    const bool inside = rect().contains(event->position().toPoint());
    emit released(imagePosition(event));
    if (event->button() == Qt::LeftButton && inside)
        emit clicked();
}
