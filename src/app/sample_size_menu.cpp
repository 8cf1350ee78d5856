#include "app/sample_size_menu.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QSettings>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

constexpr std::array sides{1, 3, 5, 11};
constexpr auto settingKey = "sampleSize";

// The program names no organisation; its own name stands in, so the file is Orvane/Orvane.conf.
QString settingsName()
{
    return QCoreApplication::applicationName();
}

} // namespace

SampleSizeMenu::SampleSizeMenu(QWidget *parent)
    : QMenu(tr("取样大小"), parent)
{
    const int kept =
        QSettings(settingsName(), settingsName()).value(QLatin1StringView(settingKey), 1).toInt();
    if (std::ranges::find(sides, kept) != sides.end())
        side_ = kept;

    addSection(title());
    auto *group = new QActionGroup(this);
    for (const int side : sides) {
        QAction *action = addAction(side == 1 ? tr("单个像素") : tr("%1×%1 平均").arg(side));
        action->setCheckable(true);
        action->setChecked(side == side_);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, side] { choose(side); });
    }
    skinSeparator_ = new QAction(this);
    skinSeparator_->setSeparator(true);
    skinSearch_ = new QAction(tr("自动选取肤色"), this);
    seriesSeparator_ = new QAction(this);
    seriesSeparator_->setSeparator(true);
    series_ = new QAction(tr("应用到其他照片…"), this);
    // Not to the menu: a menu cuts every connection from an action to itself when it takes
    // the action away.
    connect(series_, &QAction::triggered, series_, [this] { emit seriesRequested(); });
    connect(skinSearch_, &QAction::triggered, skinSearch_, [this] { emit skinSearchRequested(); });
    matchSeries_ = new QAction(tr("逐张匹配肤色…"), this);
    connect(matchSeries_, &QAction::triggered, matchSeries_,
            [this] { emit matchSeriesRequested(); });
}

void SampleSizeMenu::popupAt(QPoint globalPosition, MenuOffers offers)
{
    // Added and taken away rather than hidden, so that the menu holds only what it shows.
    for (QAction *action : {skinSeparator_, skinSearch_, seriesSeparator_, series_, matchSeries_})
        removeAction(action);
    if (offers.skinSearch)
        addActions({skinSeparator_, skinSearch_});
    if (offers.series || offers.matchedSeries)
        addAction(seriesSeparator_);
    if (offers.series)
        addAction(series_);
    if (offers.matchedSeries)
        addAction(matchSeries_);
    popup(globalPosition);
}

void SampleSizeMenu::choose(int side)
{
    side_ = side;
    QSettings(settingsName(), settingsName()).setValue(QLatin1StringView(settingKey), side);
}
