#include "app/application.h"

#include "app/fonts.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QProxyStyle>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {

// Fusion, with a check box label as close to its box as the desktop's classic one: the
// 81-pixel 效果预览 box must hold four 12 pt characters.
class CompactStyle : public QProxyStyle
{
public:
    CompactStyle()
        : QProxyStyle(u"Fusion"_s)
    {}
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_CheckBoxLabelSpacing)
            return 3;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

void setApplicationNames()
{
    // The name titles boxes shown without a title; no display name, or Qt would append it
    // to every window title.
    QCoreApplication::setApplicationName(u"Orvane"_s);
    QCoreApplication::setApplicationVersion(u"2012.00"_s);
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(u"io.github.orvane.Orvane"_s);
}

void configureApplication(QApplication &app)
{
    setApplicationNames();
    QApplication::setStyle(new CompactStyle);
    QApplication::setWindowIcon(QIcon(u":/icons/orvane.png"_s));
    installFontSubstitutions();

    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), u"qtbase"_s, u"_"_s,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}
