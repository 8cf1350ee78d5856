#include "photo/image_memory.h"

#include <QPainter>

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr qsizetype kHugePage = qsizetype(2) << 20;

void adviseHugePages(void *data, qsizetype length)
{
#ifdef MADV_HUGEPAGE
    // Smaller buffers gain little and may share their pages with other heap blocks.
    if (length < 2 * kHugePage)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t mask = ~std::uintptr_t(kHugePage - 1);
    const std::uintptr_t first = (start + kHugePage - 1) & mask;
    const std::uintptr_t last = (start + std::uintptr_t(length)) & mask;
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(length);
#endif
}

} // namespace

bool fitsPhotoLimits(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxPhotoSide &&
           size.height() <= kMaxPhotoSide &&
           qint64(size.width()) * size.height() <= kMaxPhotoPixels;
}

QImage newRgb32Image(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    if (!image.isNull())
        adviseHugePages(image.bits(), image.sizeInBytes());
    return image;
}

QByteArray newByteArray(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    adviseHugePages(bytes.data(), bytes.size());
    return bytes;
}

QImage toOpaqueRgb32(QImage image)
{
    if (image.isNull() || image.format() == QImage::Format_RGB32)
        return image;
    if (!image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_RGB32);
        return image.format() == QImage::Format_RGB32 ? image : QImage();
    }
    QImage opaque(image.size(), QImage::Format_RGB32);
    if (opaque.isNull())
        return opaque;
    opaque.fill(Qt::white);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, image);
    return opaque;
}
