// How close skin matching brings real portraits under a colour cast back to their own skin.
// Each portrait is given four casts and saved as JPEG; the program corrects each towards the
// portrait's skin colour before the cast, and the corrected skin is compared with that colour
// (CIEDE2000), both measured over patches of skin marked by hand, not found by the face search.
// Pictures without a face are given the same casts and must come out with nothing saved.
// Usage: bench_skin_match (fetches the pictures into the user's cache folder on first run)

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Portrait
{
    const char *file;
    // Chosen by eye on the picture: even skin away from eyes, brows, hair, glasses, highlights
    // and shadows. A forehead can be paler than the cheeks, so the skin is the two weighed alike.
    QRect forehead;
    QRect cheek;
};

const std::array kPortraits = {
    Portrait{"astronaut.png", QRect(208, 80, 32, 12), QRect(244, 116, 16, 16)},
    Portrait{"grace_hopper.jpg", QRect(215, 145, 80, 20), QRect(200, 235, 30, 30)},
};

const std::array kNoFace = {"coffee.png", "rocket.jpg", "color.png", "chessboard_RGB.png"};

struct Cast
{
    const char *name;
    std::array<double, 3> factor;
};

const std::array kCasts = {
    Cast{"warm lamp", {1.15, 1.0, 0.75}},
    Cast{"green fluorescent", {0.85, 1.1, 0.85}},
    Cast{"blue shade", {0.8, 0.95, 1.2}},
    Cast{"dim", {0.55, 0.55, 0.55}},
};

QImage withCast(const QImage &picture, const Cast &cast)
{
    QImage out = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const auto scaled = [&cast](int c, int v) {
                return std::clamp(int(std::lround(v * cast.factor[size_t(c)])), 0, 255);
            };
            line[x] = qRgb(scaled(0, qRed(line[x])), scaled(1, qGreen(line[x])),
                           scaled(2, qBlue(line[x])));
        }
    }
    return out;
}

std::array<double, 3> meanOver(const QImage &picture, const QRect &region);

std::array<double, 3> skinOf(const QImage &picture, const Portrait &portrait)
{
    const std::array<double, 3> forehead = meanOver(picture, portrait.forehead);
    const std::array<double, 3> cheek = meanOver(picture, portrait.cheek);
    return {(forehead[0] + cheek[0]) / 2, (forehead[1] + cheek[1]) / 2,
            (forehead[2] + cheek[2]) / 2};
}

std::array<double, 3> meanOver(const QImage &picture, const QRect &region)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    std::array<double, 3> sum{};
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = region.left(); x <= region.right(); ++x) {
            sum[0] += qRed(line[x]);
            sum[1] += qGreen(line[x]);
            sum[2] += qBlue(line[x]);
        }
    }
    const double n = double(region.width()) * region.height();
    return {sum[0] / n, sum[1] / n, sum[2] / n};
}

struct Lab
{
    double l, a, b;
};

Lab labFromSrgb(const std::array<double, 3> &rgb)
{
    const auto linear = [](double v) {
        v /= 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double r = linear(rgb[0]);
    const double g = linear(rgb[1]);
    const double b = linear(rgb[2]);
    const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
    const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
    const auto f = [](double t) {
        return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0;
    };
    return {116.0 * f(y) - 16.0, 500.0 * (f(x) - f(y)), 200.0 * (f(y) - f(z))};
}

double degrees(double radians)
{
    return radians * 180.0 / M_PI;
}

double radians(double degrees)
{
    return degrees * M_PI / 180.0;
}

// CIEDE2000 with kL = kC = kH = 1.
double deltaE2000(const Lab &one, const Lab &two)
{
    const double c1 = std::hypot(one.a, one.b);
    const double c2 = std::hypot(two.a, two.b);
    const double cMean7 = std::pow((c1 + c2) / 2.0, 7.0);
    const double g = 0.5 * (1.0 - std::sqrt(cMean7 / (cMean7 + std::pow(25.0, 7.0))));
    const double a1 = (1.0 + g) * one.a;
    const double a2 = (1.0 + g) * two.a;
    const double cp1 = std::hypot(a1, one.b);
    const double cp2 = std::hypot(a2, two.b);
    const auto hue = [](double b, double a) {
        if (a == 0 && b == 0)
            return 0.0;
        const double h = degrees(std::atan2(b, a));
        return h < 0 ? h + 360.0 : h;
    };
    const double h1 = hue(one.b, a1);
    const double h2 = hue(two.b, a2);

    const double dL = two.l - one.l;
    const double dC = cp2 - cp1;
    double dh = 0;
    if (cp1 * cp2 != 0) {
        dh = h2 - h1;
        if (dh > 180)
            dh -= 360;
        else if (dh < -180)
            dh += 360;
    }
    const double dH = 2.0 * std::sqrt(cp1 * cp2) * std::sin(radians(dh / 2.0));

    const double lMean = (one.l + two.l) / 2.0;
    const double cMean = (cp1 + cp2) / 2.0;
    double hMean = h1 + h2;
    if (cp1 * cp2 != 0) {
        if (std::abs(h1 - h2) <= 180)
            hMean /= 2.0;
        else
            hMean = h1 + h2 < 360 ? (hMean + 360) / 2.0 : (hMean - 360) / 2.0;
    }
    const double t = 1 - 0.17 * std::cos(radians(hMean - 30)) +
                     0.24 * std::cos(radians(2 * hMean)) + 0.32 * std::cos(radians(3 * hMean + 6)) -
                     0.20 * std::cos(radians(4 * hMean - 63));
    const double dTheta = 30 * std::exp(-std::pow((hMean - 275) / 25, 2));
    const double cMeanP7 = std::pow(cMean, 7.0);
    const double rC = 2 * std::sqrt(cMeanP7 / (cMeanP7 + std::pow(25.0, 7.0)));
    const double l50 = (lMean - 50) * (lMean - 50);
    const double sL = 1 + 0.015 * l50 / std::sqrt(20 + l50);
    const double sC = 1 + 0.045 * cMean;
    const double sH = 1 + 0.015 * cMean * t;
    const double rT = -std::sin(radians(2 * dTheta)) * rC;
    return std::sqrt(std::pow(dL / sL, 2) + std::pow(dC / sC, 2) + std::pow(dH / sH, 2) +
                     rT * (dC / sC) * (dH / sH));
}

// The correction as users get it: the program's own skin matching, aimed at the reference and
// writing into `folder` under the file's name, or nothing there.
void matchSkin(const QString &file, const std::array<double, 3> &reference, const QDir &folder)
{
    const QString colour = QStringLiteral("%1,%2,%3")
                               .arg(std::lround(reference[0]))
                               .arg(std::lround(reference[1]))
                               .arg(std::lround(reference[2]));
    QProcess program;
    // Its line per photo says what the saved files show.
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(QStringLiteral(ORVANE_PROGRAM),
                  {QStringLiteral("--apply"), QStringLiteral("--reference"), colour,
                   QStringLiteral("--match-skin"), QStringLiteral("--output"), folder.path(),
                   file});
    program.waitForFinished(120000);
}

QString castFileName(const char *picture, int cast)
{
    return QStringLiteral("%1-cast%2.jpg")
        .arg(QFileInfo(QString::fromUtf8(picture)).baseName())
        .arg(cast);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QProcess fetch;
    fetch.start(QStringLiteral("bash"), {QStringLiteral(ORVANE_BENCH_DIR "/fetch_pictures.sh")});
    if (!fetch.waitForFinished(300000) || fetch.exitCode() != 0) {
        std::fprintf(stderr, "could not fetch the pictures\n");
        return 1;
    }
    const QDir pictures(QString::fromLocal8Bit(fetch.readAllStandardOutput()).trimmed());
    QTemporaryDir work;
    const QDir casts(work.path());
    casts.mkpath(QStringLiteral("out"));

    std::vector<double> distances;
    std::printf("%-20s %-18s %-16s %-16s %s\n", "portrait", "cast", "skin before", "corrected",
                "dE00");
    for (const Portrait &portrait : kPortraits) {
        const QImage original(pictures.filePath(QString::fromUtf8(portrait.file)));
        const std::array<double, 3> skin = skinOf(original, portrait);
        for (size_t c = 0; c < kCasts.size(); ++c) {
            const QString castFile = casts.filePath(castFileName(portrait.file, int(c)));
            withCast(original, kCasts[c]).save(castFile, "JPEG", 92);
            const QDir out(casts.filePath(QStringLiteral("out")));
            matchSkin(castFile, skin, out);
            const QImage corrected(out.filePath(QFileInfo(castFile).fileName()));
            if (corrected.isNull()) {
                std::printf("%-20s %-18s no face found: nothing saved\n", portrait.file,
                            kCasts[c].name);
                distances.push_back(100);
                continue;
            }
            const std::array<double, 3> after = skinOf(corrected, portrait);
            const double distance = deltaE2000(labFromSrgb(skin), labFromSrgb(after));
            distances.push_back(distance);
            std::printf("%-20s %-18s %3.0f,%3.0f,%3.0f     %3.0f,%3.0f,%3.0f     %.2f\n",
                        portrait.file, kCasts[c].name, skin[0], skin[1], skin[2], after[0],
                        after[1], after[2], distance);
        }
    }

    for (const char *picture : kNoFace) {
        const QImage original(pictures.filePath(QString::fromUtf8(picture)));
        const QDir out(casts.filePath(QStringLiteral("out")));
        int saved = 0;
        for (size_t c = 0; c < kCasts.size(); ++c) {
            const QString castFile = casts.filePath(castFileName(picture, int(c)));
            withCast(original, kCasts[c]).save(castFile, "JPEG", 92);
            matchSkin(castFile, {200, 150, 130}, out);
            if (QFileInfo::exists(out.filePath(QFileInfo(castFile).fileName()))) {
                std::printf("%-20s %-18s a face was found: saved\n", picture, kCasts[c].name);
                ++saved;
            }
        }
        if (saved == 0)
            std::printf("%-20s none of %zu casts saved\n", picture, kCasts.size());
    }

    std::sort(distances.begin(), distances.end());
    const size_t n = distances.size();
    const double middle =
        n % 2 ? distances[n / 2] : (distances[n / 2 - 1] + distances[n / 2]) / 2.0;
    std::printf("skin match: median dE00 %.2f, worst %.2f over %zu\n", middle, distances.back(), n);
    return 0;
}
