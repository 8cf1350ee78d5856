#include "app/photo_box.h"

#include <QMouseEvent>
#include <QPainter>

PhotoBox::PhotoBox(BoxBorder border, QWidget *parent)
    : QFrame(parent)
{
    setBoxBorder(this, border);
    setMouseTracking(true);
    setAutoFillBackground(true);
}

void PhotoBox::setImage(QImage image)
{
    own_ = std::move(image);
    showPicture(&own_);
}

void PhotoBox::showPicture(const QImage *picture)
{
    shown_ = picture ? picture : &own_;
    setOutline({});
    if (shown_ != &own_)
        own_ = QImage();
    // An empty box keeps the size it was given.
    const int border = 2 * frameWidth();
    if (!shown_->isNull())
        resize(shown_->width() + border, shown_->height() + border);
    update();
}

void PhotoBox::updateRows(int first, int last)
{
    const QRect contents = contentsRect();
    update(contents.left(), contents.top() + first, contents.width(), last - first + 1);
}

void PhotoBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    const QImage &image = *shown_;
    if (image.isNull())
        return;
    const QRect contents = contentsRect();
    // Only the exposed part: a full draw of a large photo per row of a pass would be slow.
    const QRect exposed = event->rect() & contents;
    QRect source = exposed.translated(-contents.topLeft()) & image.rect();
    if (heldFrom_ >= 0)
        source &= QRect(0, 0, image.width(), heldFrom_);
    QPainter painter(this);
    if (!source.isEmpty())
        painter.drawImage(source.topLeft() + contents.topLeft(), image, source);
    if (!outline_.isEmpty()) {
        // Dashes of two colours stay visible on light and dark skin alike.
        const QRectF box =
            QRectF(outline_.translated(contents.topLeft())).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setClipRect(contents);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(box);
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawRect(box);
    }
}

void PhotoBox::setOutline(const QRect &region)
{
    if (region == outline_)
        return;
    outline_ = region;
    update();
}

// Qt hands a widget its position rounded to whole logical pixels, which on a screen scaled to
// 150 % or 200 % is the next photo pixel for half the screen pixels. The position in the window
// is exact, and a widget sits a whole number of pixels from the window's corner: add back what
// the rounding took off.
QPointF PhotoBox::exactPosition(const QMouseEvent *event)
{
    const QPointF scene = event->scenePosition();
    return QPointF(event->position().toPoint()) + (scene - QPointF(scene.toPoint()));
}

QPointF PhotoBox::imagePosition(const QMouseEvent *event) const
{
    return exactPosition(event) - QPointF(contentsRect().topLeft());
}

bool PhotoBox::inPicture(QPointF widgetPosition) const
{
    const QRectF area = contentsRect();
    return widgetPosition.x() >= area.left() && widgetPosition.x() < area.right() &&
           widgetPosition.y() >= area.top() && widgetPosition.y() < area.bottom();
}

void PhotoBox::mouseMoveEvent(QMouseEvent *event)
{
    if (inPicture(exactPosition(event)))
        emit pointerMoved(imagePosition(event));
}

void PhotoBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        return;
    pressOnBorder_ = !inPicture(exactPosition(event));
    if (!pressOnBorder_)
        emit pressed(imagePosition(event));
}

void PhotoBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        return;
    if (std::exchange(pressOnBorder_, false))
        return;
    // Judged where the box stood at the press: a drag moves it in released().
    const bool inside = inPicture(exactPosition(event));
    emit released(imagePosition(event));
    if (event->button() == Qt::LeftButton && inside)
        emit clicked();
}

void PhotoBox::contextMenuEvent(QContextMenuEvent *event)
{
    if (event->reason() != QContextMenuEvent::Mouse || inPicture(event->pos()))
        emit menuRequested(event->globalPos());
}
