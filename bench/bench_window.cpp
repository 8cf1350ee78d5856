// Times what a user waits for in the real window, offscreen: importing a camera-sized target
// (dialog answered until photo and preview are in place), pressing 校正 until the beep, and
// 保存; and the peak memory of a fresh program holding that target and its preview.
// Run by hand: bench_window [runs]

#include "app/application.h"
#include "app/desktop.h"
#include "app/main_form.h"
#include "app/photo_box.h"
#include "bench_support.h"
#include "scripted_desktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

long peakResidentKb()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// In a fresh process: the program with the target imported, and nothing else.
int holdTarget(const QString &path)
{
    ScriptedDesktop desktop;
    desktop.answer = path;
    MainForm form(desktop);
    form.show();
    form.controls().importTargetButton->click();
    runUntil([&] { return form.idle(); });
    std::printf("%ld\n", peakResidentKb());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QApplication app(argc, argv);
    configureApplication(app, QProcessEnvironment());

    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0)
        return holdTarget(QString::fromLocal8Bit(argv[2]));
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    QTemporaryDir dir;
    const QString path = dir.filePath(u"target.jpg"_s);
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    if (!writer.write(photoLikeImage(QSize(6000, 4000)))) {
        std::fprintf(stderr, "cannot write the test photo\n");
        return 1;
    }

    ScriptedDesktop desktop;
    desktop.answer = path;
    MainForm form(desktop);
    form.show();
    QCoreApplication::processEvents();

    const double import = medianMs(runs, [&] {
        form.controls().importTargetButton->click();
        runUntil([&] { return form.idle(); });
    });

    // A pick a few levels off the photo's own colour, so that passes can repeat.
    PhotoBox *target = form.controls().targetPhoto;
    const QRgb picked = target->image().pixel(3000, 2000);
    const int channels[] = {qRed(picked), qGreen(picked), qBlue(picked)};
    const ChannelBoxes &boxes = form.controls().referenceBoxes;
    QLineEdit *const referenceBoxes[] = {boxes.red, boxes.green, boxes.blue};
    for (int i = 0; i < 3; ++i) {
        const int aim = channels[i] < 250 ? channels[i] + 3 : channels[i] - 3;
        referenceBoxes[i]->setText(QString::number(aim));
    }
    emit target->pointerMoved(QPointF(3000, 2000));
    emit target->clicked();
    const double pass = medianMs(runs, [&] {
        form.controls().correctButton->click();
        runUntil([&] { return form.idle(); });
    });
    const double save = medianMs(runs, [&] {
        auto *button = form.controls().saveButton;
        button->setEnabled(true);
        button->click();
        runUntil([&] { return form.idle(); });
    });

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {u"--hold"_s, path});
    child.waitForFinished(60000);
    const long peakKb = child.readAllStandardOutput().trimmed().toLong();

    std::printf("24 MP target, median of %d runs, offscreen\n", runs);
    std::printf("  import (dialog answer to photo and preview): %7.1f ms\n", import);
    std::printf("  correction (校正 to beep, preview included):   %7.1f ms  (%d beeps)\n", pass,
                desktop.beeps);
    std::printf("  save (保存):                                   %7.1f ms\n", save);
    std::printf("  peak memory holding target and preview:       %7.1f MB\n", peakKb / 1024.0);
    return 0;
}
