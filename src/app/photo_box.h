#pragma once

#include "app/bordered_box.h"

#include <QFrame>
#include <QImage>

// A picture box: holds one persistent image that pixel passes rewrite in place, shows it
// 1:1 inside its border, sizes itself to it, and reports the mouse in image pixels. Only the
// picture area counts: the pointer over the border moves, presses and clicks nothing. The right
// button opens the context menu and neither drags nor picks.
class PhotoBox : public QFrame
{
    Q_OBJECT

public:
    explicit PhotoBox(BoxBorder border, QWidget *parent = nullptr);

    void setImage(QImage image);
    const QImage &image() const { return image_; }
    // For in-place pixel work; call update() afterwards. Keep no other copy of the image
    // alive meanwhile, or the first write detaches (copies) all of it.
    QImage &image() { return image_; }

    // Repaints these rows of the image.
    void updateRows(int first, int last);

signals:
    // Positions in image pixels, relative to the image's top-left corner.
    void pointerMoved(QPointF position);
    void pressed(QPointF position);
    void released(QPointF position);
    // A left press and release in the picture area; emitted after released().
    void clicked();
    // A right click (or the menu key) asks for the picture's context menu, at this point of
    // the screen.
    void menuRequested(QPoint globalPosition);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    static QPointF exactPosition(const QMouseEvent *event);
    QPointF imagePosition(const QMouseEvent *event) const;
    bool inPicture(QPointF widgetPosition) const;

    QImage image_;
    // The press this release ends fell on the border, so neither counts.
    bool pressOnBorder_ = false;
};
