// Times the photo import, JPEG save and preview on a camera-sized photo, next to Qt's own
// image reader and writer for comparison. Run by hand: bench_io [runs]

#include "app/preview_geometry.h"
#include "bench_support.h"
#include "output/jpeg_writer.h"
#include "output/preview.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr QSize kPhotoSize(6000, 4000);

// The same JPEG tagged as a phone portrait (EXIF orientation 6: a quarter turn to the right).
QByteArray taggedPortrait(QByteArray jpeg)
{
    const QByteArray exif("\xff\xe1\x00\x22"
                          "Exif\x00\x00"
                          "MM\x00\x2a\x00\x00\x00\x08"
                          "\x00\x01"
                          "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                          "\x00\x00\x00\x00",
                          36);
    return jpeg.insert(2, exif);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void report(const char *what, double ms)
{
    std::printf("  %-52s %8.1f ms\n", what, ms);
}

long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

QSize frameFor(QSize photo)
{
    // The target box adds a 2-pixel border on each side.
    return roundedFrameSize(previewFrameSize(QSizeF(photo.width() + 4, photo.height() + 4)));
}

// In a fresh process, so that the peak covers nothing but the import.
int holdPhoto(const QString &path, const QString &tempPath)
{
    const long before = statusKb("VmRSS");
    const LoadedPhoto photo = loadPhoto(path);
    Q_UNUSED(tempPath);
    const QImage preview = renderPreview(photo.image, frameFor(photo.image.size())).image;
    std::printf("%ld %ld %d %d\n", before, statusKb("VmHWM"), preview.width(), preview.height());
    return photo.ok() && !preview.isNull() ? 0 : 1;
}

// Runs a tool of libheif's examples; false if it is not there or fails.
bool runTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    return process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A 12-megapixel HEIC made here by heif-enc (its fastest preset: slower ones take minutes on a
// busy machine), opened by loadPhoto and converted to PNG by
// heif-convert, which decodes with the same library.
void benchHeic(const QTemporaryDir &dir, int runs)
{
    const QString png = dir.filePath(QStringLiteral("heic-source.png"));
    const QString heic = dir.filePath(QStringLiteral("photo.heic"));
    const QString converted = dir.filePath(QStringLiteral("converted.png"));
    std::printf("HEIC, 4000x3000\n");
    if (!photoLikeImage(QSize(4000, 3000)).save(png) ||
        !runTool(QStringLiteral("heif-enc"),
                 {QStringLiteral("-q"), QStringLiteral("85"), QStringLiteral("-p"),
                  QStringLiteral("preset=ultrafast"), png, QStringLiteral("-o"), heic})) {
        std::printf("  heif-enc failed or missing (libheif-examples): no HEIC timing\n");
        return;
    }
    const double ours = medianMs(runs, [&] { loadPhoto(heic); });
    report("loadPhoto (libheif)", ours);
    bool converts = true;
    const double tool = medianMs(runs, [&] {
        converts = converts && runTool(QStringLiteral("heif-convert"), {heic, converted});
    });
    if (!converts) {
        std::printf("  heif-convert failed: no comparison\n");
        return;
    }
    report("heif-convert to PNG", tool);
    std::printf("  %-52s %8.2f (goal: at most 1.5)\n", "ratio loadPhoto / heif-convert",
                ours / tool);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QStringLiteral("--hold"))
        return holdPhoto(args.at(2), args.at(3));
    const int runs = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 5;

    QTemporaryDir dir;
    const QString photoPath = dir.filePath(QStringLiteral("photo.jpg"));
    const QString savePath = dir.filePath(QStringLiteral("saved.jpg"));
    const QString portraitPath = dir.filePath(QStringLiteral("portrait.jpg"));
    const QString junkPath = dir.filePath(QStringLiteral("junk-after.jpg"));
    const QString tempPath = dir.filePath(QStringLiteral("temp.jpg"));
    {
        const QByteArray jpeg = encodeJpeg(photoLikeImage(kPhotoSize), 90).data;
        if (jpeg.isEmpty() || !writeFile(photoPath, jpeg) ||
            !writeFile(portraitPath, taggedPortrait(jpeg)) || !writeFile(junkPath, jpeg) ||
            !QFile::resize(junkPath, jpeg.size() + (qint64(512) << 20)))
            return 1;
        std::printf("%dx%d photo, quality 90: %.1f MB; median of %d runs\n", kPhotoSize.width(),
                    kPhotoSize.height(), jpeg.size() / 1e6, runs);
    }

    const QImage photo = loadPhoto(photoPath).image;
    const QSize frame = frameFor(photo.size());
    const QByteArray encoded = encodeJpeg(photo, kJpegQuality).data;
    saveJpeg(photo, savePath, kJpegQuality);

    std::printf("load\n");
    report("loadPhoto (libjpeg, two threads)", medianMs(runs, [&] { loadPhoto(photoPath); }));
    report("loadPhoto, EXIF portrait (decode + quarter turn)",
           medianMs(runs, [&] { loadPhoto(portraitPath); }));
    report("loadPhoto, followed by 512 MB of (sparse) junk",
           medianMs(runs, [&] { loadPhoto(junkPath); }));
    report("QImageReader read + convert to RGB32", medianMs(runs, [&] {
               QImageReader::setAllocationLimit(1024);
               QImageReader reader(photoPath);
               reader.setAutoTransform(true);
               QImage image = reader.read();
               image.convertTo(QImage::Format_RGB32);
           }));

    std::printf("encode, quality 80 (%.1f MB)\n", encoded.size() / 1e6);
    report("encodeJpeg (4:2:0, two strips)", medianMs(runs, [&] { encodeJpeg(photo, 80); }));
    report("QImageWriter to memory", medianMs(runs, [&] {
               QBuffer buffer;
               buffer.open(QIODevice::WriteOnly);
               QImageWriter writer(&buffer, "jpeg");
               writer.setQuality(80);
               writer.write(photo);
           }));

    std::printf("save over an existing file, quality 80\n");
    report("saveJpeg (QSaveFile)", medianMs(runs, [&] { saveJpeg(photo, savePath, 80); }));
    report("  of which QSaveFile write + commit (sync, rename)", medianMs(runs, [&] {
               QSaveFile file(savePath);
               file.open(QIODevice::WriteOnly);
               file.write(encoded);
               file.commit();
           }));
    report("QImageWriter through QSaveFile", medianMs(runs, [&] {
               QSaveFile file(savePath);
               file.open(QIODevice::WriteOnly);
               QImageWriter writer(&file, "jpeg");
               writer.setQuality(80);
               writer.write(photo);
               file.commit();
           }));

    std::printf("preview, frame %dx%d\n", frame.width(), frame.height());
    report("decodeJpeg scaled", medianMs(runs, [&] { decodeJpeg(encoded, frame); }));
    report("QImageReader scaled read", medianMs(runs, [&] {
               QBuffer buffer;
               buffer.setData(encoded);
               buffer.open(QIODevice::ReadOnly);
               QImageReader reader(&buffer, "jpeg");
               reader.setScaledSize(photo.size().scaled(frame, Qt::KeepAspectRatioByExpanding));
               QImage image = reader.read();
               image.convertTo(QImage::Format_RGB32);
           }));
    report("renderPreview (encode, decode)", medianMs(runs, [&] { renderPreview(photo, frame); }));
    report("import: loadPhoto + renderPreview", medianMs(runs, [&] {
               const QImage loaded = loadPhoto(photoPath).image;
               renderPreview(loaded, frameFor(loaded.size()));
           }));

    benchHeic(dir, runs);

    QProcess hold;
    hold.start(QCoreApplication::applicationFilePath(),
               {QStringLiteral("--hold"), photoPath, tempPath});
    if (hold.waitForFinished(60000) && hold.exitCode() == 0) {
        const QList<QByteArray> figures = hold.readAllStandardOutput().trimmed().split(' ');
        std::printf("memory, fresh process holding the photo and a %sx%s preview\n",
                    figures.value(2).constData(), figures.value(3).constData());
        std::printf("  %-52s %8.1f MB\n", "resident before loading",
                    figures.value(0).toLong() / 1024.0);
        std::printf("  %-52s %8.1f MB\n", "peak resident (VmHWM)",
                    figures.value(1).toLong() / 1024.0);
    } else {
        std::printf("memory measurement failed\n");
    }
    return 0;
}
