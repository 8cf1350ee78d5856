#include "app/desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

OpenDialogRequest photoOpenRequest()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return {
        {QCoreApplication::translate("Desktop", "BMP图像(*.BMP)"),
         QCoreApplication::translate("Desktop", "JPG图像(*.jpg)"),
         QCoreApplication::translate("Desktop", "GIF图像(*.gif)"),
         QCoreApplication::translate("Desktop", "ICO图像(*.ico)"),
         QCoreApplication::translate(
             "Desktop",
             "所有照片(*.jpg *.jpeg *.png *.bmp *.gif *.ico *.tif *.tiff *.webp *.heic *.heif)")},
        1,
        folder,
    };
}

OpenDialogRequest seriesOpenRequest()
{
    OpenDialogRequest request = photoOpenRequest();
    request.selectedFilter = int(request.filters.size()) - 1;
    return request;
}
