#include "app/main_form.h"

#include "app/action_buttons.h"
#include "app/background_job.h"
#include "app/channel_text.h"
#include "app/control_roster.h"
#include "app/desktop.h"
#include "app/lifecycle.h"
#include "app/metadata_names.h"
#include "app/one_box_desktop.h"
#include "app/photo_box.h"
#include "app/preview_file.h"
#include "app/preview_geometry.h"
#include "app/preview_image.h"
#include "app/sample_size_menu.h"
#include "app/series_flow.h"
#include "colour/sample_average.h"
#include "colour/target_pick.h"
#include "correct/correction_pass.h"
#include "face/skin_search.h"
#include "output/jpeg_writer.h"
#include "output/preview.h"
#include "photo/jpeg_codec.h"
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

} // namespace

MainForm::MainForm(Desktop &desktop, QWidget *parent)
    : QWidget(parent)
    , boxes_(new OneBoxDesktop(desktop, this))
    , desktop_(*boxes_)
    , ui_(buildControls(this))
    , sampleMenu_(new SampleSizeMenu(this))
    , series_(new SeriesFlow(desktop_, this))
    , readMetadata_(::readMetadata)
{
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"Orvane2012"_s);
    setFixedSize(921, 599);
    actions_ = std::make_unique<ActionButtons>(ui_.correctButton, ui_.saveButton, ui_.reloadButton,
                                               ui_.helpButton);
    ui_.targetPhoto->showPicture(&target_.picture);
    handOverTimer_.setSingleShot(true);
    handOverTimer_.setInterval(0);
    connect(&handOverTimer_, &QTimer::timeout, this,
            [this] { openTarget(std::exchange(handedOver_, QString())); });
    connect(&passTicker_, &QTimer::timeout, this, &MainForm::showPassProgress);
    wireControls();
}

MainForm::~MainForm()
{
    // The pass writes into the picture, which goes with the window; the other jobs report to
    // controls that go too.
    stopPass();
    for (BackgroundJob *job : findChildren<BackgroundJob *>(Qt::FindDirectChildrenOnly))
        delete job;
}

void MainForm::wireControls()
{
    connect(ui_.importReferenceButton, &QPushButton::clicked, this, &MainForm::importReference);
    connect(ui_.importTargetButton, &QPushButton::clicked, this, &MainForm::importTarget);
    connect(ui_.reloadButton, &QPushButton::clicked, this, &MainForm::reloadTarget);
    connect(ui_.correctButton, &QPushButton::clicked, this, &MainForm::correct);
    connect(ui_.saveButton, &QPushButton::clicked, this, &MainForm::saveTarget);
    connect(ui_.helpButton, &QPushButton::clicked, this, &MainForm::showUsageGuide);
    connect(ui_.exitButton, &QPushButton::clicked, this, &MainForm::exitProgram);
    connect(ui_.previewToggle, &QCheckBox::clicked, this, &MainForm::showPreviewFrame);
    connect(ui_.previewImage, &PreviewImage::clicked, this, &MainForm::hidePreviewOnClick);

    const auto showSampleMenu = [this](QPoint at) {
        menuPhoto_ = nullptr;
        sampleMenu_->popupAt(at);
    };
    connect(sampleMenu_, &SampleSizeMenu::seriesRequested, series_, &SeriesFlow::start);
    connect(sampleMenu_, &SampleSizeMenu::skinSearchRequested, this, [this] {
        if (menuPhoto_)
            searchSkin(menuPhoto_);
    });
    connect(sampleMenu_, &SampleSizeMenu::matchSeriesRequested, this, [this] {
        if (const std::optional<ChannelValues> reference = usableReference())
            series_->startMatching(*reference);
    });
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
    connect(ui_.referencePhoto, &PhotoBox::menuRequested, this, [this](QPoint at) {
        menuPhoto_ = ui_.referencePhoto;
        sampleMenu_->popupAt(at, {.skinSearch = canSearchSkin(menuPhoto_)});
    });
    connect(ui_.targetPhoto, &PhotoBox::menuRequested, this, [this](QPoint at) {
        menuPhoto_ = ui_.targetPhoto;
        sampleMenu_->popupAt(at, {.skinSearch = canSearchSkin(menuPhoto_),
                                  .series = series_->available(),
                                  .matchedSeries = usableReference() && !series_->running()});
    });
    for (PhotoBox *photo : {ui_.referencePhoto, ui_.targetPhoto}) {
        connect(photo, &PhotoBox::pressed, this, [this, photo](QPointF p) { pressOn(photo, p); });
        connect(photo, &PhotoBox::released, this,
                [this, photo](QPointF p) { releaseOn(photo, p); });
    }
}

void MainForm::showEvent(QShowEvent *event)
{
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
    endAllWork();
    event->accept();
}

void MainForm::exitProgram()
{
    endAllWork();
    emit exitRequested();
}

// The one way out, whatever runs: the pass stops before its next band, everything else is left
// to end on its own unheard (a save still completes its file), and the preview file goes.
void MainForm::endAllWork()
{
    stopPass();
    for (BackgroundJob *job : {referenceLoad_, targetLoad_, metadataRead_, previewRender_,
                               previewDecode_, save_, skinSearch_}) {
        if (job)
            job->abandon();
    }
    handOverTimer_.stop();
    handedOver_.clear();
    PreviewFile::retire();
    refreshHold();
}

void MainForm::showUsageGuide()
{
    desktop_.message(this, Lifecycle::usageGuideTitle(), Lifecycle::usageGuideText());
}

void MainForm::notify(const QString &text)
{
    desktop_.message(this, tr("提示"), text);
}

void MainForm::showUnreadablePhoto()
{
    notify(tr("无法打开该图片文件！"));
}

void MainForm::showOutOfMemory()
{
    notify(tr("内存不足，无法完成该操作！"));
}

void MainForm::showInvalidNumber()
{
    notify(tr("颜色数值无效！请重新选点！"));
}

QString MainForm::askForPhoto()
{
    return desktop_.openFile(this, photoOpenRequest());
}

bool MainForm::idle() const
{
    for (const BackgroundJob *job : {referenceLoad_, targetLoad_, metadataRead_, previewRender_,
                                     previewDecode_, save_, pass_, skinSearch_}) {
        if (BackgroundJob::running(job))
            return false;
    }
    return !handOverTimer_.isActive();
}

void MainForm::watch(BackgroundJob *job, bool showsProgress)
{
    if (showsProgress)
        connect(job, &BackgroundJob::progressed, this, &MainForm::showWorkProgress);
    connect(job, &BackgroundJob::ended, this, &MainForm::refreshHold);
    refreshHold();
}

// 校正, 保存 and 刷新 wait while the photo they work on is being read or written; 保存 also
// waits for the metadata it keeps and the encoding it may reuse. A pass holds them itself.
void MainForm::refreshHold()
{
    const auto busy = [](const BackgroundJob *job) { return BackgroundJob::running(job); };
    const bool photoBusy = busy(targetLoad_) || busy(save_);
    actions_->hold(photoBusy, photoBusy || busy(metadataRead_) || busy(previewRender_), photoBusy);
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

bool MainForm::reportFailedLoad(const LoadedPhoto &photo)
{
    switch (photo.outcome) {
    case LoadedPhoto::Outcome::Ok:
        return false;
    case LoadedPhoto::Outcome::OutOfMemory:
        showOutOfMemory();
        return true;
    case LoadedPhoto::Outcome::Unreadable:
        break;
    }
    showUnreadablePhoto();
    return true;
}

void MainForm::importReference()
{
    const QString path = askForPhoto();
    if (path.isEmpty())
        return;
    if (referenceLoad_)
        referenceLoad_->abandon();
    referenceLoad_ = BackgroundJob::start<LoadedPhoto>(
        this, 1, [path](WorkProgress &progress) { return loadPhoto(path, &progress); },
        [this](LoadedPhoto photo) {
            if (reportFailedLoad(photo))
                return;
            ui_.referencePhoto->setImage(std::move(photo.image));
            ui_.referencePhoto->move(centredOrigin(ui_.referencePhoto->image().size()));
        });
    watch(referenceLoad_, true);
}

void MainForm::importTarget()
{
    const QString path = askForPhoto();
    if (!path.isEmpty())
        openTarget(path);
}

void MainForm::handOver(const QString &path)
{
    handedOver_ = path;
    handOverTimer_.start();
}

void MainForm::openTarget(const QString &path)
{
    loadTarget(path, false);
}

void MainForm::reloadTarget()
{
    if (target_.path.isEmpty()) {
        actions_->apply(ActionEvent::ReloadPressed);
        return;
    }
    loadTarget(target_.path, true);
}

// The newest request wins: a photo still loading is dropped, and what it would have said with it.
void MainForm::loadTarget(const QString &path, bool reload)
{
    if (targetLoad_)
        targetLoad_->abandon();
    targetLoad_ = BackgroundJob::start<LoadedPhoto>(
        this, 1, [path](WorkProgress &progress) { return loadPhoto(path, &progress); },
        [this, path, reload](LoadedPhoto photo) { targetLoaded(path, reload, std::move(photo)); });
    watch(targetLoad_, true);
}

void MainForm::targetLoaded(const QString &path, bool reload, LoadedPhoto photo)
{
    if (reportFailedLoad(photo))
        return;
    // A running pass stops before its next band and leaves the new photo untouched; the work on
    // the old picture ends with it.
    stopPass();
    for (BackgroundJob *job : {metadataRead_, previewRender_, previewDecode_}) {
        if (job)
            job->abandon();
    }
    target_.path = path;
    target_.picture = std::move(photo.image);
    target_.metadata = {};
    ui_.targetPhoto->showPicture(&target_.picture);
    if (reload)
        actions_->apply(ActionEvent::ReloadPressed);
    else
        ui_.targetPhoto->move(centredOrigin(target_.picture.size()));
    readTargetMetadata();
    rebuildPreview();
}

void MainForm::readTargetMetadata()
{
    const QString path = target_.path;
    metadataRead_ = BackgroundJob::start<PhotoMetadata>(
        this, 1, [path, read = readMetadata_](WorkProgress &) { return read(path); },
        [this](PhotoMetadata metadata) { target_.metadata = std::move(metadata); });
    watch(metadataRead_, false);
}

void MainForm::pressOn(PhotoBox *photo, QPointF position)
{
    anchor_ = pressAnchor(position, photo->pos());
}

void MainForm::releaseOn(PhotoBox *photo, QPointF position)
{
    photo->move(releasedPosition(anchor_, position));
}

void MainForm::saveTarget()
{
    // Copies share the picture's pixels; nothing writes to them while 保存 waits.
    const QByteArray jpeg = target_.currentEncoding();
    const QImage picture = target_.picture;
    const QString path = target_.path;
    const PhotoMetadata metadata = target_.metadata;
    actions_->apply(ActionEvent::SavePressed);
    save_ = BackgroundJob::start<SavedPhoto>(
        this, 1,
        [=](WorkProgress &progress) {
            return jpeg.isEmpty() ? savePhotoJpeg(picture, path, metadata, &progress)
                                  : saveEncodedPhoto(jpeg, picture.size(), path, metadata);
        },
        [this, path](SavedPhoto result) { saved(path, result); }, BackgroundJob::AtExit::Finish);
    watch(save_, true);
}

void MainForm::saved(const QString &from, const SavedPhoto &saved)
{
    if (saved.status == SaveStatus::OutOfMemory) {
        showOutOfMemory();
        return;
    }
    if (saved.status == SaveStatus::Failed) {
        desktop_.message(this, QCoreApplication::applicationName(), tr("保存失败"));
        return;
    }
    const QStringList lost = lostPartNames(saved.leftOut, PartNaming::Window);
    // A photo that was no JPEG got a new file: from now on that is the photo's file, unless
    // another photo was opened meanwhile.
    const bool beside = saved.path != from;
    if (beside && target_.path == from)
        target_.path = saved.path;
    const QString where = tr("照片已保存为 %1").arg(QFileInfo(saved.path).fileName());
    const QString lostNames = lost.join(tr("、", "between the names of metadata parts"));
    if (beside && !lost.isEmpty())
        notify(tr("%1，但其中的%2未能保留。").arg(where, lostNames));
    else if (beside)
        notify(where);
    else if (!lost.isEmpty())
        notify(tr("照片已保存，但其中的%1未能保留。").arg(lostNames));
}

void MainForm::rebuildPreview()
{
    for (BackgroundJob *job : {previewRender_, previewDecode_}) {
        if (job)
            job->abandon();
    }
    const QSize frame = frameFor(target_.picture.size(), 2 * ui_.targetPhoto->frameWidth());
    ui_.previewFrame->resize(frame);
    ui_.previewImage->resize(frame);
    ui_.previewCaption->move(int(std::lrint(previewCaptionLeft(frame.width()))),
                             ui_.previewCaption->y());
    // The old picture would show what the photo no longer is.
    ui_.previewImage->setImage({});
    target_.setEncoding({});

    const quint64 ticket = PreviewFile::newTicket();
    const QImage picture = target_.picture; // shares the pixels; a pass first stops this job
    previewRender_ = BackgroundJob::start<QByteArray>(
        this, 1,
        [=](WorkProgress &progress) {
            QByteArray jpeg = encodeAsSaved(picture, &progress).data;
            if (!progress.cancelled())
                PreviewFile::write(ticket, jpeg);
            return jpeg;
        },
        [this](QByteArray jpeg) {
            if (jpeg.isEmpty() && !target_.picture.isNull()) {
                showOutOfMemory();
                return;
            }
            target_.setEncoding(std::move(jpeg));
            if (ui_.previewFrame->isVisible())
                decodePreview();
        });
    watch(previewRender_, false);
}

void MainForm::decodePreview()
{
    const QByteArray jpeg = target_.currentEncoding();
    if (jpeg.isEmpty() || BackgroundJob::running(previewDecode_) ||
        !ui_.previewImage->image().isNull())
        return;
    const QSize frame = ui_.previewFrame->size();
    previewDecode_ = BackgroundJob::start<QImage>(
        this, 1,
        [jpeg, frame](WorkProgress &progress) {
            return decodeJpeg(jpeg, frame, {}, &progress).image;
        },
        [this](QImage image) {
            if (image.isNull())
                showOutOfMemory();
            else
                ui_.previewImage->setImage(std::move(image));
        });
    watch(previewDecode_, false);
}

void MainForm::showPreviewFrame(bool show)
{
    ui_.previewFrame->setVisible(show);
    if (show)
        decodePreview();
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
    // Rows a pass is rewriting are not read; the probe keeps what the pass last read.
    const bool rewriting = BackgroundJob::running(pass_) && source == ui_.targetPhoto;
    if (!rewriting) {
        if (const auto colour = sampleColour(source->image(), at, sampleMenu_->side()))
            probe_ = colourWordFromRgb(*colour);
    }
    if (readout) {
        readout->setText(
            tr("鼠标 X=%1  Y=%2").arg(QString::number(at.x()), QString::number(at.y())));
    }
}

void MainForm::pickReference()
{
    ui_.referencePhoto->setOutline({});
    ui_.referenceBoxes.setTexts(channelTexts(splitColour(probe_)));
}

std::optional<ChannelValues> MainForm::usableReference() const
{
    const std::optional<ChannelValues> reference = completeNumbers(ui_.referenceBoxes.texts());
    return reference && hasReference(*reference) ? reference : std::nullopt;
}

bool MainForm::pickTarget()
{
    ui_.targetPhoto->setOutline({});
    const ChannelTexts referenceTexts = ui_.referenceBoxes.texts();
    if (!hasReference(leadingNumbers(referenceTexts))) {
        notify(tr("请首先选择皮肤样本或在标准照片中选择理想皮肤！"));
        return false;
    }
    const std::optional<ChannelValues> reference = completeNumbers(referenceTexts);
    if (!reference) {
        showInvalidNumber();
        return false;
    }
    const TargetPick pick = ::pickTarget(*reference, probe_);
    ui_.targetBoxes.setTexts(channelTexts(pick.target));
    ui_.differenceBoxes.setTexts(decimalTexts(pick.differences));
    targetChannels_ = pick.target;
    return true;
}

bool MainForm::canSearchSkin(const PhotoBox *photo) const
{
    // The pass's rows are not to be read while it rewrites them.
    return !photo->image().isNull() && !(photo == ui_.targetPhoto && BackgroundJob::running(pass_));
}

void MainForm::searchSkin(PhotoBox *photo)
{
    if (!canSearchSkin(photo))
        return;
    if (skinSearch_)
        skinSearch_->abandon();
    // Shares the pixels: a pass waits for the search before it writes them, and a new picture
    // is a new image.
    const QImage picture = photo->image();
    searchingTarget_ = photo == ui_.targetPhoto;
    skinSearch_ = BackgroundJob::start<std::optional<SkinSample>>(
        this, 1, [picture](WorkProgress &) { return findSkin(picture); },
        [this, photo, key = picture.cacheKey()](std::optional<SkinSample> skin) {
            skinFound(photo, key, skin);
        });
    watch(skinSearch_, false);
}

void MainForm::skinFound(PhotoBox *photo, qint64 pictureKey, const std::optional<SkinSample> &skin)
{
    // Found in a picture no longer shown: what it found means nothing now.
    if (photo->image().cacheKey() != pictureKey)
        return;
    if (!skin) {
        notify(tr("未找到人脸，请手动选取皮肤！"));
        return;
    }
    probe_ = colourWordFromRgb(skin->colour);
    if (photo == ui_.referencePhoto)
        pickReference();
    else if (!pickTarget())
        return;
    photo->setOutline(skin->region);
}

void MainForm::correct()
{
    if (!hasDifference(leadingNumbers(ui_.differenceBoxes.texts()))) {
        notify(tr("你还没有选择皮肤样本和需要的皮肤校正点！请重新选点！"));
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
        notify(tr("需校正色差过大！请重新选点！"));
        ui_.differenceBoxes.setTexts({u"0"_s, u"0"_s, u"0"_s});
        gains_ = Gains();
        actions_->apply(ActionEvent::PassRefused);
        return;
    }
    gains_ = gains.gains;

    // The preview being made would show the picture as it was; it must also let go of the
    // pixels before the pass writes them, or the first write copies them all.
    for (BackgroundJob *job :
         {previewRender_, previewDecode_, searchingTarget_ ? skinSearch_ : nullptr}) {
        if (job)
            job->stopAndWait(false);
    }
    // A one-row picture still gets a range, or the bar would run its busy animation.
    ui_.progressBar->setMaximum(std::max(target_.picture.height() - 1, 1));
    firstUnpaintedRow_ = 0;
    ui_.targetPhoto->holdRowsFrom(0);
    // Detached here, on the window's thread, so that the pass's thread only writes pixels.
    target_.picture.bits();
    passReport_ = std::make_shared<PassReport>();
    QImage *picture = &target_.picture; // stopPass() waits for the pass before it goes
    pass_ = BackgroundJob::start<PassOutcome>(
        this, 1,
        [picture, gains = gains_, interval = passFrameInterval_, report = passReport_,
         hook = passHook_](WorkProgress &progress) {
            return ::runCorrectionPass(*picture, gains, interval,
                                       [&](int row, int, ColourWord pixel) {
                                           report->pixel.store(pixel);
                                           report->row.store(row);
                                           if (hook)
                                               hook(row, progress);
                                           return !progress.cancelled();
                                       });
        },
        [this](PassOutcome outcome) { passEnded(outcome); });
    passTicker_.start(
        int(std::chrono::ceil<std::chrono::milliseconds>(passFrameInterval_).count()));
}

void MainForm::showPassProgress()
{
    if (!passReport_)
        return;
    const int row = passReport_->row.load();
    if (row < firstUnpaintedRow_)
        return;
    const int lastRow = target_.picture.height() - 1;
    ui_.targetPhoto->holdRowsFrom(row + 1);
    ui_.targetPhoto->updateRows(firstUnpaintedRow_, row);
    firstUnpaintedRow_ = row + 1;
    ui_.progressBar->setValue(lastRow == 0 ? 1 : row);
    ui_.targetReadout->setText(tr("已完成_%1%").arg(progressPercent(row, lastRow)));
    probe_ = passReport_->pixel.load();
}

void MainForm::passEnded(PassOutcome outcome)
{
    passTicker_.stop();
    showPassProgress();
    passReport_.reset();
    ui_.targetPhoto->holdRowsFrom(-1);
    probe_ = outcome.lastPixel;
    if (outcome.result == PassResult::Stopped) {
        actions_->apply(ActionEvent::PassStopped);
        return;
    }
    actions_->apply(ActionEvent::PassCompleted);
    series_->setGains(gains_);
    desktop_.beep();
    rebuildPreview();
}

void MainForm::stopPass()
{
    if (pass_)
        pass_->stopAndWait();
}
