#pragma once

#include "app/control_roster.h"
#include "app/placement.h"
#include "colour/colour_word.h"
#include "correct/gains.h"
#include "output/metadata.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ActionButtons;
class Desktop;
class OneBoxDesktop;
class SampleSizeMenu;
class SeriesFlow;
class WorkProgress;

// The program's one window: owns every control and the window state, and wires the
// controls' events to the work of the other folders.
class MainForm : public QWidget
{
    Q_OBJECT

public:
    explicit MainForm(Desktop &desktop, QWidget *parent = nullptr);
    ~MainForm() override;

    // For tests and benchmarks: how much pass work runs between two rounds of painting.
    void setPassFrameInterval(std::chrono::nanoseconds interval) { passFrameInterval_ = interval; }
    // For tests and benchmarks: the controls, to press and read as a user would.
    const Controls &controls() const { return ui_; }

    // Opens path as the photo to correct, as if it had been chosen through 导入将校正照片.
    void openTarget(const QString &path);
    // A photo handed over by another start: opened once the window is free, the newest of a
    // burst only, and an older one still loading is dropped without a word.
    void handOver(const QString &path);

signals:
    // 退出 was pressed: the program should end now.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void wireControls();

    // Photos in and out. Reading, encoding and saving run off the window's thread while it
    // keeps painting (user input waits), one piece of work at a time.
    void runInBackground(int stages, const std::function<void(WorkProgress &)> &work);
    void openPendingWhenFree();
    void showWorkProgress(double fraction);
    QString askForPhoto();
    // The photo at path; nothing when it cannot be read (the user is told).
    std::optional<QImage> readPhoto(const QString &path);
    struct Preview
    {
        QImage image;
        QSize frame;
        QByteArray jpeg; // what a save of the unchanged target writes
    };
    struct Target
    {
        QImage image;
        Preview preview;
        PhotoMetadata metadata;
    };
    // The photo at path with its preview and metadata; nothing when it cannot be read or memory
    // runs out (the user is told).
    std::optional<Target> readTarget(const QString &path);
    void showTarget(Target target);
    void importReference();
    void importTarget();
    void pressOn(PhotoBox *photo, QPointF position);
    void releaseOn(PhotoBox *photo, QPointF position);
    void reloadTarget();
    void saveTarget();
    // The target as it will be saved, sized for the preview frame; nothing when memory runs
    // out (the user is told).
    std::optional<Preview> makePreview(const QImage &target);
    QSize previewFrameFor(QSize target) const;
    void showPreview(Preview preview);
    void hidePreviewOnClick();

    // Colours and the correction.
    void probe(const PhotoBox *source, QPointF position, QLineEdit *readout);
    void pickReference();
    void pickTarget();
    void correct();
    void runCorrectionPass();
    bool showPassProgress(int row, int lastRow, ColourWord lastPixel);

    void notify(const QString &text);
    void showUnreadablePhoto();
    void showInvalidNumber();
    void showOutOfMemory();
    void showUsageGuide();
    void exitProgram();

    OneBoxDesktop *boxes_;
    Desktop &desktop_;
    Controls ui_;
    std::unique_ptr<ActionButtons> actions_;
    SampleSizeMenu *sampleMenu_;
    SeriesFlow *series_;

    // Window state.
    ColourWord probe_ = 0;
    Channels targetChannels_;
    Gains gains_;
    DragAnchor anchor_;
    QString targetPath_;
    // What the target's file carried when it was read, for the save to keep.
    PhotoMetadata targetMetadata_;
    // The preview's encoding of the target, and the target's cacheKey() when it was made: any
    // write to the picture changes the key, so equal keys mean 保存 may write these bytes.
    QByteArray targetJpeg_;
    qint64 targetJpegKey_ = 0;

    // Work off the window's thread is under way; a target handed over meanwhile waits.
    bool working_ = false;
    QString pendingTarget_;
    bool pendingScheduled_ = false;
    // The window was closed or left: no temporary preview is written any more.
    bool closed_ = false;
    // The progress bar as the work found it: minimum, maximum, value.
    std::optional<std::array<int, 3>> barBeforeWork_;

    // The running pass, if any: a handler between its rows may ask it to stop.
    bool stopPass_ = false;
    int firstUnpaintedRow_ = 0;
    std::chrono::nanoseconds passFrameInterval_ = std::chrono::milliseconds(16);
    bool placed_ = false;
};
