#pragma once

#include "app/desktop.h"

#include <QList>
#include <QObject>
#include <QPointer>

// The desktop with at most one message box at a time. A box asked for while one shows (from a
// timer, a socket or a finished job running inside that box's event loop) waits its turn and
// shows when the first is closed, once however often it was asked for; the caller does not
// wait for it. Boxes can then never stack up inside each other's loops.
class OneBoxDesktop final : public QObject, public Desktop
{
    Q_OBJECT

public:
    explicit OneBoxDesktop(Desktop &desktop, QObject *parent = nullptr);

    QString openFile(QWidget *parent, const OpenDialogRequest &request) override;
    QStringList openFiles(QWidget *parent, const OpenDialogRequest &request) override;
    QString chooseFolder(QWidget *parent, const QString &title, const QString &folder) override;
    void message(QWidget *parent, const QString &title, const QString &text) override;
    void listMessage(QWidget *parent, const QString &title, const QString &text,
                     const QStringList &lines) override;
    void beep() override;

private:
    struct Box
    {
        QPointer<QWidget> parent; // a window may go while its box waits
        QString title, text;
        QStringList lines;
        bool list;

        bool sameAs(const Box &other) const
        {
            return list == other.list && title == other.title && text == other.text &&
                   lines == other.lines;
        }
    };
    void show(const Box &box);

    Desktop &desktop_;
    bool showing_ = false;
    Box current_ = {};
    QList<Box> waiting_;
};
