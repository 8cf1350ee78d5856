#include "app/bordered_box.h"

void setBoxBorder(QFrame *box, BoxBorder border)
{
    if (border == BoxBorder::Flat) {
        box->setFrameStyle(QFrame::Box | QFrame::Plain);
        box->setLineWidth(1);
    } else {
        box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        box->setLineWidth(2);
    }
}

BorderedBox::BorderedBox(BoxBorder border, QWidget *parent)
    : QFrame(parent)
    , client_(new QWidget(this))
{
    setBoxBorder(this, border);
    client_->setGeometry(contentsRect());
}

void BorderedBox::resizeEvent(QResizeEvent *event)
{
    client_->setGeometry(contentsRect());
    QFrame::resizeEvent(event);
}
