#pragma once

#include "app/desktop.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <functional>

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
        listMessage(nullptr, title, text, {});
    }
    void listMessage(QWidget *, const QString &title, const QString &text,
                     const QStringList &lines) override
    {
        messages.append({title, text, lines});
        // What reaches the window while a real box waits for its OK.
        ++boxesOpen;
        deepest = std::max(deepest, boxesOpen);
        if (const auto events = std::exchange(whileBoxShows, {}))
            events();
        --boxesOpen;
    }
    void beep() override { ++beeps; }
    // Each message as "title|text".
    QStringList texts() const
    {
        QStringList out;
        for (const Message &m : messages)
            out << m.title + u'|' + m.text;
        return out;
    }

    QStringList answers;
    QList<QStringList> manyAnswers;
    QStringList folderAnswers;
    QList<OpenDialogRequest> requests;
    QList<Message> messages;
    int beeps = 0;
    std::function<void()> whileBoxShows; // once, inside the next box
    int boxesOpen = 0, deepest = 0;
};
