#pragma once

#include "correct/gains.h"
#include "output/series_export.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <optional>

class Desktop;
class QProgressDialog;
class QThread;
class QWidget;

// Why a photo was not written, in the user's words, from the errno its writing ended with.
QString writeFailureText(int error);

// "应用到其他照片…": the last pass's correction over photos the user chooses, saved into a
// folder; or "逐张匹配肤色…": each of them corrected from its own skin toward a reference. The work
// runs off the GUI thread behind a progress dialog that can cancel it, so the window stays live;
// the window's own photos, boxes and buttons are never touched. One box sums up at the end, with a
// line for each photo worked on: its new name or why it has none.
class SeriesFlow : public QObject
{
    Q_OBJECT

public:
    SeriesFlow(Desktop &desktop, QWidget *window);
    // Cancels a running series and waits for the photos in the works, none of which is written.
    ~SeriesFlow() override;

    // The gains of the last completed pass; nothing when there is none.
    void setGains(std::optional<Gains> gains) { gains_ = gains; }
    // Whether the menu may offer a series now: a pass has completed and no series is running.
    bool available() const { return gains_ && !thread_; }
    bool running() const { return thread_; }

    // Ask for the photos and the folder, then start; a cancel in either dialog ends quietly.
    void start();
    // Each photo from its own skin toward reference; no pass needed.
    void startMatching(const ChannelValues &reference);

signals:
    // The series ended and its summary was shown.
    void finished();

private:
    void run(const SeriesCorrection &correction);
    void showCount(int done);
    void finish();

    Desktop &desktop_;
    QWidget *window_;
    std::optional<Gains> gains_;
    std::atomic<bool> cancel_ = false;
    QThread *thread_ = nullptr;
    QPointer<QProgressDialog> progress_;
    int total_ = 0;
    QList<SeriesPhoto> results_; // written by the worker, read once it has finished
};
