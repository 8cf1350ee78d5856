#include "app/application.h"

#include "app/fonts.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcessEnvironment>
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

bool prefersEnglish(const QProcessEnvironment &environment)
{
    for (const QString &name : {u"LANGUAGE"_s, u"LC_ALL"_s, u"LC_MESSAGES"_s, u"LANG"_s}) {
        const QString value = environment.value(name).section(u':', 0, 0);
        if (!value.isEmpty())
            return value.startsWith(u"en"_s);
    }
    return false;
}

std::unique_ptr<QTranslator> englishTranslator()
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(u":/i18n/orvane_en.qm"_s))
        return nullptr;
    return translator;
}

void configureApplication(QApplication &app, const QProcessEnvironment &environment)
{
    setApplicationNames();
    QApplication::setStyle(new CompactStyle);
    QApplication::setWindowIcon(QIcon(u":/icons/orvane.png"_s));
    installFontSubstitutions();

    const bool english = prefersEnglish(environment);
    if (english) {
        if (std::unique_ptr<QTranslator> window = englishTranslator()) {
            window->setParent(&app);
            QCoreApplication::installTranslator(window.release());
        }
    }
    // Qt's own buttons and dialogs follow the window, whatever the desktop's territory.
    const QLocale qtLanguage =
        english ? QLocale(QLocale::English) : QLocale(QLocale::Chinese, QLocale::China);
    auto *qt = new QTranslator(&app);
    if (qt->load(qtLanguage, u"qtbase"_s, u"_"_s,
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
}
