#pragma once

#include <QImage>
#include <QWidget>

// Shows its picture stretched to its own size; a click on it is reported.
class PreviewImage : public QWidget
{
    Q_OBJECT

public:
    explicit PreviewImage(QWidget *parent = nullptr);

    void setImage(QImage image);
    const QImage &image() const { return image_; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage image_;
};
