#include "app/caption_label.h"

#include <QPainter>
#include <QTextLayout>

CaptionLabel::CaptionLabel(const QString &caption, QWidget *parent)
    : QLabel(caption, parent)
    , captionFont_(font())
{
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

int CaptionLabel::layOut(QTextLayout &layout, const QFont &font, int width) const
{
    const QFontMetrics metrics(font);
    const int em = QFontInfo(font).pixelSize();
    const QRect ink = metrics.tightBoundingRect(text());
    layout.setText(text());
    layout.setFont(font);
    QTextOption option(alignment());
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        // Baselines one em apart, the first where the ink's top meets the label's.
        line.setPosition(QPointF(0, lines * em - ink.top() - line.ascent()));
        ++lines;
    }
    layout.endLayout();
    return lines == 0 ? 0 : (lines - 1) * em + ink.height();
}

void CaptionLabel::fitCaption()
{
    captionFont_ = font();
    const int height = contentsRect().height();
    for (int pixels = QFontInfo(captionFont_).pixelSize(); pixels > 6; --pixels) {
        QTextLayout layout;
        if (layOut(layout, captionFont_, contentsRect().width()) <= height)
            break;
        captionFont_.setPixelSize(pixels - 1);
    }
    update();
}

void CaptionLabel::paintEvent(QPaintEvent *)
{
    QTextLayout layout;
    layOut(layout, captionFont_, contentsRect().width());
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    layout.draw(&painter, contentsRect().topLeft());
}
