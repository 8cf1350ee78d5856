#include "photo/heif_codec.h"

#include "photo/image_memory.h"

#include <libheif/heif.h>

#include <QMutex>

#include <memory>
#include <new>

namespace {

// The library's plugin registry and its decoders' shared state are not documented as safe to
// use from two threads, so every call into it holds this.
QMutex &libraryLock()
{
    static QMutex lock;
    return lock;
}

struct ContextFree
{
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HandleRelease
{
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease
{
    void operator()(heif_image *image) const { heif_image_release(image); }
};
struct OptionsFree
{
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};

DecodedHeif failure(HeifStatus status, const heif_error &error)
{
    return {QImage(), status, QString::fromUtf8(error.message)};
}

DecodedHeif refused(const heif_error &error)
{
    return failure(error.code == heif_error_Memory_allocation_error ? HeifStatus::OutOfMemory
                                                                    : HeifStatus::Refused,
                   error);
}

// Interleaved 8-bit RGB or RGBA rows into an opaque RGB32 picture.
QImage toRgb32(const heif_image *decoded, QSize size, bool alpha)
{
    int stride = 0;
    const uint8_t *plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (!plane)
        return {};
    if (alpha) {
        const QImage view(plane, size.width(), size.height(), stride, QImage::Format_RGBA8888);
        return toOpaqueRgb32(view.copy());
    }
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < size.height(); ++y) {
        const uint8_t *in = plane + qsizetype(y) * stride;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x, in += 3)
            out[x] = qRgb(in[0], in[1], in[2]);
    }
    return image;
}

DecodedHeif decode(const QByteArray &data)
{
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context)
        return {QImage(), HeifStatus::OutOfMemory, QStringLiteral("No memory for a context")};
    // Its own check of each side, before any of its buffers are sized.
    heif_context_set_maximum_image_size_limit(context.get(), kMaxPhotoSide + 1);
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), data.constData(),
                                                                  size_t(data.size()), nullptr);
    if (error.code != heif_error_Ok)
        return refused(error);
    heif_image_handle *primary = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &primary);
    if (error.code != heif_error_Ok)
        return refused(error);
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(primary);

    // Turned or not, the picture's size is within the limits either way round.
    const QSize size(heif_image_handle_get_width(handle.get()),
                     heif_image_handle_get_height(handle.get()));
    if (!fitsPhotoLimits(size))
        return {QImage(), HeifStatus::TooLarge, QStringLiteral("The picture is too large")};

    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    if (!options)
        return {QImage(), HeifStatus::OutOfMemory, QStringLiteral("No memory for options")};
    options->convert_hdr_to_8bit = 1;
    options->strict_decoding = 1;
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    heif_image *out = nullptr;
    error = heif_decode_image(handle.get(), &out, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              options.get());
    if (error.code != heif_error_Ok)
        return refused(error);
    const std::unique_ptr<heif_image, ImageRelease> decoded(out);
    const QSize got(heif_image_get_width(decoded.get(), heif_channel_interleaved),
                    heif_image_get_height(decoded.get(), heif_channel_interleaved));
    if (got != size ||
        heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) != 8)
        return {QImage(), HeifStatus::Refused,
                QStringLiteral("The decoded picture is not as promised")};
    QImage image = toRgb32(decoded.get(), size, alpha);
    if (image.isNull())
        return {QImage(), HeifStatus::OutOfMemory, QStringLiteral("No memory for the picture")};
    return {std::move(image), HeifStatus::Ok, QString()};
}

} // namespace

DecodedHeif decodeHeif(const QByteArray &data)
{
    const QMutexLocker locker(&libraryLock());
    static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
    if (!initialised)
        return {QImage(), HeifStatus::Refused, QStringLiteral("The HEIF library did not start")};
    try {
        return decode(data);
    } catch (const std::bad_alloc &) {
        return {QImage(), HeifStatus::OutOfMemory, QStringLiteral("No memory for the picture")};
    }
}
