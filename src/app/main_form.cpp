#include "app/main_form.h"

#include "app/action_buttons.h"
#include "app/control_roster.h"
#include "app/desktop.h"
#include "app/lifecycle.h"
#include "app/preview_image.h"
#include "colour/target_pick.h"
#include "correct/correction_pass.h"
#include "output/jpeg_writer.h"
#include "output/preview.h"
#include "photo/photo_box.h"
#include "photo/photo_loader.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>

#include <cmath>

using namespace Qt::StringLiterals;

MainForm::MainForm(Desktop &desktop, QWidget *parent)
    : QWidget(parent)
    , desktop_(desktop)
{
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"Orvane2012"_s);
    setFixedSize(921, 599);
    buildControls(this);

    reference_ = control<PhotoBox>("取样图片");
    target_ = control<PhotoBox>("SaveForm");
    previewFrame_ = control<QFrame>("Picture4");
    previewImage_ = control<PreviewImage>("YuLan");
    previewCaption_ = control<QWidget>("Label3");
    previewToggle_ = control<QCheckBox>("xiaoguo");
    progressBar_ = control<QProgressBar>("HScroll2");
    referenceReadout_ = control<QLineEdit>("Text1");
    targetReadout_ = control<QLineEdit>("Text2");
    const char *const reference[] = {"主红", "主绿", "主蓝"};
    const char *const target[] = {"客红", "客绿", "客蓝"};
    const char *const difference[] = {"红", "绿", "蓝"};
    for (int i = 0; i < 3; ++i) {
        referenceBoxes_[i] = control<QLineEdit>(reference[i]);
        targetBoxes_[i] = control<QLineEdit>(target[i]);
        differenceBoxes_[i] = control<QLineEdit>(difference[i]);
    }
    correctButton_ = control<QPushButton>("校正");
    exitButton_ = control<QPushButton>("退出");
    actions_ = std::make_unique<ActionButtons>(correctButton_, control<QPushButton>("SaveJPG"),
                                               control<QPushButton>("校正点"),
                                               control<QPushButton>("Command1"));
    wireControls();
}

MainForm::~MainForm() = default;

template <typename T> T *MainForm::control(const char *name) const
{
    auto *found = findChild<T *>(QString::fromUtf8(name));
    Q_ASSERT(found);
    return found;
}

void MainForm::wireControls()
{
    connect(control<QPushButton>("导入主体"), &QPushButton::clicked, this,
            &MainForm::importReference);
    connect(control<QPushButton>("导入客体"), &QPushButton::clicked, this, &MainForm::importTarget);
    connect(control<QPushButton>("校正点"), &QPushButton::clicked, this, &MainForm::reloadTarget);
    connect(correctButton_, &QPushButton::clicked, this, &MainForm::correct);
    connect(control<QPushButton>("SaveJPG"), &QPushButton::clicked, this, &MainForm::saveTarget);
    connect(control<QPushButton>("Command1"), &QPushButton::clicked, this,
            &MainForm::showUsageGuide);
    connect(exitButton_, &QPushButton::clicked, this, &MainForm::exitProgram);
    connect(previewToggle_, &QCheckBox::clicked, this, &MainForm::showPreview);
    connect(previewImage_, &PreviewImage::clicked, this, &MainForm::hidePreviewOnClick);

    for (PhotoBox *swatch : findChildren<PhotoBox *>(u"Picture2"_s)) {
        connect(swatch, &PhotoBox::pointerMoved, this,
                [this, swatch](QPointF p) { probe(swatch, p, nullptr); });
        connect(swatch, &PhotoBox::clicked, this, &MainForm::pickReference);
    }
    connect(reference_, &PhotoBox::pointerMoved, this,
            [this](QPointF p) { probe(reference_, p, referenceReadout_); });
    connect(target_, &PhotoBox::pointerMoved, this,
            [this](QPointF p) { probe(target_, p, targetReadout_); });
    connect(reference_, &PhotoBox::clicked, this, &MainForm::pickReference);
    connect(target_, &PhotoBox::clicked, this, &MainForm::pickTarget);
    for (PhotoBox *photo : {reference_, target_}) {
        connect(photo, &PhotoBox::pressed, this, [this, photo](QPointF p) { pressOn(photo, p); });
        connect(photo, &PhotoBox::released, this,
                [this, photo](QPointF p) { releaseOn(photo, p); });
    }
}

void MainForm::setPassFrameInterval(std::chrono::nanoseconds interval)
{
    pass_.setFrameInterval(interval);
}

void MainForm::showEvent(QShowEvent *event)
{
    if (!placed_) {
        placed_ = true;
        if (const QScreen *s = screen())
            move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        control<QPushButton>("校正点")->setFocus();
    }
    QWidget::showEvent(event);
}

void MainForm::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        exitButton_->click();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter presses the focused button; from anywhere else, 校正.
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()))
            focused->click();
        else
            correctButton_->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MainForm::closeEvent(QCloseEvent *event)
{
    stopPass();
    Lifecycle::removeTemporaryPreview();
    event->accept();
}

void MainForm::exitProgram()
{
    stopPass();
    Lifecycle::removeTemporaryPreview();
    emit exitRequested();
}

void MainForm::stopPass()
{
    if (pass_.isRunning())
        pass_.stop();
}

void MainForm::showUsageGuide()
{
    desktop_.message(this, Lifecycle::usageGuideTitle(), Lifecycle::usageGuideText());
}

void MainForm::notify(const QString &text)
{
    desktop_.message(this, u"提示"_s, text);
}

void MainForm::showUnreadablePhoto()
{
    notify(u"无法打开该图片文件！"_s);
}

void MainForm::showInvalidNumber()
{
    notify(u"颜色数值无效！请重新选点！"_s);
}

QString MainForm::askForPhoto()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const OpenDialogRequest request{
        {u"BMP图像(*.BMP)"_s, u"JPG图像(*.jpg)"_s, u"GIF图像(*.gif)"_s, u"ICO图像(*.ico)"_s},
        1,
        folder,
    };
    return desktop_.openFile(this, request);
}

std::optional<MainForm::ChosenPhoto> MainForm::choosePhoto()
{
    const QString path = askForPhoto();
    if (path.isEmpty())
        return std::nullopt;
    LoadedPhoto photo = loadPhoto(path);
    if (!photo.ok()) {
        showUnreadablePhoto();
        return std::nullopt;
    }
    return ChosenPhoto{path, std::move(photo.image)};
}

void MainForm::importReference()
{
    if (auto chosen = choosePhoto()) {
        reference_->setImage(std::move(chosen->image));
        reference_->move(centredOrigin(reference_->image().size()));
    }
}

void MainForm::importTarget()
{
    auto chosen = choosePhoto();
    if (!chosen)
        return;
    // A running pass stops before its next row and leaves the new photo untouched.
    stopPass();
    targetPath_ = chosen->path;
    target_->setImage(std::move(chosen->image));
    target_->move(centredOrigin(target_->image().size()));
    rebuildPreview();
}

void MainForm::pressOn(PhotoBox *photo, QPointF position)
{
    anchor_ = pressAnchor(position, photo->pos());
}

void MainForm::releaseOn(PhotoBox *photo, QPointF position)
{
    photo->move(releasedPosition(anchor_, position));
}

void MainForm::reloadTarget()
{
    if (!targetPath_.isEmpty()) {
        LoadedPhoto photo = loadPhoto(targetPath_);
        if (!photo.ok()) {
            showUnreadablePhoto();
            return;
        }
        target_->setImage(std::move(photo.image));
    }
    actions_->apply(ActionEvent::ReloadPressed);
    if (!targetPath_.isEmpty())
        rebuildPreview();
}

void MainForm::saveTarget()
{
    const bool saved =
        !targetPath_.isEmpty() && saveJpeg(target_->image(), targetPath_, kJpegQuality);
    actions_->apply(ActionEvent::SavePressed);
    if (!saved)
        desktop_.message(this, QCoreApplication::applicationName(), u"保存失败"_s);
}

void MainForm::rebuildPreview()
{
    const QSizeF exact = previewFrameSize(QSizeF(target_->size()));
    const QSize frame = roundedFrameSize(exact);
    previewFrame_->resize(frame);
    previewImage_->resize(frame);
    previewImage_->setImage(
        renderPreview(target_->image(), Lifecycle::temporaryPreviewPath(), frame));
    const int inset = previewFrame_->frameWidth();
    previewCaption_->move(int(std::lrint(previewCaptionLeft(frame.width()))) + inset,
                          previewCaption_->y());
}

void MainForm::showPreview(bool shown)
{
    previewFrame_->setVisible(shown);
}

void MainForm::hidePreviewOnClick()
{
    previewFrame_->hide();
    if (previewToggle_->isChecked())
        previewToggle_->setChecked(false);
}

void MainForm::probe(const PhotoBox *source, QPointF position, QLineEdit *readout)
{
    if (const auto pixel = source->pixelAt(position))
        probe_ = colourWordFromRgb(*pixel);
    if (readout) {
        const QPoint at(int(std::floor(position.x())), int(std::floor(position.y())));
        readout->setText(
            u"鼠标 X=%1  Y=%2"_s.arg(QString::number(at.x()), QString::number(at.y())));
    }
}

ChannelTexts MainForm::texts(QLineEdit *red, QLineEdit *green, QLineEdit *blue) const
{
    return {red->text(), green->text(), blue->text()};
}

void MainForm::pickReference()
{
    const Channels c = splitColour(probe_);
    referenceBoxes_[0]->setText(QString::number(c.red));
    referenceBoxes_[1]->setText(QString::number(c.green));
    referenceBoxes_[2]->setText(QString::number(c.blue));
}

void MainForm::pickTarget()
{
    const TargetPick pick =
        ::pickTarget(texts(referenceBoxes_[0], referenceBoxes_[1], referenceBoxes_[2]), probe_);
    switch (pick.outcome) {
    case TargetPickOutcome::NeedReference:
        notify(u"请首先选择皮肤样本或在标准照片中选择理想皮肤！"_s);
        return;
    case TargetPickOutcome::InvalidNumber:
        showInvalidNumber();
        return;
    case TargetPickOutcome::Ok:
        break;
    }
    const ChannelTexts &t = pick.targetTexts;
    const ChannelTexts &d = pick.differenceTexts;
    targetBoxes_[0]->setText(t.red);
    targetBoxes_[1]->setText(t.green);
    targetBoxes_[2]->setText(t.blue);
    differenceBoxes_[0]->setText(d.red);
    differenceBoxes_[1]->setText(d.green);
    differenceBoxes_[2]->setText(d.blue);
    targetChannels_ = pick.target;
}

void MainForm::correct()
{
    if (!hasDifference(texts(differenceBoxes_[0], differenceBoxes_[1], differenceBoxes_[2]))) {
        notify(u"你还没有选择皮肤样本和需要的皮肤校正点！请重新选点！"_s);
        return;
    }
    runCorrectionPass();
}

void MainForm::runCorrectionPass()
{
    const GainResult gains = computeGains(
        texts(referenceBoxes_[0], referenceBoxes_[1], referenceBoxes_[2]), targetChannels_);
    if (gains.outcome == GainOutcome::InvalidNumber) {
        showInvalidNumber();
        return;
    }
    actions_->apply(ActionEvent::PassStarted);
    if (gains.outcome == GainOutcome::TooLarge) {
        notify(u"需校正色差过大！请重新选点！"_s);
        for (QLineEdit *box : differenceBoxes_)
            box->setText(u"0"_s);
        gains_ = Gains();
        actions_->apply(ActionEvent::PassRefused);
        return;
    }
    gains_ = gains.gains;

    progressBar_->setMaximum(std::max(target_->image().height() - 1, 0));
    const auto showProgress = [this](int row, int lastRow) {
        progressBar_->setValue(row);
        targetReadout_->setText(u"已完成_%1%"_s.arg(progressPercent(row, lastRow)));
    };
    if (pass_.run(*target_, gains_, probe_, showProgress) == CorrectionRun::Result::Stopped) {
        actions_->apply(ActionEvent::PassStopped);
        return;
    }
    rebuildPreview();
    actions_->apply(ActionEvent::PassCompleted);
    desktop_.beep();
}
