// Times the search for a face's skin on a 24-megapixel portrait: the drawn one, or a real one
// scaled up to 6000 x 4000 when its file is given.
// Usage: bench_face [runs] [portrait file]

#include "bench_support.h"
#include "face/skin_search.h"
#include "synthetic_face.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    // The drawn portrait is painted with fonts off, but QPainter wants a GUI application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    QImage photo;
    if (argc > 2) {
        // Filled to 24 megapixels in the picture's own orientation; its top, where a portrait's
        // face is, kept.
        const QImage picture(QString::fromLocal8Bit(argv[2]));
        const QSize size =
            picture.height() > picture.width() ? QSize(4000, 6000) : QSize(6000, 4000);
        const QImage filled =
            picture.scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        photo = filled.copy(QRect(QPoint((filled.width() - size.width()) / 2, 0), size))
                    .convertToFormat(QImage::Format_RGB32);
    } else {
        photo = syntheticPortrait(QColor(205, 160, 135), QSize(6000, 4000));
    }
    if (photo.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    std::optional<SkinSample> skin;
    const double ms = medianMs(runs, [&] { skin = findSkin(photo); });
    if (!skin) {
        std::fprintf(stderr, "no skin found\n");
        return 1;
    }
    std::printf("findSkin on %dx%d: median %.1f ms over %d runs (skin %d,%d,%d)\n", photo.width(),
                photo.height(), ms, runs, qRed(skin->colour), qGreen(skin->colour),
                qBlue(skin->colour));
    return 0;
}
