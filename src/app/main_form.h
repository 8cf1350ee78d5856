#pragma once

#include "app/correction_run.h"
#include "colour/colour_word.h"
#include "correct/gains.h"
#include "photo/placement.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>

class ActionButtons;
class Desktop;
class PhotoBox;
class PreviewImage;
class QCheckBox;
class QFrame;
class QLineEdit;
class QProgressBar;
class QPushButton;
struct ChannelTexts;

// The program's one window: owns every control and the window state, and wires the
// controls' events to the work of the other folders.
class MainForm : public QWidget
{
    Q_OBJECT

public:
    explicit MainForm(Desktop &desktop, QWidget *parent = nullptr);
    ~MainForm() override;

    // For tests and benchmarks: how much pass work runs between two rounds of painting.
    void setPassFrameInterval(std::chrono::nanoseconds interval);

signals:
    // 退出 was pressed: the program should end now.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    template <typename T> T *control(const char *name) const;
    void wireControls();

    // Photos in and out.
    struct ChosenPhoto
    {
        QString path;
        QImage image;
    };
    QString askForPhoto();
    // The photo the user picks, read; nothing when cancelled or unreadable (the user is told).
    std::optional<ChosenPhoto> choosePhoto();
    void importReference();
    void importTarget();
    void pressOn(PhotoBox *photo, QPointF position);
    void releaseOn(PhotoBox *photo, QPointF position);
    void reloadTarget();
    void saveTarget();
    void rebuildPreview();
    void showPreview(bool shown);
    void hidePreviewOnClick();

    // Colours and the correction.
    void probe(const PhotoBox *source, QPointF position, QLineEdit *readout);
    void pickReference();
    void pickTarget();
    void correct();
    void runCorrectionPass();

    ChannelTexts texts(QLineEdit *red, QLineEdit *green, QLineEdit *blue) const;
    void notify(const QString &text);
    void showUnreadablePhoto();
    void showInvalidNumber();
    void stopPass();
    void showUsageGuide();
    void exitProgram();

    Desktop &desktop_;
    std::unique_ptr<ActionButtons> actions_;
    CorrectionRun pass_;

    // Window state.
    ColourWord probe_ = 0;
    Channels targetChannels_;
    Gains gains_;
    DragAnchor anchor_;
    QString targetPath_;

    // Controls the handlers use most.
    PhotoBox *reference_;
    PhotoBox *target_;
    QFrame *previewFrame_;
    PreviewImage *previewImage_;
    QWidget *previewCaption_;
    QCheckBox *previewToggle_;
    QProgressBar *progressBar_;
    QLineEdit *referenceReadout_;
    QLineEdit *targetReadout_;
    QLineEdit *referenceBoxes_[3];
    QLineEdit *targetBoxes_[3];
    QLineEdit *differenceBoxes_[3];
    QPushButton *correctButton_;
    QPushButton *exitButton_;
    bool placed_ = false;
};
