#pragma once

#include "app/bordered_box.h"

#include <QFrame>
#include <QImage>

// A picture box: shows a picture 1:1 inside its border, its own or one owned elsewhere, sizes
// itself to it, and reports the mouse in image pixels. Only the
// picture area counts: the pointer over the border moves, presses and clicks nothing. The right
// button opens the context menu and neither drags nor picks.
class PhotoBox : public QFrame
{
    Q_OBJECT

public:
    explicit PhotoBox(BoxBorder border, QWidget *parent = nullptr);

    // Shows a picture of its own.
    void setImage(QImage image);
    // Shows a picture its owner keeps alive for as long as it is shown.
    void showPicture(const QImage *picture);
    const QImage &image() const { return *shown_; }

    // Outlines a region of the picture, in image pixels, until another picture is shown or the
    // outline is cleared (an empty region).
    void setOutline(const QRect &region);
    const QRect &outline() const { return outline_; }

    // Repaints these rows of the picture.
    void updateRows(int first, int last);
    // Rows from `row` on are being rewritten on another thread: they keep what was last painted
    // and are not read. -1: every row may be painted.
    void holdRowsFrom(int row) { heldFrom_ = row; }

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

    QImage own_;
    const QImage *shown_ = &own_;
    int heldFrom_ = -1;
    QRect outline_;
    // The press this release ends fell on the border, so neither counts.
    bool pressOnBorder_ = false;
};
