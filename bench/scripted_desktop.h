#pragma once

#include "app/desktop.h"

#include <QWidget>

#include <cstdio>

// Answers every open dialog with one file and counts beeps; any box is unexpected in a
// benchmark, so it is printed and remembered.
class ScriptedDesktop final : public Desktop
{
public:
    QString openFile(QWidget *, const OpenDialogRequest &) override { return answer; }
    QStringList openFiles(QWidget *, const OpenDialogRequest &) override { return {}; }
    QString chooseFolder(QWidget *, const QString &, const QString &) override { return {}; }
    void listMessage(QWidget *, const QString &, const QString &text, const QStringList &) override
    {
        message(nullptr, {}, text);
    }
    void message(QWidget *, const QString &, const QString &text) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        failed = true;
    }
    void beep() override { ++beeps; }

    QString answer;
    int beeps = 0;
    bool failed = false;
};
