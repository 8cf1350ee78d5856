#pragma once

#include "app/desktop.h"

#include <QList>
#include <QStringList>

// Records what the window asks of the desktop and answers open dialogs from a queue
// (an empty answer, or an empty queue, is a cancel).
class FakeDesktop final : public Desktop
{
public:
    struct Message
    {
        QString title, text;
    };

    QString openFile(QWidget *, const OpenDialogRequest &request) override
    {
        requests.append(request);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void message(QWidget *, const QString &title, const QString &text) override
    {
        messages.append({title, text});
    }
    void beep() override { ++beeps; }

    QStringList answers;
    QList<OpenDialogRequest> requests;
    QList<Message> messages;
    int beeps = 0;
};
