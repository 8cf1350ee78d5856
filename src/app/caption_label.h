#pragma once

#include <QFont>
#include <QLabel>

// A label whose caption wraps onto lines set one em apart, its ink from the label's top. The
// layout gives a narrow label one em of height per character line, but the substituted
// Chinese fonts add leading to every line and draw larger than the faces the layout was made
// for, which would cut the last line. fitCaption() sets the caption in the label's height.
class CaptionLabel : public QLabel
{
    Q_OBJECT

public:
    explicit CaptionLabel(const QString &caption, QWidget *parent = nullptr);

    // Chooses the largest size, up to the label's font, at which the caption's ink fits the
    // label as it now stands; a later resize keeps it.
    void fitCaption();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Lays the caption out in `font` and this width; returns the height of its ink.
    int layOut(class QTextLayout &layout, const QFont &font, int width) const;

    QFont captionFont_;
};
