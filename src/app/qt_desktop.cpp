#include "app/qt_desktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace {

// More lines than this go into the box's scrolling details rather than its face.
constexpr int kLinesShown = 12;

QStringList runOpenDialog(QWidget *parent, const OpenDialogRequest &request,
                          QFileDialog::FileMode mode)
{
    QPointer<QFileDialog> dialog = QtDesktop::makeOpenDialog(parent, request);
    dialog->setFileMode(mode);
    QStringList chosen;
    if (dialog->exec() == QDialog::Accepted)
        chosen = dialog->selectedFiles();
    delete dialog;
    return chosen;
}

} // namespace

QFileDialog *QtDesktop::makeOpenDialog(QWidget *parent, const OpenDialogRequest &request)
{
    auto *dialog = new QFileDialog(parent);
    // The native dialog matches filters case-sensitively, so "*.BMP" would hide "photo.bmp".
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(request.filters);
    dialog->setDirectory(request.folder);
    if (request.selectedFilter >= 0 && request.selectedFilter < request.filters.size())
        dialog->selectNameFilter(request.filters.at(request.selectedFilter));
    return dialog;
}

QString QtDesktop::openFile(QWidget *parent, const OpenDialogRequest &request)
{
    return runOpenDialog(parent, request, QFileDialog::ExistingFile).value(0);
}

QStringList QtDesktop::openFiles(QWidget *parent, const OpenDialogRequest &request)
{
    return runOpenDialog(parent, request, QFileDialog::ExistingFiles);
}

QString QtDesktop::chooseFolder(QWidget *parent, const QString &title, const QString &folder)
{
    return QFileDialog::getExistingDirectory(
        parent, title, folder, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

void QtDesktop::message(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void QtDesktop::listMessage(QWidget *parent, const QString &title, const QString &text,
                            const QStringList &lines)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    if (lines.size() > kLinesShown)
        box.setDetailedText(lines.join(u'\n'));
    else
        box.setInformativeText(lines.join(u'\n'));
    box.exec();
}

void QtDesktop::beep()
{
    QApplication::beep();
}
