#include "app/series_flow.h"
#include "correct/correction_pass.h"
#include "output/metadata.h"
#include "output/new_file.h"
#include "output/series_export.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"
#include "window_fixture.h"

#include <QDir>
#include <QMenu>
#include <QProgressDialog>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

using Outcome = SeriesPhoto::Outcome;

const Gains kGains{0.25f, -0.125f, 0.5f};

QImage gradient(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, (x + y) % 256));
    return image;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Every entry of a folder, hidden ones included.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList outcomes(const QList<SeriesPhoto> &photos)
{
    QStringList out;
    for (const SeriesPhoto &photo : photos)
        out << QString::number(int(photo.outcome));
    return out;
}

} // namespace

// The last correction over a series of photos: the pixels, the names, failures and cancel,
// in the core and through the window.
class TestSeries : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void pixelsEqualAPassOnEachPhoto();
    void namesNeverReplace_data();
    void namesNeverReplace();
    void failuresAreReportedAndTheRestSaved();
    void cancelLeavesOnlyWholePhotos();
    void windowOffersTheSeriesAfterAPass();
    void windowCancel();

private:
    QString path(const QString &name) const { return dir_.filePath(name); }
    QString makeFolder(const QString &name) const
    {
        QDir(dir_.path()).mkpath(name);
        return path(name);
    }
    QMenu *openTargetMenu(const WindowFixture &f) const;

    QTemporaryDir dir_;
};

void TestSeries::pixelsEqualAPassOnEachPhoto()
{
    const QString out = makeFolder(u"pixels"_s);
    PhotoMetadata xmp;
    xmp.xmp = R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF )"
              R"(xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description )"
              R"(xmlns:dc="http://purl.org/dc/elements/1.1/" dc:format="image/jpeg"/>)"
              R"(</rdf:RDF></x:xmpmeta>)";
    const QImage image = gradient({67, 45});
    QVERIFY(writeAll(path(u"a.jpg"_s),
                     withMetadata(encodeJpeg(image, 95).data, xmp, image.size()).jpeg));
    QVERIFY(gradient({33, 70}).save(path(u"b.bmp"_s)));
    const QStringList sources{path(u"a.jpg"_s), path(u"b.bmp"_s)};

    const QList<SeriesPhoto> saved = exportSeries(sources, out, kGains, false);
    QCOMPARE(outcomes(saved), QStringList({u"0"_s, u"0"_s}));
    for (const SeriesPhoto &photo : saved) {
        QImage expected = loadPhoto(photo.source).image;
        runCorrectionPass(expected, kGains, {}, [](int, int, ColourWord) { return true; });
        const QImage written = decodeJpeg(readAll(photo.saved)).image;
        QVERIFY(!written.isNull());
        QCOMPARE(written, decodeJpeg(encodeJpeg(expected, 80).data).image);
    }
    QVERIFY(!readMetadata(saved[0].saved).xmp.isEmpty());
    QCOMPARE(readMetadata(saved[0].saved).xmp, readMetadata(sources[0]).xmp);
}

void TestSeries::namesNeverReplace_data()
{
    QTest::addColumn<QStringList>("present"); // "name>" is a link to a file that is not there
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QStringList>("added");
    QTest::newRow("free") << QStringList() << QStringList{u"a.bmp"_s} << QStringList{u"a.jpg"_s};
    QTest::newRow("taken twice") << QStringList{u"a.jpg"_s, u"a-1.jpg"_s} << QStringList{u"a.bmp"_s}
                                 << QStringList{u"a-2.jpg"_s};
    QTest::newRow("the same name from two folders")
        << QStringList() << QStringList{u"x/a.bmp"_s, u"y/a.bmp"_s}
        << QStringList{u"a-1.jpg"_s, u"a.jpg"_s};
    QTest::newRow("only the last suffix goes")
        << QStringList{u"b.v2.jpg"_s} << QStringList{u"b.v2.bmp"_s} << QStringList{u"b.v2-1.jpg"_s};
    QTest::newRow("a planted link is not followed")
        << QStringList{u"c.jpg>"_s} << QStringList{u"c.bmp"_s} << QStringList{u"c-1.jpg"_s};
}

void TestSeries::namesNeverReplace()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, sources);
    QFETCH(QStringList, added);
    const QString out = makeFolder(u"names/%1"_s.arg(QString::fromUtf8(QTest::currentDataTag())));
    const QString victim = path(u"victim.jpg"_s);
    for (const QString &name : present) {
        if (name.endsWith(u'>'))
            QVERIFY(QFile::link(victim, out + u'/' + name.chopped(1)));
        else
            QVERIFY(writeAll(out + u'/' + name, name.toUtf8()));
    }
    QStringList paths;
    for (const QString &source : sources) {
        makeFolder(u"sources/"_s + QFileInfo(source).path());
        QVERIFY(gradient({5, 4}).save(path(u"sources/"_s + source), "BMP"));
        paths << path(u"sources/"_s + source);
    }
    const QStringList before = entries(out);

    exportSeries(paths, out, kGains, false);
    QStringList now = entries(out);
    for (const QString &name : before)
        now.removeOne(name);
    QCOMPARE(now, added);
    for (const QString &name : present) {
        if (!name.endsWith(u'>'))
            QCOMPARE(readAll(out + u'/' + name), name.toUtf8());
    }
    QVERIFY(!QFileInfo::exists(victim));
}

void TestSeries::failuresAreReportedAndTheRestSaved()
{
    const QString out = makeFolder(u"failures"_s);
    QVERIFY(gradient({20, 10}).save(path(u"good.bmp"_s)));
    QByteArray damaged = encodeJpeg(gradient({20, 10}), 90).data;
    damaged.truncate(40);
    QVERIFY(writeAll(path(u"damaged.jpg"_s), damaged));
    const QStringList sources{path(u"good.bmp"_s), path(u"damaged.jpg"_s), path(u"good.bmp"_s),
                              path(u"missing.jpg"_s)};

    QList<int> told;
    const QList<SeriesPhoto> photos =
        exportSeries(sources, out, kGains, false,
                     [&](int done, int index, const SeriesPhoto &) { told << done * 10 + index; });
    QCOMPARE(outcomes(photos), QStringList({u"0"_s, u"1"_s, u"0"_s, u"1"_s}));
    QCOMPARE(told.size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(told[i] / 10, i + 1);
    QCOMPARE(entries(out), QStringList({u"good-1.jpg"_s, u"good.jpg"_s}));

    // A folder that is not one refuses every photo, with the reason.
    const QList<SeriesPhoto> refused =
        exportSeries({sources[0]}, path(u"good.bmp"_s), kGains, false);
    QCOMPARE(refused[0].outcome, Outcome::NotWritten);
    QCOMPARE(refused[0].error, ENOTDIR);
}

void TestSeries::cancelLeavesOnlyWholePhotos()
{
    const QString out = makeFolder(u"cancel"_s);
    QStringList sources;
    for (int i = 0; i < 6; ++i) {
        sources << path(u"c%1.bmp"_s.arg(i));
        QVERIFY(gradient({300, 200 + i}).save(sources.last()));
    }
    std::atomic<bool> cancel = false;
    const QList<SeriesPhoto> photos = exportSeries(
        sources, out, kGains, cancel, [&](int, int, const SeriesPhoto &) { cancel = true; });
    QStringList saved;
    for (const SeriesPhoto &photo : photos) {
        if (photo.outcome == Outcome::Saved)
            saved << QFileInfo(photo.saved).fileName();
        else
            QCOMPARE(photo.outcome, Outcome::Cancelled);
    }
    QVERIFY(!saved.isEmpty());
    QVERIFY(saved.size() < 3); // one per worker at most
    saved.sort();
    QCOMPARE(entries(out), saved);
    for (const QString &name : saved)
        QVERIFY(!decodeJpeg(readAll(out + u'/' + name)).image.isNull());
}

QMenu *TestSeries::openTargetMenu(const WindowFixture &f) const
{
    PhotoBox *box = f.photo("SaveForm");
    const QPoint at = box->mapTo(f.form.get(), QPoint(2, 2) + box->contentsRect().topLeft());
    QTest::mouseClick(f.form->windowHandle(), Qt::RightButton, {}, at);
    QMenu *menu = nullptr;
    const auto opened = [&] {
        return menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    };
    return QTest::qWaitFor(opened) ? menu : nullptr;
}

// The entry appears once a pass has completed; the series then uses that pass's gains and
// leaves the window's photo, boxes and buttons as they were.
void TestSeries::windowOffersTheSeriesAfterAPass()
{
    WindowFixture f;
    QVERIFY(f.open());
    f.prepare({6, 5}, QColor(200, 150, 170), QColor(200, 150, 170), {u"220"_s, u"180"_s, u"160"_s});
    const auto seriesEntry = [&]() -> QAction * {
        QMenu *menu = openTargetMenu(f);
        if (!menu)
            return nullptr;
        menu->hide();
        for (QAction *action : menu->actions())
            if (action->text() == u"应用到其他照片…"_s)
                return action;
        return nullptr;
    };
    QVERIFY(!seriesEntry());
    f.press("校正");
    QAction *entry = seriesEntry();
    QVERIFY(entry);

    const QImage target = f.photo("SaveForm")->image();
    const QStringList boxes = f.texts({"主红", "主绿", "主蓝", "客红", "客绿", "客蓝"});
    const QString buttons = f.enabledStates();
    const QString out = makeFolder(u"window"_s);
    QVERIFY(f.filled({16, 16}, QColor(200, 150, 170)).save(path(u"skin.bmp"_s)));
    QVERIFY(writeAll(path(u"broken.jpg"_s), "\xff\xd8\xff"));
    f.desktop.manyAnswers << QStringList{path(u"skin.bmp"_s), path(u"broken.jpg"_s)};
    f.desktop.folderAnswers << out;
    auto *series = f.form->findChild<SeriesFlow *>();
    QSignalSpy finished(series, &SeriesFlow::finished);
    entry->trigger();
    QVERIFY(f.form->findChild<QProgressDialog *>());
    QVERIFY(finished.wait(20000));

    QCOMPARE(f.desktop.requests.last().selectedFilter, 1);
    QCOMPARE(f.desktop.messages.size(), 1);
    QCOMPARE(f.desktop.messages[0].title, u"提示"_s);
    QCOMPARE(f.desktop.messages[0].text, u"已保存 1 张照片。\n以下 1 张照片未能保存："_s);
    QCOMPARE(f.desktop.messages[0].lines, QStringList(u"broken.jpg：无法打开该图片文件"_s));
    const QImage saved = loadPhoto(out + u"/skin.jpg"_s).image;
    QVERIFY(!saved.isNull());
    const QColor pixel = saved.pixelColor(8, 8);
    QVERIFY2(qAbs(pixel.red() - 220) <= 2 && qAbs(pixel.green() - 180) <= 2 &&
                 qAbs(pixel.blue() - 160) <= 2,
             qPrintable(pixel.name()));
    QCOMPARE(f.photo("SaveForm")->image(), target);
    QCOMPARE(f.texts({"主红", "主绿", "主蓝", "客红", "客绿", "客蓝"}), boxes);
    QCOMPARE(f.enabledStates(), buttons);
    QVERIFY(!f.form->findChild<QProgressDialog *>());
    f.close();
}

// Cancel in the progress dialog: the box says so and counts exactly the photos in the folder.
void TestSeries::windowCancel()
{
    WindowFixture f;
    QVERIFY(f.open());
    f.prepare({6, 5}, QColor(200, 150, 170), QColor(200, 150, 170), {u"220"_s, u"180"_s, u"160"_s});
    f.press("校正");
    QStringList sources;
    for (int i = 0; i < 8; ++i) {
        sources << path(u"w%1.bmp"_s.arg(i));
        QVERIFY(gradient({400, 300}).save(sources.last()));
    }
    const QString out = makeFolder(u"window-cancel"_s);
    f.desktop.manyAnswers << sources;
    f.desktop.folderAnswers << out;
    auto *series = f.form->findChild<SeriesFlow *>();
    QSignalSpy finished(series, &SeriesFlow::finished);
    series->start();
    QProgressDialog *progress = f.form->findChild<QProgressDialog *>();
    QVERIFY(progress && progress->isVisible());
    QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
    QVERIFY(finished.wait(20000));
    QCOMPARE(f.desktop.messages.size(), 1);
    QCOMPARE(f.desktop.messages[0].text, u"已取消。已保存 %1 张照片。"_s.arg(entries(out).size()));
    f.close();
}

QTEST_MAIN(TestSeries)
#include "tst_series.moc"
