#include "app/one_box_desktop.h"

#include <QWidget>

#include <algorithm>

OneBoxDesktop::OneBoxDesktop(Desktop &desktop, QObject *parent)
    : QObject(parent)
    , desktop_(desktop)
{}

QString OneBoxDesktop::openFile(QWidget *parent, const OpenDialogRequest &request)
{
    return desktop_.openFile(parent, request);
}

QStringList OneBoxDesktop::openFiles(QWidget *parent, const OpenDialogRequest &request)
{
    return desktop_.openFiles(parent, request);
}

QString OneBoxDesktop::chooseFolder(QWidget *parent, const QString &title, const QString &folder)
{
    return desktop_.chooseFolder(parent, title, folder);
}

void OneBoxDesktop::message(QWidget *parent, const QString &title, const QString &text)
{
    show({parent, title, text, {}, false});
}

void OneBoxDesktop::listMessage(QWidget *parent, const QString &title, const QString &text,
                                const QStringList &lines)
{
    show({parent, title, text, lines, true});
}

void OneBoxDesktop::beep()
{
    desktop_.beep();
}

void OneBoxDesktop::show(const Box &box)
{
    if (showing_) {
        const auto same = [&box](const Box &other) { return other.sameAs(box); };
        if (!current_.sameAs(box) && std::none_of(waiting_.cbegin(), waiting_.cend(), same))
            waiting_.append(box);
        return;
    }
    showing_ = true;
    current_ = box;
    for (;;) {
        if (current_.list)
            desktop_.listMessage(current_.parent, current_.title, current_.text, current_.lines);
        else
            desktop_.message(current_.parent, current_.title, current_.text);
        if (waiting_.isEmpty())
            break;
        current_ = waiting_.takeFirst();
    }
    showing_ = false;
    current_ = {};
}
