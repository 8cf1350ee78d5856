#pragma once

#include <QFrame>
#include <QImage>

#include <optional>

// A picture box: holds one persistent image that pixel passes rewrite in place, shows it
// 1:1 inside its border, sizes itself to it, and reports the mouse in image pixels.
class PhotoBox : public QFrame
{
    Q_OBJECT

public:
    enum class Border { Flat, Sunken };

    explicit PhotoBox(Border border, QWidget *parent = nullptr);

    void setImage(QImage image);
    const QImage &image() const { return image_; }
    // For in-place pixel work; call update() afterwards. Keep no other copy of the image
    // alive meanwhile, or the first write detaches (copies) all of it.
    QImage &image() { return image_; }

    // The pixel at an image position; nothing outside the image.
    std::optional<QRgb> pixelAt(QPointF position) const;

signals:
    // Positions in image pixels, relative to the image's top-left corner.
    void pointerMoved(QPointF position);
    void pressed(QPointF position);
    void released(QPointF position);
    // A left press and release on this box; emitted after released().
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPointF imagePosition(const QMouseEvent *event) const;

    QImage image_;
};
