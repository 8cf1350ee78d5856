#pragma once

#include <QMenu>

// The pictures' context menu: how large a square the probe averages. One choice for every
// picture, kept across runs in the user's settings; a single pixel until one is made. The
// target's menu may also offer the last correction for other photos.
class SampleSizeMenu : public QMenu
{
    Q_OBJECT

public:
    explicit SampleSizeMenu(QWidget *parent);

    // The side of the square, in image pixels: 1, 3, 5 or 11.
    int side() const { return side_; }

    // Opens the menu at a point of the screen, with "应用到其他照片…" when offerSeries and
    // "逐张匹配肤色…" when offerMatch.
    void popupAt(QPoint globalPosition, bool offerSeries, bool offerMatch = false);

signals:
    void seriesRequested();
    void matchSeriesRequested();

private:
    void choose(int side);

    int side_ = 1;
    QAction *seriesSeparator_;
    QAction *series_;
    QAction *matchSeries_;
};
