#include "app/lifecycle.h"

#include "app/desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Lifecycle {

namespace {

// Made if missing; otherwise used only when it is a real folder of this user's that nobody
// else may enter, since anyone who can write there could plant a link for us to write through.
bool isPrivateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) == 0)
        return ::chmod(native.constData(), 0700) == 0; // whatever the umask made of it
    struct stat status = {};
    return errno == EEXIST && ::lstat(native.constData(), &status) == 0 &&
           S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 0077) == 0;
}

} // namespace

QString runtimeFolder()
{
    // Qt gives no runtime location when the one it finds belongs to someone else.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && isPrivateFolder(runtime + u"/Orvane"_s))
        return runtime + u"/Orvane"_s;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache) && isPrivateFolder(cache + u"/Orvane"_s))
        return cache + u"/Orvane"_s;
    return {};
}

QString temporaryPreviewPath()
{
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : folder + u"/temp.jpg"_s;
}

void removeTemporaryPreview()
{
    const QString path = temporaryPreviewPath();
    if (!path.isEmpty() && QFileInfo(path).isFile())
        QFile::remove(path);
}

QString usageGuideTitle()
{
    return QCoreApplication::translate("Lifecycle", "使用指南");
}

QString usageGuideText()
{
    return QCoreApplication::translate(
        "Lifecycle",
        "本软件可快速把MM光线不好或偏色的照片进行校正,方法是分别导入一理想的图片("
        "也可直接在皮肤样本中选择)"
        "和希望调整的MM照片,然后用鼠标选择理想照片(或皮肤样本)"
        "中最美的肤色和要调整到该肤色的照片中的相应位置,"
        "点击校正即可,不满意可刷新后再试,直到满意后点击保存即可把该照片保存为jpeg格式图片"
        "(注意:保存的图片将替换原来的图片且不可恢复)！");
}

InstanceLock::InstanceLock(const QString &path)
{
    if (path.isEmpty())
        return;
    lock_ = std::make_unique<QLockFile>(path);
    // Never judge a live instance's lock by its age; a dead owner is still detected.
    lock_->setStaleLockTime(0);
}

InstanceLock::Claim InstanceLock::tryAcquire()
{
    if (!lock_)
        return Claim::Unavailable;
    if (lock_->tryLock(0))
        return Claim::Acquired;
    if (lock_->error() == QLockFile::LockFailedError && ownerIsAlive())
        return Claim::HeldByLiveInstance;
    return Claim::Unavailable;
}

// A dead instance's lock that could not be removed (a read-only folder) fails like a live
// one. Only a lock whose owner is known to be gone counts as dead: one still being written by
// an instance starting at the same moment must keep this one out.
bool InstanceLock::ownerIsAlive() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock_->getLockInfo(&pid, &host, &application) || pid <= 0 ||
        host != QSysInfo::machineHostName())
        return true;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

QString instanceSocketPath()
{
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : folder + u"/instance.socket"_s;
}

QString InstanceLock::defaultPath()
{
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : folder + u"/instance.lock"_s;
}

bool claimSingleInstance(InstanceLock &lock, Desktop &desktop,
                         const std::function<bool()> &handOver)
{
    if (lock.tryAcquire() != InstanceLock::Claim::HeldByLiveInstance)
        return true;
    if (handOver && handOver())
        return false;
    desktop.message(nullptr, QCoreApplication::applicationName(),
                    QCoreApplication::translate("Lifecycle", "你已经运行这个应用程序了"));
    return false;
}

} // namespace Lifecycle
