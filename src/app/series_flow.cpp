#include "app/series_flow.h"

#include "app/desktop.h"
#include "app/metadata_names.h"

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
        return u"无法打开该图片文件"_s;
    case SeriesPhoto::Outcome::OutOfMemory:
        return u"内存不足"_s;
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
        return u"%1：%2"_s.arg(source, reasonText(photo));
    QString line = u"%1 → %2"_s.arg(source, QFileInfo(photo.saved).fileName());
    const QStringList lost = lostPartNames(photo.leftOut, PartNaming::Window);
    if (!lost.isEmpty())
        line += u"：照片已保存，但其中的%1未能保留。"_s.arg(lost.join(u"、"_s));
    return line;
}

} // namespace

QString writeFailureText(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return u"磁盘空间不足"_s;
    case EACCES:
    case EPERM:
    case EROFS:
        return u"没有写入权限"_s;
    case ENAMETOOLONG:
        return u"文件名过长"_s;
    default:
        return u"无法写入文件"_s;
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
}

void SeriesFlow::start()
{
    if (!available())
        return;
    const QStringList photos = desktop_.openFiles(window_, seriesOpenRequest());
    if (photos.isEmpty())
        return;
    const QString folder = desktop_.chooseFolder(window_, u"选择保存校正后照片的文件夹"_s,
                                                 QFileInfo(photos.constFirst()).absolutePath());
    if (folder.isEmpty())
        return;

    total_ = int(photos.size());
    cancel_ = false;
    progress_ = new QProgressDialog(window_);
    progress_->setWindowTitle(u"应用到其他照片"_s);
    progress_->setCancelButtonText(u"取消"_s);
    progress_->setRange(0, total_);
    progress_->setMinimumDuration(0);
    progress_->setAutoReset(false);
    progress_->setAutoClose(false);
    progress_->setWindowModality(Qt::NonModal);
    connect(progress_, &QProgressDialog::canceled, this, [this] { cancel_ = true; });
    showCount(0);
    progress_->show();

    const Gains gains = *gains_;
    thread_ = QThread::create([this, photos, folder, gains] {
        results_ = exportSeries(photos, folder, gains, cancel_, [this](int done, int, auto &) {
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
    progress_->setLabelText(u"正在校正并保存照片：%1 / %2"_s.arg(done).arg(total_));
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
    QString text = failed ? u"已保存 %1 张照片，%2 张未能保存。"_s.arg(saved).arg(failed)
                          : u"已保存 %1 张照片。"_s.arg(saved);
    if (cancel_)
        text.prepend(u"已取消。"_s);
    desktop_.listMessage(window_, u"提示"_s, text, lines);
    emit finished();
}
