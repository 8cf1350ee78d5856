#pragma once

#include "app/control_roster.h"
#include "app/placement.h"
#include "app/target_photo.h"
#include "colour/colour_word.h"
#include "correct/gains.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ActionButtons;
class BackgroundJob;
class Desktop;
class OneBoxDesktop;
class SampleSizeMenu;
class SeriesFlow;
struct LoadedPhoto;
struct SavedPhoto;
struct PassOutcome;
struct SkinSample;
class WorkProgress;

// The program's one window: owns every control, the target photo and the window state, and
// wires the controls' events to the work of the other folders. Reading, encoding, the pass and
// saving run as jobs off the window's thread; the window answers the user all the while.
class MainForm : public QWidget
{
    Q_OBJECT

public:
    explicit MainForm(Desktop &desktop, QWidget *parent = nullptr);
    ~MainForm() override;

    // Opens path as the photo to correct, as if it had been chosen through 导入将校正照片. A
    // photo still loading is dropped for it.
    void openTarget(const QString &path);
    // A photo handed over by another start; of a burst, only the newest is opened.
    void handOver(const QString &path);

    // For tests and benchmarks: how much pass work runs between two rounds of painting.
    void setPassFrameInterval(std::chrono::nanoseconds interval) { passFrameInterval_ = interval; }
    // For tests and benchmarks: no work of the window is under way.
    bool idle() const;
    TargetPhoto &targetPhoto() { return target_; }
    const Controls &controls() const { return ui_; }
    // For tests: how the metadata of a photo being opened is read (on a job's thread).
    void setMetadataReader(std::function<PhotoMetadata(const QString &)> read)
    {
        readMetadata_ = std::move(read);
    }

    // For tests: called on the pass's thread at each report, before the pass asks whether to go
    // on.
    void setPassHook(std::function<void(int row, const WorkProgress &)> hook)
    {
        passHook_ = std::move(hook);
    }

signals:
    // 退出 was pressed: the program should end now.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void wireControls();

    // Photos in and out.
    QString askForPhoto();
    void importReference();
    void importTarget();
    void loadTarget(const QString &path, bool reload);
    void targetLoaded(const QString &path, bool reload, LoadedPhoto photo);
    bool reportFailedLoad(const LoadedPhoto &photo);
    void readTargetMetadata();
    void reloadTarget();
    void saveTarget();
    void saved(const QString &from, const SavedPhoto &saved);
    void pressOn(PhotoBox *photo, QPointF position);
    void releaseOn(PhotoBox *photo, QPointF position);

    // The preview: its file and encoding rebuilt whenever the picture changes, its picture
    // decoded only while the frame is shown.
    void rebuildPreview();
    void decodePreview();
    void showPreviewFrame(bool show);
    void hidePreviewOnClick();

    // Colours and the correction.
    void probe(const PhotoBox *source, QPointF position, QLineEdit *readout);
    void pickReference();
    bool pickTarget();
    // The reference boxes' colour when a match of skin can aim at it: whole numbers, not all 0.
    std::optional<ChannelValues> usableReference() const;
    // "自动选取肤色": picks the skin of the largest face in a photo as a click on it would.
    bool canSearchSkin(const PhotoBox *photo) const;
    void searchSkin(PhotoBox *photo);
    void skinFound(PhotoBox *photo, qint64 pictureKey, const std::optional<SkinSample> &skin);
    void correct();
    void runCorrectionPass();
    void showPassProgress();
    void passEnded(PassOutcome outcome);
    void stopPass();

    // Jobs.
    void watch(BackgroundJob *job, bool showsProgress);
    void refreshHold();
    void showWorkProgress(double fraction);
    void endAllWork();

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
    TargetPhoto target_;
    ColourWord probe_ = 0;
    Channels targetChannels_;
    Gains gains_;
    DragAnchor anchor_;

    // The work under way; each is gone once it has ended.
    QPointer<BackgroundJob> referenceLoad_;
    QPointer<BackgroundJob> targetLoad_;
    QPointer<BackgroundJob> metadataRead_;
    QPointer<BackgroundJob> previewRender_;
    QPointer<BackgroundJob> previewDecode_;
    QPointer<BackgroundJob> save_;
    QPointer<BackgroundJob> pass_;
    QPointer<BackgroundJob> skinSearch_;
    bool searchingTarget_ = false;
    // The photo whose context menu is open; none for a swatch's.
    PhotoBox *menuPhoto_ = nullptr;
    std::function<PhotoMetadata(const QString &)> readMetadata_;
    std::function<void(int row, const WorkProgress &)> passHook_;

    // A hand-off waiting for the next turn of the event loop, where a burst has arrived whole.
    QString handedOver_;
    QTimer handOverTimer_;

    // The running pass reports the last row it finished and the last pixel it read; the window
    // shows them every frame.
    struct PassReport
    {
        std::atomic<int> row{-1};
        std::atomic<ColourWord> pixel{0};
    };
    std::shared_ptr<PassReport> passReport_;
    QTimer passTicker_;
    int firstUnpaintedRow_ = 0;
    std::chrono::nanoseconds passFrameInterval_ = std::chrono::milliseconds(16);

    // The progress bar as the work found it: minimum, maximum, value.
    std::optional<std::array<int, 3>> barBeforeWork_;
    bool placed_ = false;
};
