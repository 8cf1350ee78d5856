#pragma once

#include "app/control_roster.h"
#include "colour/colour_word.h"
#include "correct/gains.h"
#include "output/metadata.h"
#include "photo/placement.h"

#include <QImage>
#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>

class ActionButtons;
class Desktop;
class SampleSizeMenu;
class SeriesFlow;

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

    // Opens path as the photo to correct, as if it had been chosen through 导入将校正照片.
    void openTarget(const QString &path);

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
    // The photo at path; nothing when it cannot be read (the user is told).
    std::optional<QImage> readPhoto(const QString &path);
    void importReference();
    void importTarget();
    void pressOn(PhotoBox *photo, QPointF position);
    void releaseOn(PhotoBox *photo, QPointF position);
    void reloadTarget();
    void saveTarget();
    // The target as it will be saved, sized for the preview frame; nothing when memory runs
    // out (the user is told).
    struct Preview
    {
        QImage image;
        QSize frame;
    };
    std::optional<Preview> makePreview(const QImage &target);
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

    // The running pass, if any: a handler between its rows may ask it to stop.
    bool stopPass_ = false;
    int firstUnpaintedRow_ = 0;
    std::chrono::nanoseconds passFrameInterval_ = std::chrono::milliseconds(16);
    bool placed_ = false;
};
