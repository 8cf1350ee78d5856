#include "app/qt_desktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

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
    QPointer<QFileDialog> dialog = makeOpenDialog(parent, request);
    QString chosen;
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        chosen = dialog->selectedFiles().constFirst();
    delete dialog;
    return chosen;
}

void QtDesktop::message(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void QtDesktop::beep()
{
    QApplication::beep();
}
