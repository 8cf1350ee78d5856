#include "face/face_finder.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Debian's opencv-data puts the trained cascades here.
constexpr auto kCascadeFolder = "/usr/share/opencv4/haarcascades/";

struct Cascades
{
    // The slower of the frontal cascades: the quicker ones take cats and textures for faces.
    cv::CascadeClassifier frontal;
    // Trained on faces turned one way, so a mirrored copy finds the other; a quick cascade,
    // asked only when no face looks straight out.
    cv::CascadeClassifier profile;
    bool loaded = false;
};

// A classifier keeps scratch state between calls and is not documented as safe to share, so
// searches take turns; they are short next to everything else a photo goes through.
QMutex &searchLock()
{
    static QMutex lock;
    return lock;
}

// Loaded once, on first use, under searchLock.
Cascades &cascades()
{
    static Cascades loaded = [] {
        Cascades c;
        const std::string folder = kCascadeFolder;
        try {
            c.loaded = c.frontal.load(folder + "haarcascade_frontalface_alt2.xml") &&
                       c.profile.load(folder + "../lbpcascades/lbpcascade_profileface.xml");
        } catch (const cv::Exception &) {
            c.loaded = false;
        }
        return c;
    }();
    return loaded;
}

QRect toRect(const cv::Rect &r)
{
    return {r.x, r.y, r.width, r.height};
}

// The same face seen by two cascades: most of the smaller box lies in the larger.
bool sameFace(const QRect &a, const QRect &b)
{
    const QRect common = a.intersected(b);
    const qint64 smaller = std::min(qint64(a.width()) * a.height(), qint64(b.width()) * b.height());
    return qint64(common.width()) * common.height() * 2 > smaller;
}

} // namespace

QList<QRect> findFaces(const QImage &picture)
{
    // The size bounds the time and memory the detector may spend.
    constexpr int kSmallestSide = 24;
    if (picture.isNull() || qsizetype(picture.width()) * picture.height() > kFaceSearchPixels ||
        std::min(picture.width(), picture.height()) < kSmallestSide)
        return {};
    QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return {};
    const cv::Mat view(grey.height(), grey.width(), CV_8UC1, grey.bits(),
                       size_t(grey.bytesPerLine()));
    // A face in a portrait fills a good part of the picture; smaller ones are not worth the
    // time a search for them takes. Each smaller step of window sizes costs its share of the
    // search: an eighth of the short side and steps of 15 % took a 24-megapixel portrait from
    // 120 ms to half that, and the portraits tried were found as before.
    const int side = std::max(kSmallestSide, std::min(grey.width(), grey.height()) / 8);
    constexpr double kFrontalStep = 1.15;
    const cv::Size smallest(side, side);

    std::vector<cv::Rect> frontal;
    std::vector<int> agreeing;
    std::vector<cv::Rect> left;
    std::vector<cv::Rect> right;
    try {
        cv::Mat equalized;
        cv::equalizeHist(view, equalized);
        const QMutexLocker lock(&searchLock());
        Cascades &c = cascades();
        if (!c.loaded)
            return {};
        c.frontal.detectMultiScale(equalized, frontal, agreeing, kFrontalStep, 3, 0, smallest);
        if (frontal.empty()) {
            // More agreeing windows than for a frontal face: this cascade sees profiles in
            // leaves and fur.
            constexpr int kProfileNeighbours = 5;
            cv::Mat mirrored;
            cv::flip(equalized, mirrored, 1);
            c.profile.detectMultiScale(equalized, left, 1.1, kProfileNeighbours, 0, smallest);
            c.profile.detectMultiScale(mirrored, right, 1.1, kProfileNeighbours, 0, smallest);
        }
    } catch (const cv::Exception &) {
        return {};
    } catch (const std::bad_alloc &) {
        return {};
    }

    // A real face is seen by many overlapping windows and a false one by a few: in a portrait
    // the face gathers tens of them and a collar or a pattern beside it three to five, so a
    // detection far weaker than the strongest is dropped, however large it is.
    const int strongest =
        agreeing.empty() ? 0 : *std::max_element(agreeing.cbegin(), agreeing.cend());
    QList<QRect> faces;
    for (size_t i = 0; i < frontal.size(); ++i) {
        if (agreeing[i] * 4 >= strongest)
            faces.append(toRect(frontal[i]));
    }
    const auto addProfile = [&faces](const QRect &face) {
        if (std::none_of(faces.cbegin(), faces.cend(),
                         [&face](const QRect &known) { return sameFace(known, face); }))
            faces.append(face);
    };
    for (const cv::Rect &r : left)
        addProfile(toRect(r));
    for (const cv::Rect &r : right)
        addProfile(QRect(grey.width() - r.x - r.width, r.y, r.width, r.height));
    std::stable_sort(faces.begin(), faces.end(), [](const QRect &a, const QRect &b) {
        return qint64(a.width()) * a.height() > qint64(b.width()) * b.height();
    });
    return faces;
}
