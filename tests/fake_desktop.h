#pragma once

#include "app/desktop.h"

#include <QList>
#include <QStringList>

// Records what the window asks of the desktop and answers open dialogs and folder choosers
// from queues (an empty answer, or an empty queue, is a cancel).
class FakeDesktop final : public Desktop
{
public:
    struct Message
    {
        QString title, text;
        QStringList lines;
    };

    QString openFile(QWidget *, const OpenDialogRequest &request) override
    {
        requests.append(request);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QStringList openFiles(QWidget *, const OpenDialogRequest &request) override
    {
        requests.append(request);
        return manyAnswers.isEmpty() ? QStringList() : manyAnswers.takeFirst();
    }
    QString chooseFolder(QWidget *, const QString &, const QString &) override
    {
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    void message(QWidget *, const QString &title, const QString &text) override
    {
        messages.append({title, text, {}});
    }
    void listMessage(QWidget *, const QString &title, const QString &text,
                     const QStringList &lines) override
    {
        messages.append({title, text, lines});
    }
    void beep() override { ++beeps; }

    QStringList answers;
    QList<QStringList> manyAnswers;
    QStringList folderAnswers;
    QList<OpenDialogRequest> requests;
    QList<Message> messages;
    int beeps = 0;
};
