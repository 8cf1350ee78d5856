#include "app/series_flow.h"

#include "app/desktop.h"
#include "app/metadata_names.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>
#include <QThread>
#include <QWidget>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

QString reasonText(const SeriesPhoto &photo)
{
    switch (photo.outcome) {
    case SeriesPhoto::Outcome::Unreadable:
        return QCoreApplication::translate("SeriesFlow", "无法打开该图片文件");
    case SeriesPhoto::Outcome::OutOfMemory:
        return QCoreApplication::translate("SeriesFlow", "内存不足");
    case SeriesPhoto::Outcome::NoFace:
        return QCoreApplication::translate("SeriesFlow", "未找到人脸");
    case SeriesPhoto::Outcome::GainsTooLarge:
        return QCoreApplication::translate("SeriesFlow", "需校正色差过大");
    case SeriesPhoto::Outcome::NotWritten:
        break;
    case SeriesPhoto::Outcome::Saved:
    case SeriesPhoto::Outcome::Cancelled:
        return {};
    }
    return writeFailureText(photo.error);
}

// One photo in the summary, in the words of 保存's note when metadata stayed behind.
QString photoLine(const SeriesPhoto &photo)
{
    const QString source = QFileInfo(photo.source).fileName();
    if (photo.outcome != SeriesPhoto::Outcome::Saved)
        return QCoreApplication::translate("SeriesFlow", "%1：%2").arg(source, reasonText(photo));
    QString line = u"%1 → %2"_s.arg(source, QFileInfo(photo.saved).fileName());
    const QStringList lost = lostPartNames(photo.leftOut, PartNaming::Window);
    if (!lost.isEmpty())
        line += QCoreApplication::translate("SeriesFlow", "：照片已保存，但其中的%1未能保留。")
                    .arg(lost.join(QCoreApplication::translate(
                        "SeriesFlow", "、", "between the names of metadata parts")));
    return line;
}

} // namespace

QString writeFailureText(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QCoreApplication::translate("SeriesFlow", "磁盘空间不足");
    case EACCES:
    case EPERM:
    case EROFS:
        return QCoreApplication::translate("SeriesFlow", "没有写入权限");
    case ENAMETOOLONG:
        return QCoreApplication::translate("SeriesFlow", "文件名过长");
    default:
        return QCoreApplication::translate("SeriesFlow", "无法写入文件");
    }
}

SeriesFlow::SeriesFlow(Desktop &desktop, QWidget *window)
    : QObject(window)
    , desktop_(desktop)
    , window_(window)
{}

SeriesFlow::~SeriesFlow()
{
    cancel_ = true;
    if (thread_)
        thread_->wait();
    delete thread_; // finish(), which would, never runs now
}

void SeriesFlow::start()
{
    if (available())
        run(*gains_);
}

void SeriesFlow::startMatching(const ChannelValues &reference)
{
    if (!running())
        run(MatchSkin{reference});
}

void SeriesFlow::run(const SeriesCorrection &correction)
{
    const QStringList photos = desktop_.openFiles(window_, seriesOpenRequest());
    if (photos.isEmpty())
        return;
    const QString folder = desktop_.chooseFolder(window_, tr("选择保存校正后照片的文件夹"),
                                                 QFileInfo(photos.constFirst()).absolutePath());
    if (folder.isEmpty())
        return;

    total_ = int(photos.size());
    cancel_ = false;
    progress_ = new QProgressDialog(window_);
    progress_->setWindowTitle(tr("应用到其他照片"));
    progress_->setCancelButtonText(tr("取消"));
    progress_->setRange(0, total_);
    progress_->setMinimumDuration(0);
    progress_->setAutoReset(false);
    progress_->setAutoClose(false);
    progress_->setWindowModality(Qt::NonModal);
    connect(progress_, &QProgressDialog::canceled, this, [this] { cancel_ = true; });
    showCount(0);
    progress_->show();

    thread_ = QThread::create([this, photos, folder, correction] {
        results_ = exportSeries(photos, folder, correction, cancel_, [this](int done, int, auto &) {
            QMetaObject::invokeMethod(this, [this, done] { showCount(done); });
        });
    });
    connect(thread_, &QThread::finished, this, &SeriesFlow::finish);
    thread_->start();
    if (!thread_->isRunning() && !thread_->isFinished()) {
        // No thread to be had: told at once, rather than a dialog that never ends.
        for (const QString &photo : photos) {
            SeriesPhoto notSaved;
            notSaved.source = photo;
            notSaved.outcome = SeriesPhoto::Outcome::OutOfMemory;
            results_.append(notSaved);
        }
        finish();
    }
}

void SeriesFlow::showCount(int done)
{
    if (!progress_ || cancel_)
        return;
    progress_->setLabelText(tr("正在校正并保存照片：%1 / %2").arg(done).arg(total_));
    progress_->setValue(done);
}

void SeriesFlow::finish()
{
    delete thread_;
    thread_ = nullptr;
    delete progress_;

    int saved = 0;
    int failed = 0;
    QStringList lines; // every photo worked on, in the order chosen
    for (const SeriesPhoto &photo : std::as_const(results_)) {
        if (photo.outcome == SeriesPhoto::Outcome::Cancelled)
            continue;
        ++(photo.outcome == SeriesPhoto::Outcome::Saved ? saved : failed);
        lines << photoLine(photo);
    }
    results_.clear();
    QString text = failed ? tr("已保存 %1 张照片，%2 张未能保存。").arg(saved).arg(failed)
                          : tr("已保存 %1 张照片。").arg(saved);
    if (cancel_)
        text.prepend(tr("已取消。"));
    desktop_.listMessage(window_, tr("提示"), text, lines);
    emit finished();
}
