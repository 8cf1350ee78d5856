#include "app/lifecycle.h"

#include "app/desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace Lifecycle {

QString runtimeFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    const QString folder = base + u"/Orvane"_s;
    if (!QFileInfo::exists(folder)) {
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return folder;
}

QString temporaryPreviewPath()
{
    return runtimeFolder() + u"/temp.jpg"_s;
}

void removeTemporaryPreview()
{
    const QString path = temporaryPreviewPath();
    if (QFileInfo(path).isFile())
        QFile::remove(path);
}

QString usageGuideTitle()
{
    return u"使用指南"_s;
}

QString usageGuideText()
{
    return u"本软件可快速把MM光线不好或偏色的照片进行校正,方法是分别导入一理想的图片("
           u"也可直接在皮肤样本中选择)"
           u"和希望调整的MM照片,然后用鼠标选择理想照片(或皮肤样本)"
           u"中最美的肤色和要调整到该肤色的照片中的相应位置,"
           u"点击校正即可,不满意可刷新后再试,直到满意后点击保存即可把该照片保存为jpeg格式图片"
           u"(注意:保存的图片将替换原来的图片且不可恢复)！"_s;
}

InstanceLock::InstanceLock(const QString &path)
    : lock_(path)
{
    // Never judge a live instance's lock by its age; a dead owner is still detected.
    lock_.setStaleLockTime(0);
}

bool InstanceLock::tryAcquire()
{
    return lock_.tryLock(0);
}

QString instanceSocketPath()
{
    return runtimeFolder() + u"/instance.socket"_s;
}

QString InstanceLock::defaultPath()
{
    return runtimeFolder() + u"/instance.lock"_s;
}

bool claimSingleInstance(InstanceLock &lock, Desktop &desktop,
                         const std::function<bool()> &handOver)
{
    if (lock.tryAcquire())
        return true;
    if (handOver && handOver())
        return false;
    desktop.message(nullptr, QCoreApplication::applicationName(), u"你已经运行这个应用程序了"_s);
    return false;
}

} // namespace Lifecycle
