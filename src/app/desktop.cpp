#include "app/desktop.h"

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
        {u"BMP图像(*.BMP)"_s, u"JPG图像(*.jpg)"_s, u"GIF图像(*.gif)"_s, u"ICO图像(*.ico)"_s,
         u"所有照片(*.jpg *.jpeg *.png *.bmp *.gif *.ico *.tif *.tiff *.webp *.heic *.heif)"_s},
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
