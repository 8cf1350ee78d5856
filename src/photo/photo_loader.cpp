#include "photo/photo_loader.h"

#include "photo/image_memory.h"
#include "photo/turbo_jpeg.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

namespace {

// Qt counts bytes, not pixels, and 16-bit formats decode at 8 bytes a pixel.
constexpr int kReaderLimitMb = int(kMaxPhotoPixels * 8 / (1024 * 1024));

bool tooLarge(QSize size)
{
    return qint64(size.width()) * size.height() > kMaxPhotoPixels;
}

QSize scaledSize(QSize full, QSize atLeast)
{
    if (atLeast.isEmpty())
        return full;
    int count = 0;
    const tjscalingfactor *factors = tjGetScalingFactors(&count);
    QSize best = full;
    for (int i = 0; i < count; ++i) {
        const tjscalingfactor factor = factors[i];
        if (factor.num > factor.denom)
            continue;
        const QSize scaled(TJSCALED(full.width(), factor), TJSCALED(full.height(), factor));
        if (scaled.width() >= atLeast.width() && scaled.height() >= atLeast.height() &&
            scaled.width() < best.width())
            best = scaled;
    }
    return best;
}

QImageIOHandler::Transformations exifTransformation(const QByteArray &jpeg)
{
    // Qt's handler reads the orientation from the header alone, without decoding pixels.
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    return reader.transformation();
}

// A quarter turn clockwise into fresh huge-page memory (QImage::transformed would fault in
// its copy page by page). Tiles keep both images' lines in cache.
QImage rotatedClockwise(const QImage &source)
{
    const int width = source.width();
    const int height = source.height();
    QImage rotated = newRgb32Image(QSize(height, width));
    if (rotated.isNull())
        return rotated;
    const auto *from = reinterpret_cast<const QRgb *>(source.constBits());
    auto *to = reinterpret_cast<QRgb *>(rotated.bits());
    const qsizetype fromStride = source.bytesPerLine() / 4;
    const qsizetype toStride = rotated.bytesPerLine() / 4;
    constexpr int kTile = 64;
    for (int tileY = 0; tileY < height; tileY += kTile) {
        const int endY = std::min(tileY + kTile, height);
        for (int tileX = 0; tileX < width; tileX += kTile) {
            const int endX = std::min(tileX + kTile, width);
            for (int y = tileY; y < endY; ++y) {
                const QRgb *line = from + y * fromStride;
                QRgb *column = to + (height - 1 - y);
                for (int x = tileX; x < endX; ++x)
                    column[x * toStride] = line[x];
            }
        }
    }
    return rotated;
}

// Mirror and flip come before the quarter turn, as QImageIOHandler defines them.
QImage transformed(QImage image, QImageIOHandler::Transformations transformation)
{
    const bool mirror = transformation.testFlag(QImageIOHandler::TransformationMirror);
    const bool flip = transformation.testFlag(QImageIOHandler::TransformationFlip);
    if (mirror || flip)
        image.mirror(mirror, flip);
    if (transformation.testFlag(QImageIOHandler::TransformationRotate90))
        image = rotatedClockwise(image);
    return image;
}

QByteArray readAll(QFile &file)
{
    QByteArray data = newByteArray(file.size());
    const qint64 length = file.read(data.data(), data.size());
    data.resize(std::max<qint64>(length, 0));
    // A file that grew since size() was asked: take the rest the ordinary way.
    if (!file.atEnd())
        data += file.readAll();
    return data;
}

LoadedPhoto readWithQt(QIODevice *device)
{
    QImageReader::setAllocationLimit(kReaderLimitMb);
    QImageReader reader(device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (const QSize size = reader.size(); size.isValid() && tooLarge(size))
        return {QImage(),
                QStringLiteral("The picture has more than %1 pixels").arg(kMaxPhotoPixels)};
    QImage image = reader.read();
    if (image.isNull())
        return {QImage(), reader.errorString()};
    // Qt reads a ratio from "@2x" file names; a photo is always one pixel per pixel here.
    image.setDevicePixelRatio(1);
    image = toOpaqueRgb32(std::move(image));
    if (image.isNull())
        return {QImage(), QStringLiteral("Not enough memory for the picture")};
    return {image, QString()};
}

} // namespace

LoadedPhoto loadPhoto(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QImage(), file.errorString()};
    // No acceptable JPEG comes near this size; Qt refuses such a file without reading it all.
    if (file.peek(3) == QByteArrayLiteral("\xff\xd8\xff") && file.size() <= 4 * kMaxPhotoPixels) {
        const QByteArray data = readAll(file);
        QImage image = decodeJpeg(data);
        if (!image.isNull())
            image = transformed(std::move(image), exifTransformation(data));
        if (!image.isNull())
            return {image, QString()};
        file.seek(0);
    }
    return readWithQt(&file);
}

QImage decodeJpeg(const QByteArray &data, QSize atLeast)
{
    const TurboHandle turbo(tjInitDecompress());
    if (!turbo)
        return {};
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const auto length = static_cast<unsigned long>(data.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(turbo.get(), bytes, length, &width, &height, &subsampling,
                            &colourspace) != 0)
        return {};
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK || tooLarge(QSize(width, height)))
        return {};
    const QSize size = scaledSize(QSize(width, height), atLeast);
    QImage image = newRgb32Image(size);
    if (image.isNull())
        return {};
    // A warning (a truncated file, say) still leaves every row written, as Qt shows it too.
    if (tjDecompress2(turbo.get(), bytes, length, image.bits(), size.width(),
                      int(image.bytesPerLine()), size.height(), kTurboRgb32, 0) != 0 &&
        tjGetErrorCode(turbo.get()) != TJERR_WARNING)
        return {};
    return image;
}

QImage toOpaqueRgb32(QImage image)
{
    if (image.isNull() || image.format() == QImage::Format_RGB32)
        return image;
    if (!image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_RGB32);
        return image;
    }
    QImage opaque(image.size(), QImage::Format_RGB32);
    if (opaque.isNull())
        return opaque;
    opaque.fill(Qt::white);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, image);
    return opaque;
}
