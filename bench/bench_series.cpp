// The correction over a series: 20 photos of 24 MP, each with a face, corrected into a folder
// with one set of gains and with each photo's skin matched, against a shell loop of `vips
// linear` over the same files (Debian's libvips-tools, when installed).
// Usage: bench_series [runs]

#include "bench_support.h"
#include "output/series_export.h"
#include "photo/jpeg_codec.h"
#include "synthetic_face.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPhotos = 20;
const Gains kGains{0.1f, 0.2f, -0.0588f};
const MatchSkin kMatch{{220, 180, 160}};

struct Spread
{
    double median, low, high;
};

Spread spreadOf(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front(), times.back()};
}

double secondsOf(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}

QString freshFolder(const QTemporaryDir &dir, const QString &name)
{
    QDir(dir.filePath(name)).removeRecursively();
    QDir(dir.path()).mkdir(name);
    return dir.filePath(name);
}

void print(const char *name, const Spread &s)
{
    std::printf("%-28s %8.2f s  (%.2f-%.2f)  %6.0f ms/photo\n", name, s.median, s.low, s.high,
                s.median * 1000 / kPhotos);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir dir;
    QImage picture = photoLikeImage({6000, 4000});
    QPainter(&picture).drawImage(1500, 0, syntheticPortrait(QColor(200, 150, 135), {3000, 4000}));
    const QByteArray jpeg = encodeJpeg(picture, 90).data;
    QStringList photos;
    for (int i = 0; i < kPhotos; ++i) {
        photos << dir.filePath(u"photo%1.jpg"_s.arg(i, 2, 10, QLatin1Char('0')));
        QFile file(photos.last());
        if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
            return 1;
    }
    std::printf("%d portraits of 6000 x 4000, %.1f MB each at quality 90; %d runs, median "
                "(min-max)\n",
                kPhotos, jpeg.size() / 1e6, runs);

    const QString vips = QStandardPaths::findExecutable(u"vips"_s);
    // The same loop a user would type; vips scales by a, so a = 1 + gain.
    const QString loop =
        u"for f in \"$1\"/photo*.jpg; do vips linear \"$f\" \"$2/$(basename \"$f\")[Q=80]\" "
        "\"%1 %2 %3\" \"0 0 0\" || exit 1; done"_s.arg(1.0 + double(kGains.red))
            .arg(1.0 + double(kGains.green))
            .arg(1.0 + double(kGains.blue));
    std::vector<double> ours, matched, theirs;
    const auto series = [&](const SeriesCorrection &correction, std::vector<double> &times) {
        const QString out = freshFolder(dir, u"ours"_s);
        int saved = 0;
        times.push_back(secondsOf([&] {
            for (const SeriesPhoto &p : exportSeries(photos, out, correction, false))
                saved += p.outcome == SeriesPhoto::Outcome::Saved;
        }));
        if (saved != kPhotos)
            std::fprintf(stderr, "only %d of %d photos saved\n", saved, kPhotos);
        return saved == kPhotos;
    };
    for (int run = 0; run < runs; ++run) {
        if (!series(kGains, ours) || !series(kMatch, matched))
            return 1;
        if (vips.isEmpty())
            continue;
        const QString vipsOut = freshFolder(dir, u"vips"_s);
        bool ok = false;
        theirs.push_back(secondsOf([&] {
            ok = QProcess::execute(u"sh"_s, {u"-c"_s, loop, u"sh"_s, dir.path(), vipsOut}) == 0;
        }));
        if (!ok) {
            std::fprintf(stderr, "the vips loop failed\n");
            return 1;
        }
    }
    print("orvane series", spreadOf(ours));
    print("orvane series, skin matched", spreadOf(matched));
    std::printf("matched / plain (medians)    %8.2fx\n",
                spreadOf(matched).median / spreadOf(ours).median);
    if (theirs.empty()) {
        std::printf("vips not found (Debian package libvips-tools): no comparison\n");
        return 0;
    }
    print("shell loop of vips linear", spreadOf(theirs));
    std::printf("ratio (medians)              %8.2fx\n",
                spreadOf(ours).median / spreadOf(theirs).median);
    return 0;
}
