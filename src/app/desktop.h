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

// The dialog for photos to import: the four formats and then every photo format, JPG first in
// view, in the user's Pictures folder (home if none).
OpenDialogRequest photoOpenRequest();

// The same for a series of photos, every photo format first in view.
OpenDialogRequest seriesOpenRequest();

// The seam between the window and the desktop: modal dialogs, message boxes and the beep.
// Tests replace it with a recording fake so that nothing modal ever blocks them.
class Desktop
{
public:
    virtual ~Desktop() = default;

    // Returns the chosen file, or an empty string when the user cancels.
    virtual QString openFile(QWidget *parent, const OpenDialogRequest &request) = 0;
    // The same dialog with several files chosen at once; empty when the user cancels.
    virtual QStringList openFiles(QWidget *parent, const OpenDialogRequest &request) = 0;
    // An existing folder, or an empty string when the user cancels.
    virtual QString chooseFolder(QWidget *parent, const QString &title, const QString &folder) = 0;
    // A modal box with a single OK button.
    virtual void message(QWidget *parent, const QString &title, const QString &text) = 0;
    // message() followed by a list of lines, which may be long.
    virtual void listMessage(QWidget *parent, const QString &title, const QString &text,
                             const QStringList &lines) = 0;
    virtual void beep() = 0;
};
