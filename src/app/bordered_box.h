#pragma once

#include <QFrame>

enum class BoxBorder { Flat, Sunken };

// A picture box's border: flat 1 pixel or sunken 2 pixels on each side.
void setBoxBorder(QFrame *box, BoxBorder border);

// A picture box that holds other controls. They live in its client area, the part inside its
// border: their left and top are measured from there and they are clipped to it, so the border
// stays whole on all four sides whatever they hold.
class BorderedBox : public QFrame
{
    Q_OBJECT

public:
    explicit BorderedBox(BoxBorder border, QWidget *parent = nullptr);

    QWidget *client() const { return client_; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *client_;
};
