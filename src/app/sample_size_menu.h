#pragma once

#include <QMenu>

// What the pictures' menu offers beside the sizes: "自动选取肤色", "应用到其他照片…" and
// "逐张匹配肤色…".
struct MenuOffers
{
    bool skinSearch = false;
    bool series = false;
    bool matchedSeries = false;
};

// The pictures' context menu: how large a square the probe averages. One choice for every
// picture, kept across runs in the user's settings; a single pixel until one is made. A photo's
// menu may also offer to pick its skin by itself, and the target's the last correction for
// other photos.
class SampleSizeMenu : public QMenu
{
    Q_OBJECT

public:
    explicit SampleSizeMenu(QWidget *parent);

    // The side of the square, in image pixels: 1, 3, 5 or 11.
    int side() const { return side_; }

    // Opens the menu at a point of the screen.
    void popupAt(QPoint globalPosition, MenuOffers offers = {});

signals:
    void seriesRequested();
    void matchSeriesRequested();
    void skinSearchRequested();

private:
    void choose(int side);

    int side_ = 1;
    QAction *skinSeparator_;
    QAction *skinSearch_;
    QAction *seriesSeparator_;
    QAction *series_;
    QAction *matchSeries_;
};
