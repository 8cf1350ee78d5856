// The whole job a user does, against `vips linear` doing the same to the same file: each run a
// fresh process, timed by wall clock, with its peak resident memory. Orvane's job is the real
// window, offscreen: import a target (dialog answered), pick its skin, 校正 until the beep,
// 保存. vips applies the same gains and saves at the same quality. Runs alternate, so that
// other load on the machine falls on both alike.
// Run by hand: bench_whole_job [runs]          24, 96 and 150 MP, vips too if installed
//              bench_whole_job --large W H     one job on a W x H photo, peak memory only
//              bench_whole_job --photo W H F   writes the test photo, to profile one job on it

#include "app/application.h"
#include "app/desktop.h"
#include "app/main_form.h"
#include "app/photo_box.h"
#include "bench_support.h"
#include "photo/jpeg_codec.h"
#include "scripted_desktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The longest time between two ticks of a 5 ms timer while work runs: how long the window
// could not paint.
class FreezeMeter
{
public:
    FreezeMeter()
    {
        ticker_.setInterval(5);
        QObject::connect(&ticker_, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        longest_ = 0;
        since_.start();
        ticker_.start();
    }
    double stopMs()
    {
        tick();
        ticker_.stop();
        return longest_ / 1e6;
    }

private:
    void tick()
    {
        longest_ = std::max(longest_, since_.nsecsElapsed());
        since_.restart();
    }
    QTimer ticker_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
};

// In a fresh process: the job, from the window's start to the end of 保存. Prints the
// press-to-beep time and the longest freeze of import, pass and save, in ms.
int runJob(const QString &path)
{
    ScriptedDesktop desktop;
    desktop.answer = path;
    MainForm form(desktop);
    form.show();
    QCoreApplication::processEvents();
    FreezeMeter freeze;

    // The user goes on as soon as the photo shows; its preview is still being made.
    freeze.start();
    form.controls().importTargetButton->click();
    PhotoBox *target = form.controls().targetPhoto;
    runUntil([&] { return !target->image().isNull() || desktop.failed; });
    const double importFreeze = freeze.stopMs();

    // The skin picked at the centre; a reference that asks for gains 1.1, 0.95, 0.9.
    const QPoint centre(target->image().width() / 2, target->image().height() / 2);
    const QRgb picked = target->image().pixel(centre);
    const int channels[] = {qRed(picked), qGreen(picked), qBlue(picked)};
    const double gains[] = {1.1, 0.95, 0.9};
    const ChannelBoxes &boxes = form.controls().referenceBoxes;
    QLineEdit *const referenceBoxes[] = {boxes.red, boxes.green, boxes.blue};
    for (int i = 0; i < 3; ++i)
        referenceBoxes[i]->setText(QString::number(std::lround(channels[i] * gains[i])));
    emit target->pointerMoved(QPointF(centre));
    emit target->clicked();

    freeze.start();
    QElapsedTimer press;
    press.start();
    form.controls().correctButton->click();
    runUntil([&] { return desktop.beeps > 0 || desktop.failed; });
    const double pressToBeep = press.nsecsElapsed() / 1e6;
    // 保存 waits for the preview's encoding, which it then writes as it is.
    QPushButton *save = form.controls().saveButton;
    runUntil([&] { return save->isEnabled(); });
    const double passFreeze = freeze.stopMs();

    freeze.start();
    save->click();
    runUntil([&] { return form.idle(); });
    const double saveFreeze = freeze.stopMs();
    if (desktop.beeps != 1 || desktop.failed)
        return 1;
    std::printf("%.1f %.1f %.1f %.1f\n", pressToBeep, importFreeze, passFreeze, saveFreeze);
    return 0;
}

struct Run
{
    double seconds = 0;
    double peakMb = 0;
    QByteArray output;
    bool ok = false;
};

// Runs a program as a fresh process; its wall time, peak resident memory and first output line.
Run timed(const QStringList &arguments)
{
    std::vector<QByteArray> bytes;
    for (const QString &a : arguments)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    QElapsedTimer wall;
    wall.start();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    Run run;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, got);
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.seconds = wall.nsecsElapsed() / 1e9;
    run.peakMb = usage.ru_maxrss / 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct Summary
{
    double median = 0, low = 0, high = 0;
};

Summary summary(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

bool writePhoto(const QString &path, QSize size)
{
    // Like a camera's file: one piece, no restart markers.
    const QByteArray jpeg = encodeJpeg(photoLikeImage(size), 90, nullptr, JpegThreads::One).data;
    QFile file(path);
    return !jpeg.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size();
}

bool copyFresh(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

QString program()
{
    return QCoreApplication::applicationFilePath();
}

int largeJob(QSize size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"large.jpg"_s);
    if (!writePhoto(path, size)) {
        std::fprintf(stderr, "cannot write the test photo\n");
        return 1;
    }
    const Run run = timed({program(), u"--job"_s, path});
    const double megapixels = double(size.width()) * size.height() / 1e6;
    const double budgetMb = (4.5 * megapixels * 1e6 + 150e6) / (1024.0 * 1024.0);
    std::printf(
        "%d x %d (%.1f MP): %s in %.2f s, peak %.0f MB (%.2f bytes a pixel), goal %.0f MB\n",
        size.width(), size.height(), megapixels, run.ok ? "done" : "FAILED", run.seconds,
        run.peakMb, run.peakMb * 1024 * 1024 / (megapixels * 1e6), budgetMb);
    return run.ok ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QApplication app(argc, argv);
    configureApplication(app, QProcessEnvironment());

    if (argc == 3 && qstrcmp(argv[1], "--job") == 0)
        return runJob(QString::fromLocal8Bit(argv[2]));
    if (argc == 5 && qstrcmp(argv[1], "--photo") == 0) {
        const QSize size(atoi(argv[2]), atoi(argv[3]));
        return writePhoto(QString::fromLocal8Bit(argv[4]), size) ? 0 : 1;
    }
    if (argc == 4 && qstrcmp(argv[1], "--large") == 0)
        return largeJob(QSize(atoi(argv[2]), atoi(argv[3])));
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    const QString vips = QStandardPaths::findExecutable(u"vips"_s);
    const struct
    {
        const char *name;
        QSize size;
    } photos[] = {{"24 MP", {6000, 4000}}, {"96 MP", {12000, 8000}}, {"150 MP", {15000, 10000}}};

    QTemporaryDir dir;
    std::printf("whole job, %d runs each, median (min-max); %ld cores\n", runs,
                sysconf(_SC_NPROCESSORS_ONLN));
    QString ratios;
    std::vector<double> beeps;
    for (const auto &photo : photos) {
        const QString source = dir.filePath(u"source.jpg"_s);
        const QString target = dir.filePath(u"target.jpg"_s);
        const QString out = dir.filePath(u"out.jpg"_s);
        if (!writePhoto(source, photo.size)) {
            std::fprintf(stderr, "cannot write the test photo\n");
            return 1;
        }
        std::vector<double> ours, theirs, ourPeak, theirPeak, freezes[3];
        for (int i = 0; i < runs; ++i) {
            if (!copyFresh(source, target))
                return 1;
            const Run run = timed({program(), u"--job"_s, target});
            if (!run.ok) {
                std::fprintf(stderr, "Orvane's job failed\n");
                return 1;
            }
            ours.push_back(run.seconds);
            ourPeak.push_back(run.peakMb);
            const QList<QByteArray> figures = run.output.trimmed().split(' ');
            if (photo.size.width() == 6000)
                beeps.push_back(figures.value(0).toDouble());
            for (int k = 0; k < 3; ++k)
                freezes[k].push_back(figures.value(k + 1).toDouble());
            if (vips.isEmpty())
                continue;
            QFile::remove(out);
            const Run other = timed(
                {vips, u"linear"_s, source, out + u"[Q=80]"_s, u"1.1 0.95 0.9"_s, u"0 0 0"_s});
            if (!other.ok) {
                std::fprintf(stderr, "vips failed\n");
                return 1;
            }
            theirs.push_back(other.seconds);
            theirPeak.push_back(other.peakMb);
        }
        const Summary a = summary(ours), pa = summary(ourPeak);
        std::printf("%-7s Orvane %.2f s (%.2f-%.2f), peak %.0f MB", photo.name, a.median, a.low,
                    a.high, pa.median);
        if (!theirs.empty()) {
            const Summary b = summary(theirs), pb = summary(theirPeak);
            std::printf(" | vips %.2f s (%.2f-%.2f), peak %.0f MB | ratio %.2f", b.median, b.low,
                        b.high, pb.median, a.median / b.median);
            ratios += u" %1 %2"_s.arg(QString::fromUtf8(photo.name),
                                      QString::number(a.median / b.median, 'f', 2));
        }
        std::printf("\n        longest freeze: import %.0f ms, 校正 %.0f ms, 保存 %.0f ms\n",
                    summary(freezes[0]).high, summary(freezes[1]).high, summary(freezes[2]).high);
    }
    const Summary beep = summary(beeps);
    std::printf("press-to-beep at 24 MP: %.0f ms (%.0f-%.0f)\n", beep.median, beep.low, beep.high);
    if (vips.isEmpty())
        std::printf("vips is not installed: no ratio\n");
    else
        std::printf("ratio to vips:%s\n", qPrintable(ratios));
    return 0;
}
