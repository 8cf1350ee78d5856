#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// What the open-file dialog is asked to show.
struct OpenDialogRequest
{
    QStringList filters;
    int selectedFilter = 0; // index into filters
    QString folder;
};

// The seam between the window and the desktop: modal dialogs, message boxes and the beep.
// Tests replace it with a recording fake so that nothing modal ever blocks them.
class Desktop
{
public:
    virtual ~Desktop() = default;

    // Returns the chosen file, or an empty string when the user cancels.
    virtual QString openFile(QWidget *parent, const OpenDialogRequest &request) = 0;
    // A modal box with a single OK button.
    virtual void message(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual void beep() = 0;
};
