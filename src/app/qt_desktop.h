#pragma once

#include "app/desktop.h"

class QFileDialog;

// The real desktop: Qt's own dialogs and message boxes.
class QtDesktop final : public Desktop
{
public:
    QString openFile(QWidget *parent, const OpenDialogRequest &request) override;
    QStringList openFiles(QWidget *parent, const OpenDialogRequest &request) override;
    QString chooseFolder(QWidget *parent, const QString &title, const QString &folder) override;
    void message(QWidget *parent, const QString &title, const QString &text) override;
    void listMessage(QWidget *parent, const QString &title, const QString &text,
                     const QStringList &lines) override;
    void beep() override;

    // Builds the dialog openFile() shows; separate so that its settings can be checked.
    static QFileDialog *makeOpenDialog(QWidget *parent, const OpenDialogRequest &request);
};
