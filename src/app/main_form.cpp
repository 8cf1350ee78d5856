#include "app/main_form.h"

#include "app/action_buttons.h"
#include "app/background_work.h"
#include "app/channel_text.h"
#include "app/control_roster.h"
#include "app/desktop.h"
#include "app/lifecycle.h"
#include "app/metadata_names.h"
#include "app/one_box_desktop.h"
#include "app/photo_box.h"
#include "app/preview_geometry.h"
#include "app/preview_image.h"
#include "app/sample_size_menu.h"
#include "app/series_flow.h"
#include "colour/sample_average.h"
#include "colour/target_pick.h"
#include "correct/correction_pass.h"
#include "output/file_replace.h"
#include "output/jpeg_writer.h"
#include "output/preview.h"
#include "photo/photo_loader.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// The preview frame for a target of this size in a box with this much border on both sides.
QSize frameFor(QSize target, int border)
{
    return roundedFrameSize(
        previewFrameSize(QSizeF(target.width() + border, target.height() + border)));
}

// The preview, and its copy in `file`, written here because a large one takes long enough to
// stall the window. A by-product: a failed write costs nothing, the preview comes from the
// bytes in hand.
RenderedPreview renderKeptPreview(const QImage &target, QSize frame, const QString &file,
                                  WorkProgress &progress)
{
    RenderedPreview rendered = renderPreview(target, frame, &progress);
    if (!rendered.image.isNull())
        writePrivateFile(file, rendered.jpeg);
    return rendered;
}

} // namespace

MainForm::MainForm(Desktop &desktop, QWidget *parent)
    : QWidget(parent)
    , boxes_(new OneBoxDesktop(desktop, this))
    , desktop_(*boxes_)
    , ui_(buildControls(this))
    , sampleMenu_(new SampleSizeMenu(this))
    , series_(new SeriesFlow(desktop_, this))
{
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"Orvane2012"_s);
    setFixedSize(921, 599);
    actions_ = std::make_unique<ActionButtons>(ui_.correctButton, ui_.saveButton, ui_.reloadButton,
                                               ui_.helpButton);
    wireControls();
}

MainForm::~MainForm() = default;

void MainForm::wireControls()
{
    connect(ui_.importReferenceButton, &QPushButton::clicked, this, &MainForm::importReference);
    connect(ui_.importTargetButton, &QPushButton::clicked, this, &MainForm::importTarget);
    connect(ui_.reloadButton, &QPushButton::clicked, this, &MainForm::reloadTarget);
    connect(ui_.correctButton, &QPushButton::clicked, this, &MainForm::correct);
    connect(ui_.saveButton, &QPushButton::clicked, this, &MainForm::saveTarget);
    connect(ui_.helpButton, &QPushButton::clicked, this, &MainForm::showUsageGuide);
    connect(ui_.exitButton, &QPushButton::clicked, this, &MainForm::exitProgram);
    connect(ui_.previewToggle, &QCheckBox::clicked, ui_.previewFrame, &QWidget::setVisible);
    connect(ui_.previewImage, &PreviewImage::clicked, this, &MainForm::hidePreviewOnClick);

    const auto showSampleMenu = [this](QPoint at) { sampleMenu_->popupAt(at, false); };
    connect(sampleMenu_, &SampleSizeMenu::seriesRequested, series_, &SeriesFlow::start);
    for (PhotoBox *swatch : ui_.swatches) {
        connect(swatch, &PhotoBox::menuRequested, this, showSampleMenu);
        connect(swatch, &PhotoBox::pointerMoved, this,
                [this, swatch](QPointF p) { probe(swatch, p, nullptr); });
        connect(swatch, &PhotoBox::clicked, this, &MainForm::pickReference);
    }
    connect(ui_.referencePhoto, &PhotoBox::pointerMoved, this,
            [this](QPointF p) { probe(ui_.referencePhoto, p, ui_.referenceReadout); });
    connect(ui_.targetPhoto, &PhotoBox::pointerMoved, this,
            [this](QPointF p) { probe(ui_.targetPhoto, p, ui_.targetReadout); });
    connect(ui_.referencePhoto, &PhotoBox::clicked, this, &MainForm::pickReference);
    connect(ui_.targetPhoto, &PhotoBox::clicked, this, &MainForm::pickTarget);
    connect(ui_.referencePhoto, &PhotoBox::menuRequested, this, showSampleMenu);
    connect(ui_.targetPhoto, &PhotoBox::menuRequested, this,
            [this](QPoint at) { sampleMenu_->popupAt(at, series_->available()); });
    connect(boxes_, &OneBoxDesktop::boxesClosed, this, &MainForm::openPendingWhenFree);
    for (PhotoBox *photo : {ui_.referencePhoto, ui_.targetPhoto}) {
        connect(photo, &PhotoBox::pressed, this, [this, photo](QPointF p) { pressOn(photo, p); });
        connect(photo, &PhotoBox::released, this,
                [this, photo](QPointF p) { releaseOn(photo, p); });
    }
}

void MainForm::showEvent(QShowEvent *event)
{
    closed_ = false;
    if (!placed_) {
        placed_ = true;
        if (const QScreen *s = screen())
            move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        ui_.reloadButton->setFocus();
    }
    QWidget::showEvent(event);
}

void MainForm::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        ui_.exitButton->click();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter presses the focused button; from anywhere else, 校正.
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()))
            focused->click();
        else
            ui_.correctButton->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MainForm::closeEvent(QCloseEvent *event)
{
    stopPass_ = true;
    closed_ = true;
    Lifecycle::removeTemporaryPreview();
    event->accept();
}

void MainForm::exitProgram()
{
    stopPass_ = true;
    closed_ = true;
    Lifecycle::removeTemporaryPreview();
    emit exitRequested();
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

void MainForm::showOutOfMemory()
{
    notify(u"内存不足，无法完成该操作！"_s);
}

void MainForm::showInvalidNumber()
{
    notify(u"颜色数值无效！请重新选点！"_s);
}

QString MainForm::askForPhoto()
{
    return desktop_.openFile(this, photoOpenRequest());
}

void MainForm::runInBackground(int stages, const std::function<void(WorkProgress &)> &work)
{
    working_ = true;
    runWhilePainting(stages, work, [this](double fraction) { showWorkProgress(fraction); });
    working_ = false;
    // Closed while the work ran: a preview it wrote goes too.
    if (closed_)
        Lifecycle::removeTemporaryPreview();
    openPendingWhenFree();
}

void MainForm::handOver(const QString &path)
{
    pendingTarget_ = path;
    openPendingWhenFree();
}

void MainForm::openPendingWhenFree()
{
    if (pendingTarget_.isEmpty() || pendingScheduled_ || working_ || boxes_->showingBox())
        return;
    pendingScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        pendingScheduled_ = false;
        // Busy again by now: the end of that work or box calls here once more.
        if (!working_ && !boxes_->showingBox() && !pendingTarget_.isEmpty())
            openTarget(std::exchange(pendingTarget_, QString()));
    });
}

void MainForm::showWorkProgress(double fraction)
{
    if (fraction < 0) {
        if (const auto bar = std::exchange(barBeforeWork_, std::nullopt)) {
            ui_.progressBar->setRange((*bar)[0], (*bar)[1]);
            ui_.progressBar->setValue((*bar)[2]);
        }
        return;
    }
    constexpr int kSteps = 1000;
    if (!barBeforeWork_) {
        barBeforeWork_ = {ui_.progressBar->minimum(), ui_.progressBar->maximum(),
                          ui_.progressBar->value()};
        ui_.progressBar->setRange(0, kSteps);
    }
    ui_.progressBar->setValue(int(fraction * kSteps));
}

std::optional<QImage> MainForm::readPhoto(const QString &path)
{
    LoadedPhoto photo;
    runInBackground(1, [&](WorkProgress &progress) { photo = loadPhoto(path, &progress); });
    switch (photo.outcome) {
    case LoadedPhoto::Outcome::Ok:
        return std::move(photo.image);
    case LoadedPhoto::Outcome::OutOfMemory:
        showOutOfMemory();
        return std::nullopt;
    case LoadedPhoto::Outcome::Unreadable:
        break;
    }
    showUnreadablePhoto();
    return std::nullopt;
}

void MainForm::importReference()
{
    const QString path = askForPhoto();
    if (path.isEmpty())
        return;
    if (auto image = readPhoto(path)) {
        ui_.referencePhoto->setImage(std::move(*image));
        ui_.referencePhoto->move(centredOrigin(ui_.referencePhoto->image().size()));
    }
}

void MainForm::importTarget()
{
    const QString path = askForPhoto();
    if (!path.isEmpty())
        openTarget(path);
}

std::optional<MainForm::Target> MainForm::readTarget(const QString &path)
{
    const int border = 2 * ui_.targetPhoto->frameWidth();
    LoadedPhoto photo;
    Target target;
    const QString previewFile = Lifecycle::temporaryPreviewPath();
    // Decode, then the preview's encode and decode.
    runInBackground(3, [&](WorkProgress &progress) {
        photo = loadPhoto(path, &progress);
        if (!photo.ok())
            return;
        target.preview.frame = frameFor(photo.image.size(), border);
        RenderedPreview rendered =
            renderKeptPreview(photo.image, target.preview.frame, previewFile, progress);
        target.preview.image = std::move(rendered.image);
        target.preview.jpeg = std::move(rendered.jpeg);
        if (!target.preview.image.isNull())
            target.metadata = readMetadata(path);
    });
    // A newer photo is waiting: what became of this one no longer matters to the user.
    const bool superseded = !pendingTarget_.isEmpty();
    switch (photo.outcome) {
    case LoadedPhoto::Outcome::Ok:
        break;
    case LoadedPhoto::Outcome::OutOfMemory:
        if (!superseded)
            showOutOfMemory();
        return std::nullopt;
    case LoadedPhoto::Outcome::Unreadable:
        if (!superseded)
            showUnreadablePhoto();
        return std::nullopt;
    }
    // Our own encoding of a picture decodes again unless memory ran out.
    if (target.preview.image.isNull()) {
        if (!superseded)
            showOutOfMemory();
        return std::nullopt;
    }
    target.image = std::move(photo.image);
    return target;
}

void MainForm::showTarget(Target target)
{
    targetMetadata_ = std::move(target.metadata);
    ui_.targetPhoto->setImage(std::move(target.image));
    showPreview(std::move(target.preview));
}

void MainForm::openTarget(const QString &path)
{
    // Asked for while a photo is read or saved, or a box shows: after that.
    if (working_ || boxes_->showingBox()) {
        pendingTarget_ = path;
        return;
    }
    auto target = readTarget(path);
    if (!target)
        return;
    // A running pass stops before its next row and leaves the new photo untouched.
    stopPass_ = true;
    targetPath_ = path;
    showTarget(std::move(*target));
    ui_.targetPhoto->move(centredOrigin(ui_.targetPhoto->image().size()));
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
        auto target = readTarget(targetPath_);
        if (!target)
            return;
        showTarget(std::move(*target));
    }
    actions_->apply(ActionEvent::ReloadPressed);
}

void MainForm::saveTarget()
{
    const QImage &image = ui_.targetPhoto->image();
    const bool encoded = !targetJpeg_.isEmpty() && targetJpegKey_ == image.cacheKey();
    SavedPhoto saved;
    runInBackground(1, [&](WorkProgress &progress) {
        saved = encoded ? saveEncodedPhoto(targetJpeg_, image.size(), targetPath_, targetMetadata_)
                        : savePhotoJpeg(image, targetPath_, targetMetadata_, &progress);
    });
    actions_->apply(ActionEvent::SavePressed);
    if (saved.status == SaveStatus::OutOfMemory) {
        showOutOfMemory();
        return;
    }
    if (saved.status == SaveStatus::Failed) {
        desktop_.message(this, QCoreApplication::applicationName(), u"保存失败"_s);
        return;
    }
    const QStringList lost = lostPartNames(saved.leftOut, PartNaming::Window);
    // A photo that was no JPEG got a new file: from now on that is the photo's file.
    const bool beside = saved.path != targetPath_;
    if (beside)
        targetPath_ = saved.path;
    const QString where = u"照片已保存为 %1"_s.arg(QFileInfo(saved.path).fileName());
    if (beside && !lost.isEmpty())
        notify(u"%1，但其中的%2未能保留。"_s.arg(where, lost.join(u"、"_s)));
    else if (beside)
        notify(where);
    else if (!lost.isEmpty())
        notify(u"照片已保存，但其中的%1未能保留。"_s.arg(lost.join(u"、"_s)));
}

QSize MainForm::previewFrameFor(QSize target) const
{
    return frameFor(target, 2 * ui_.targetPhoto->frameWidth());
}

std::optional<MainForm::Preview> MainForm::makePreview(const QImage &target)
{
    const QSize frame = previewFrameFor(target.size());
    const QString previewFile = Lifecycle::temporaryPreviewPath();
    RenderedPreview rendered;
    runInBackground(2, [&](WorkProgress &progress) {
        rendered = renderKeptPreview(target, frame, previewFile, progress);
    });
    // Our own encoding of a picture decodes again unless memory ran out.
    if (rendered.image.isNull() && !target.isNull()) {
        showOutOfMemory();
        return std::nullopt;
    }
    return Preview{std::move(rendered.image), frame, std::move(rendered.jpeg)};
}

void MainForm::showPreview(Preview preview)
{
    ui_.previewFrame->resize(preview.frame);
    ui_.previewImage->resize(preview.frame);
    ui_.previewImage->setImage(std::move(preview.image));
    targetJpeg_ = std::move(preview.jpeg);
    targetJpegKey_ = ui_.targetPhoto->image().cacheKey();
    ui_.previewCaption->move(int(std::lrint(previewCaptionLeft(preview.frame.width()))),
                             ui_.previewCaption->y());
}

void MainForm::hidePreviewOnClick()
{
    ui_.previewFrame->hide();
    if (ui_.previewToggle->isChecked())
        ui_.previewToggle->setChecked(false);
}

void MainForm::probe(const PhotoBox *source, QPointF position, QLineEdit *readout)
{
    const QPoint at(int(std::floor(position.x())), int(std::floor(position.y())));
    if (const auto colour = sampleColour(source->image(), at, sampleMenu_->side()))
        probe_ = colourWordFromRgb(*colour);
    if (readout) {
        readout->setText(
            u"鼠标 X=%1  Y=%2"_s.arg(QString::number(at.x()), QString::number(at.y())));
    }
}

void MainForm::pickReference()
{
    ui_.referenceBoxes.setTexts(channelTexts(splitColour(probe_)));
}

void MainForm::pickTarget()
{
    const ChannelTexts referenceTexts = ui_.referenceBoxes.texts();
    if (!hasReference(leadingNumbers(referenceTexts))) {
        notify(u"请首先选择皮肤样本或在标准照片中选择理想皮肤！"_s);
        return;
    }
    const std::optional<ChannelValues> reference = completeNumbers(referenceTexts);
    if (!reference) {
        showInvalidNumber();
        return;
    }
    const TargetPick pick = ::pickTarget(*reference, probe_);
    ui_.targetBoxes.setTexts(channelTexts(pick.target));
    ui_.differenceBoxes.setTexts(decimalTexts(pick.differences));
    targetChannels_ = pick.target;
}

void MainForm::correct()
{
    if (!hasDifference(leadingNumbers(ui_.differenceBoxes.texts()))) {
        notify(u"你还没有选择皮肤样本和需要的皮肤校正点！请重新选点！"_s);
        return;
    }
    runCorrectionPass();
}

void MainForm::runCorrectionPass()
{
    const std::optional<ChannelValues> reference = completeNumbers(ui_.referenceBoxes.texts());
    if (!reference) {
        showInvalidNumber();
        return;
    }
    const GainResult gains = computeGains(*reference, targetChannels_);
    actions_->apply(ActionEvent::PassStarted);
    series_->setGains(std::nullopt);
    if (gains.outcome == GainOutcome::TooLarge) {
        notify(u"需校正色差过大！请重新选点！"_s);
        ui_.differenceBoxes.setTexts({u"0"_s, u"0"_s, u"0"_s});
        gains_ = Gains();
        actions_->apply(ActionEvent::PassRefused);
        return;
    }
    gains_ = gains.gains;

    // A one-row picture still gets a range, or the bar would run its busy animation.
    ui_.progressBar->setMaximum(std::max(ui_.targetPhoto->image().height() - 1, 1));
    stopPass_ = false;
    firstUnpaintedRow_ = 0;
    const PassOutcome outcome =
        ::runCorrectionPass(ui_.targetPhoto->image(), gains_, passFrameInterval_,
                            [this](int row, int lastRow, ColourWord pixel) {
                                return showPassProgress(row, lastRow, pixel);
                            });
    probe_ = outcome.lastPixel;
    if (outcome.result == PassResult::Stopped) {
        actions_->apply(ActionEvent::PassStopped);
        return;
    }
    if (auto preview = makePreview(ui_.targetPhoto->image()))
        showPreview(std::move(*preview));
    actions_->apply(ActionEvent::PassCompleted);
    series_->setGains(gains_);
    desktop_.beep();
}

bool MainForm::showPassProgress(int row, int lastRow, ColourWord lastPixel)
{
    ui_.targetPhoto->updateRows(firstUnpaintedRow_, row);
    firstUnpaintedRow_ = row + 1;
    ui_.progressBar->setValue(lastRow == 0 ? 1 : row);
    ui_.targetReadout->setText(u"已完成_%1%"_s.arg(progressPercent(row, lastRow)));
    // Handlers run here may move, pick or import; the probe holds what the pass last read.
    probe_ = lastPixel;
    QCoreApplication::processEvents();
    return !stopPass_;
}
