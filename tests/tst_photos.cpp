#include "app/lifecycle.h"
#include "app/qt_desktop.h"
#include "memory_limit.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"
#include "window_fixture.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>

#include <sys/stat.h>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

// Photos in and out through the window: import, drag, preview, save and reload.
class TestPhotos : public QObject
{
    Q_OBJECT

    WindowFixture f_;

private slots:
    void init() { QVERIFY(f_.open()); }
    void cleanup() { f_.close(); }

    // Closed while the photo is read: the preview file that work writes goes with the window.
    void closedWhileReadingLeavesNoPreview()
    {
        const QString path = f_.writePhoto(u"big.bmp"_s, filled({2000, 1500}, Qt::gray));
        QTimer::singleShot(0, f_.form.get(), &QWidget::close);
        f_.importVia(f_.ui().importTargetButton, path);
        QVERIFY(!QFileInfo::exists(Lifecycle::temporaryPreviewPath()));
    }

    void openDialogFiltersWhateverTheCase()
    {
        f_.importVia(f_.ui().importReferenceButton, QString());
        const OpenDialogRequest r = f_.desktop.requests.value(0);
        const QString allPhotos =
            u"所有照片(*.jpg *.jpeg *.png *.bmp *.gif *.ico *.tif *.tiff *.webp *.heic *.heif)"_s;
        QCOMPARE(r.filters, QStringList({u"BMP图像(*.BMP)"_s, u"JPG图像(*.jpg)"_s,
                                         u"GIF图像(*.gif)"_s, u"ICO图像(*.ico)"_s, allPhotos}));
        QCOMPARE(r.selectedFilter, 1);
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QCOMPARE(r.folder, QFileInfo(pictures).isDir() ? pictures : QDir::homePath());

        // The real dialog shows "*.BMP" files in any case, and only those; every photo of any
        // case among all photos; and takes a typed name that it does not show.
        for (const char *name : {"lower.bmp", "UPPER.BMP", "other.jpg", "notes.txt", "PHOTO.HEIC",
                                 "scan.Tiff", "photo.webp"})
            writeFile(f_.files->filePath(QString::fromLatin1(name)), "not decoded here");
        const OpenDialogRequest request{r.filters, r.selectedFilter, f_.files->path()};
        std::unique_ptr<QFileDialog> dialog(QtDesktop::makeOpenDialog(nullptr, request));
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->selectedNameFilter(), u"JPG图像(*.jpg)"_s);
        dialog->selectNameFilter(r.filters.first());
        auto *model = dialog->findChild<QFileSystemModel *>();
        auto shown = [&] {
            QStringList names;
            const QModelIndex folder = model->index(f_.files->path());
            for (int i = 0; i < model->rowCount(folder); ++i)
                names << model->index(i, 0, folder).data().toString();
            names.sort();
            return names;
        };
        QTRY_COMPARE(shown(), QStringList({u"UPPER.BMP"_s, u"lower.bmp"_s}));
        dialog->selectNameFilter(allPhotos);
        QTRY_COMPARE(shown(), QStringList({u"PHOTO.HEIC"_s, u"UPPER.BMP"_s, u"lower.bmp"_s,
                                           u"other.jpg"_s, u"photo.webp"_s, u"scan.Tiff"_s}));
        dialog->selectFile(u"notes.txt"_s);
        static_cast<QDialog *>(dialog.get())->accept(); // as the Open button does
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles(), QStringList(f_.files->filePath(u"notes.txt"_s)));
    }

    void cancelOrUnreadableChangesNothing_data()
    {
        QTest::addColumn<bool>("target");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        const QString unreadable = u"提示|无法打开该图片文件！"_s;
        for (const bool target : {false, true}) {
            const char *side = target ? "target" : "reference";
            QTest::addRow("%s cancelled", side) << target << u"cancel"_s << QString();
            QTest::addRow("%s named pipe", side) << target << u"fifo"_s << unreadable;
            QTest::addRow("%s out of memory", side)
                << target << u"huge"_s << u"提示|内存不足，无法完成该操作！"_s;
        }
    }

    // Nothing changes, nothing blocks: a named pipe would wait for a writer for ever. The good
    // photo's odd sides put its centre between pixels, which rounds towards the top left; the
    // other sizes are in tst_window's pictures. Only a target makes a preview.
    void cancelOrUnreadableChangesNothing()
    {
        QFETCH(bool, target);
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString good = f_.writePhoto(u"good.bmp"_s, filled({51, 41}, QColor(1, 2, 3)));
        f_.importVia(f_.ui().importReferenceButton, good);
        QVERIFY(f_.preview().isNull() && !QFileInfo::exists(Lifecycle::temporaryPreviewPath()));
        f_.importVia(f_.ui().importTargetButton, good);
        const QImage before = f_.preview();
        const QString chosen = f_.files->filePath(u"chosen.jpg"_s);
        // A header claiming 10000 x 10000 pixels, which a capped process cannot hold.
        QByteArray huge = encodeJpeg(filled({16, 16}, Qt::blue), 90).data;
        huge.replace(huge.indexOf("\xff\xc0") + 5, 4, QByteArray::fromHex("27102710"));
        QVERIFY(kind != u"fifo" || mkfifo(QFile::encodeName(chosen).constData(), 0600) == 0);
        QVERIFY(kind != u"huge" || !writeFile(chosen, huge).isEmpty());
        const auto importChangesNothing = [&] {
            f_.importVia(target ? f_.ui().importTargetButton : f_.ui().importReferenceButton,
                         kind == u"cancel" ? QString() : chosen);
            bool same = f_.preview() == before;
            for (const PhotoBox *photo : {f_.ui().referencePhoto, f_.ui().targetPhoto})
                same = same && photo->image().size() == QSize(51, 41) &&
                       photo->pos() == QPoint(180, 235);
            return same &&
                   f_.desktop.texts() == (message.isEmpty() ? QStringList() : QStringList(message));
        };
        if (kind == u"huge") {
#ifdef ORVANE_ADDRESS_SANITIZER
            QSKIP("AddressSanitizer reserves more address space than any cap allows");
#endif
            QCOMPARE(
                inCappedRerun(qint64(200) << 20, [&] { return importChangesNothing() ? 0 : 1; }),
                0);
            return;
        }
        QVERIFY(importChangesNothing());
        // The remembered target is still the good file: a save goes beside it.
        f_.press(f_.ui().saveButton);
        QVERIFY(readFile(f_.files->filePath(u"good.jpg"_s)).startsWith("\xff\xd8"));
    }

    // Boxes asked for while one shows wait their turn, once each. A burst of photos handed
    // over meanwhile opens no box inside it; after it only the newest is opened, with one box
    // for the whole burst, and the window goes on.
    void handedOverBurstOpensTheNewestOnce()
    {
        const QString bad = writeFile(f_.files->filePath(u"bad.jpg"_s), "\xff\xd8\xff\xe0");
        f_.desktop.whileBoxShows = [&] {
            for (int i = 0; i < 1000; ++i)
                f_.form->handOver(bad);
            f_.press(f_.ui().correctButton);
            f_.press(f_.ui().correctButton);
            QTest::qWait(50); // the box's own event loop
        };
        f_.press(f_.ui().helpButton);
        QTRY_COMPARE(f_.desktop.messages.size(), 3);
        QCOMPARE(f_.desktop.texts().mid(1),
                 QStringList({u"提示|你还没有选择皮肤样本和需要的皮肤校正点！请重新选点！"_s,
                              u"提示|无法打开该图片文件！"_s}));
        QCOMPARE(f_.desktop.deepest, 1);
        f_.form->handOver(f_.writePhoto(u"good.bmp"_s, filled({30, 20}, Qt::darkRed)));
        QTRY_COMPARE(f_.ui().targetPhoto->image().size(), QSize(30, 20));
        QCOMPARE(f_.desktop.messages.size(), 3);
    }

    // Work the user has left behind is not waited for. A photo superseded while it loads never
    // reaches the screen, nor does what went wrong with it; 保存 waits for the metadata it keeps
    // while 校正 need not; Esc during a slow read ends the program at once, the preview gone.
    void leftWorkIsNotWaitedFor()
    {
        std::atomic<bool> reading = false, release = false;
        f_.form->setMetadataReader([&](const QString &) {
            reading = true;
            while (!release)
                std::this_thread::yield();
            return PhotoMetadata();
        });
        f_.form->openTarget(writeFile(f_.files->filePath(u"bad.jpg"_s), "\xff\xd8\xff\xe0"));
        f_.form->openTarget(f_.writePhoto(u"good.bmp"_s, filled({30, 20}, Qt::darkRed)));
        QCOMPARE(f_.enabledStates(), u"0001"_s); // until the photo is read
        QTRY_VERIFY(reading);
        QCOMPARE(f_.ui().targetPhoto->image().size(), QSize(30, 20));
        QTRY_VERIFY(QFileInfo::exists(Lifecycle::temporaryPreviewPath()));
        QCOMPARE(f_.enabledStates(), u"1011"_s);
        QSignalSpy exit(f_.form.get(), &MainForm::exitRequested);
        QTest::keyClick(f_.form.get(), Qt::Key_Escape);
        QCOMPARE(exit.size(), 1);
        QVERIFY(f_.form->idle());
        QVERIFY(!QFileInfo::exists(Lifecycle::temporaryPreviewPath()));
        QVERIFY(f_.desktop.messages.isEmpty());
        release = true;
        QTRY_COMPARE(BackgroundJob::threadsAtWork(), 0); // before the flags go
    }

    void dragMovesByPointerTravelThenClicks()
    {
        QImage image = filled({400, 494}, QColor(90, 80, 70)); // centres at (5, 8)
        image.setPixel(60, 35, qRgb(9, 8, 7));
        const QString path = f_.writePhoto(u"r.bmp"_s, image);
        f_.importVia(f_.ui().importReferenceButton, path);
        f_.importVia(f_.ui().importTargetButton, path);
        PhotoBox *reference = f_.ui().referencePhoto, *target = f_.ui().targetPhoto;
        const QPoint inset = reference->contentsRect().topLeft();

        // Nothing pressed yet: the anchor is all zero.
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(7, 9) + inset);
        QCOMPARE(target->pos(), QPoint(7, 9));

        QTest::mousePress(reference, Qt::LeftButton, {}, QPoint(10, 30) + inset);
        // A right press and release mid-drag neither move nor pick: the left button alone drags.
        QTest::mousePress(reference, Qt::RightButton, {}, QPoint(12, 33) + inset);
        QTest::mouseRelease(reference, Qt::RightButton, {}, QPoint(19, 34) + inset);
        QCOMPARE(reference->pos(), QPoint(5, 8));
        QCOMPARE(f_.texts({f_.ui().referenceBoxes}), u"  "_s);
        QTest::mouseMove(reference, QPoint(60, 35) + inset);
        QTest::mouseRelease(reference, Qt::LeftButton, {}, QPoint(60, 35) + inset);
        QCOMPARE(reference->pos(), QPoint(55, 13));
        // The click that follows the release picked the pixel under the pointer.
        QCOMPARE(f_.texts({f_.ui().referenceBoxes}), u"9 8 7"_s);

        // The anchor is shared: a release on the other photo moves it by the same rule.
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(20, 31) + inset);
        QCOMPARE(target->pos(), QPoint(5 + 10, 8 + 1));

        // The border of a picture box is not part of its picture: over it the readout and the
        // probe stay, a click picks nothing, a press there starts no drag, and a press on the
        // picture released off it picks nothing.
        f_.clickAt(target, {0, 0});
        QCOMPARE(f_.ui().targetReadout->text(), u"鼠标 X=0  Y=0"_s);
        const QString picked = f_.texts({f_.ui().targetBoxes});
        // The border pixels next to the picture's first and last column and row.
        for (const QPoint border : {QPoint(1, 5), QPoint(402, 5), QPoint(5, 1), QPoint(5, 496)}) {
            QTest::mouseMove(target, border);
            QTest::mousePress(target, Qt::LeftButton, {}, border);
            QTest::mouseRelease(target, Qt::LeftButton, {}, border + QPoint(3, 4));
        }
        QCOMPARE(f_.ui().targetReadout->text(), u"鼠标 X=0  Y=0"_s);
        QCOMPARE(target->pos(), QPoint(5 + 10, 8 + 1));
        QCOMPARE(f_.texts({f_.ui().targetBoxes}), picked);

        PhotoBox *swatch = f_.ui().swatches[1];
        QTest::mousePress(swatch, Qt::LeftButton, {}, QPoint(5, 30));
        QTest::mouseRelease(swatch, Qt::LeftButton, {}, QPoint(-20, 30));
        QCOMPARE(f_.texts({f_.ui().referenceBoxes}), u"9 8 7"_s);
        // A click on it picks its colour and leaves the readout.
        const QString readout = f_.ui().referenceReadout->text();
        const QColor colour = swatch->image().pixelColor(10, 20);
        f_.clickAt(swatch, {10, 20});
        QCOMPARE(f_.texts({f_.ui().referenceBoxes}),
                 u"%1 %2 %3"_s.arg(colour.red()).arg(colour.green()).arg(colour.blue()));
        QCOMPARE(f_.ui().referenceReadout->text(), readout);
    }

    void previewFollowsTargetAndToggles()
    {
        f_.importVia(f_.ui().importTargetButton,
                     f_.writePhoto(u"t.bmp"_s, filled({636, 476}, QColor(200, 120, 40))));
        auto *frame = f_.ui().previewFrame;         // its size is in tst_window's pictures
        QCOMPARE(f_.ui().previewCaption->x(), 272); // 271.5
        // Decoded only once the frame is shown.
        auto *toggle = f_.ui().previewToggle;
        QVERIFY(!frame->isVisible());
        QVERIFY(f_.ui().previewImage->image().isNull());
        const QColor middle = f_.preview().pixelColor(f_.preview().rect().center());
        QVERIFY(qAbs(middle.red() - 200) <= 3 && qAbs(middle.blue() - 40) <= 3);
        QVERIFY(frame->isVisible());
        // Stretched smoothly: a fine pattern shown at half its size is grey, not black and white.
        PreviewImage checks;
        checks.setImage(painted({64, 48}, [](int x, int y) {
            return (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        }));
        checks.resize(32, 24);
        const QImage shown = checks.grab().toImage();
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                QVERIFY(qAbs(qGray(shown.pixel(x, y)) - 128) < 32);

        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(!frame->isVisible());
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(frame->isVisible());
        QTest::mouseClick(f_.ui().previewImage, Qt::LeftButton);
        QVERIFY(!frame->isVisible());
        QVERIFY(!toggle->isChecked());
    }

    // The file gets exactly the bytes the preview showed, a JPEG at quality 80. A JPEG is saved
    // over whatever its name; any other photo keeps its file, and its JPEG goes beside it under
    // the first free name, which is the photo's file from then on.
    void saveThenReloadShowsSavedJpeg()
    {
        f_.press(f_.ui().saveButton);   // nothing imported: nowhere to save
        f_.press(f_.ui().reloadButton); // nothing imported: only the buttons come back
        QCOMPARE(f_.enabledStates(), u"1111"_s);
        QVERIFY(!QFileInfo::exists(Lifecycle::temporaryPreviewPath()));
        const QImage original = gradient({64, 48});
        const QString bitmap = f_.writePhoto(u"keep.bmp"_s, original);
        const QByteArray bitmapBytes = readFile(bitmap);
        const QString taken = writeFile(f_.files->filePath(u"keep.jpg"_s), "someone's photo");
        f_.importVia(f_.ui().importTargetButton, bitmap);
        f_.press(f_.ui().saveButton);
        QCOMPARE(f_.desktop.texts().value(1), u"提示|照片已保存为 keep-1.jpg"_s);
        QCOMPARE(f_.enabledStates(), u"1011"_s);
        const QString path = f_.files->filePath(u"keep-1.jpg"_s);
        const QByteArray saved = readFile(path);
        QCOMPARE(saved, encodeJpeg(original, 80).data);
        QCOMPARE(saved, readFile(Lifecycle::temporaryPreviewPath()));
        QCOMPARE(readFile(bitmap), bitmapBytes);
        QCOMPARE(readFile(taken), "someone's photo"_ba);

        PhotoBox *target = f_.ui().targetPhoto;
        target->move(33, 44);
        f_.press(f_.ui().reloadButton);
        QCOMPARE(target->image(), loadPhoto(path).image);
        QCOMPARE(target->pos(), QPoint(33, 44)); // a reload does not re-centre
        QCOMPARE(f_.enabledStates(), u"1111"_s);

        // Now a camera's sideways JPEG, by its bytes: saved over, under a name that never said
        // so, upright as shown and with its maker kept; its XMP, not XML, is not, and the user
        // is told.
        const QByteArray exif =
            QByteArray::fromHex("ffe1003c457869660000 4d4d002a00000008 0002"
                                "010f00020000000e00000026 011200030000000100060000"
                                "00000000") +
            QByteArray("Orvane Optics", 14);
        const QString misnamed =
            writeFile(f_.files->filePath(u"misnamed.png"_s),
                      withXmpSegment(encodeJpeg(filled({64, 32}, Qt::darkBlue), 95).data, "<x:")
                          .insert(2, exif));
        f_.importVia(f_.ui().importTargetButton, misnamed);
        f_.form->targetPhoto().picture.fill(Qt::darkGreen);
        f_.press(f_.ui().saveButton);
        QCOMPARE(f_.desktop.texts().mid(2), {u"提示|照片已保存，但其中的XMP未能保留。"_s});
        QCOMPARE(decodeJpeg(readFile(misnamed)).image,
                 decodeJpeg(encodeJpeg(target->image(), 80).data).image);
        QCOMPARE(target->image().size(), QSize(32, 64));
        QVERIFY(readFile(misnamed).contains("Orvane Optics"));
        QCOMPARE(entries(f_.files->path()),
                 QStringList({u"keep-1.jpg"_s, u"keep.bmp"_s, u"keep.jpg"_s, u"misnamed.png"_s}));

        // The photo's file becomes a folder: the save fails (for root too) and leaves it.
        f_.press(f_.ui().reloadButton);
        const QImage reloaded = target->image();
        QVERIFY(QFile::remove(misnamed) && QDir().mkdir(misnamed));
        f_.press(f_.ui().saveButton);
        QVERIFY(QFileInfo(misnamed).isDir());
        f_.press(f_.ui().reloadButton);
        QCOMPARE(target->image(), reloaded);
        QCOMPARE(f_.enabledStates(), u"1011"_s);
        QCOMPARE(f_.desktop.texts().mid(3),
                 QStringList({u"Orvane|保存失败"_s, u"提示|无法打开该图片文件！"_s}));
    }
};

WINDOW_TEST_MAIN(TestPhotos)

#include "tst_photos.moc"
