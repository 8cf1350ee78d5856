#include "photo/jpeg_codec.h"

#include "photo/image_memory.h"
#include "photo/work_progress.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

// Every function below that calls setjmp holds only plain C data of its own: a longjmp out of
// the library must not skip a destructor.

namespace {

// The byte order of QImage::Format_RGB32 in memory. Decoding asks for the alpha variant, whose
// fourth byte the library writes as 0xff; encoding ignores that byte either way.
constexpr J_COLOR_SPACE kEncodeSpace =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
constexpr J_COLOR_SPACE kDecodeSpace =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// Rows of 16-pixel blocks per strip come in eights, so that the restart markers inside every
// strip, numbered from 0 by its own encoder, continue the whole picture's count of 0 to 7.
constexpr int kStripRowUnit = 8 * 16;
// Below this many pixels a second thread costs more than it saves.
constexpr qint64 kMinSplitPixels = qint64(1) << 20;
// The share of a decode spent in entropy decoding, which the second part of a split decode
// repeats for the rows it skips (measured ~0.35 on photos at quality 90).
constexpr double kEntropyShare = 0.35;

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void leaveOnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

// Warnings (a stream cut short, say) still fill every row; they are not printed.
void ignoreMessage(j_common_ptr, int) {}

void setUpErrors(ErrorManager &errors)
{
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = leaveOnError;
    errors.pub.emit_message = ignoreMessage;
}

JpegStatus failedWith(const ErrorManager &errors)
{
    return errors.pub.msg_code == JERR_OUT_OF_MEMORY ? JpegStatus::OutOfMemory
                                                     : JpegStatus::Refused;
}

int workerCount(JpegThreads threads)
{
    if (threads == JpegThreads::One)
        return 1;
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

// Runs jobs[0] on this thread and the others on threads of their own, and waits for all.
template <typename Job, typename Work> void runAll(std::vector<Job> &jobs, Work work)
{
    std::vector<std::thread> threads;
    try {
        for (size_t i = 1; i < jobs.size(); ++i)
            threads.emplace_back(work, std::ref(jobs[i]));
    } catch (const std::system_error &) {
        // No thread to be had: the rest run here.
        for (size_t i = threads.size() + 1; i < jobs.size(); ++i)
            work(jobs[i]);
    }
    work(jobs[0]);
    for (std::thread &thread : threads)
        thread.join();
}

template <typename Job> JpegStatus combinedStatus(const std::vector<Job> &jobs)
{
    JpegStatus status = JpegStatus::Ok;
    for (const Job &job : jobs) {
        if (job.status == JpegStatus::OutOfMemory)
            return JpegStatus::OutOfMemory;
        if (job.status != JpegStatus::Ok)
            status = job.status;
    }
    return status;
}

// Where the segment with this marker starts in a header, or -1.
qsizetype findSegment(const uchar *data, size_t length, uchar marker)
{
    size_t at = 2;
    while (at + 4 <= length && data[at] == 0xff) {
        if (data[at + 1] == marker)
            return qsizetype(at);
        at += 2 + size_t(data[at + 2] << 8 | data[at + 3]);
    }
    return -1;
}

// Decoding.

struct Header
{
    JpegStatus status = JpegStatus::Unsupported;
    QSize full;
    QSize output;
    int scale = 8;    // eighths
    int rowUnit = 16; // output rows in one row of blocks
    bool multipleScans = false;
    // A restart marker ends every row of blocks, and no row's pixels depend on its
    // neighbours' at this scale: the rows after any marker decode on their own.
    bool rowsStandAlone = false;
    int blockRows = 0; // with a marker after each, else 0
};

// Whether each component's rows come out of its blocks without vertical upsampling, which
// would blend in the neighbouring row of blocks.
bool noVerticalUpsampling(const jpeg_decompress_struct &info)
{
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info &component = info.comp_info[c];
        if (component.v_samp_factor * component.DCT_scaled_size !=
            info.max_v_samp_factor * info.min_DCT_scaled_size)
            return false;
    }
    return true;
}

void readHeader(const uchar *data, size_t size, QSize atLeast, Header &header)
{
    ErrorManager errors;
    jpeg_decompress_struct info;
    info.err = &errors.pub;
    setUpErrors(errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        header.status = JpegStatus::Unsupported;
        return;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    header.full = QSize(int(info.image_width), int(info.image_height));
    header.multipleScans = jpeg_has_multiple_scans(&info);
    // One scan of all components, in blocks of max_h x max_v.
    const int blockWidth = 8 * info.max_h_samp_factor;
    const int blockHeight = 8 * info.max_v_samp_factor;
    const bool markerEveryRow =
        info.comps_in_scan == info.num_components && !info.progressive_mode && !info.arith_code &&
        info.restart_interval == (info.image_width + JDIMENSION(blockWidth) - 1) / blockWidth;
    if (markerEveryRow)
        header.blockRows = (header.full.height() + blockHeight - 1) / blockHeight;
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        header.status = JpegStatus::Unsupported;
        return;
    }
    if (!fitsPhotoLimits(header.full)) {
        jpeg_destroy_decompress(&info);
        header.status = JpegStatus::Refused;
        return;
    }
    info.out_color_space = kDecodeSpace;
    // The smallest scale that covers atLeast; of scales giving the same width, the largest.
    for (int scale = 8; scale >= 1; --scale) {
        info.scale_num = unsigned(scale);
        info.scale_denom = 8;
        jpeg_calc_output_dimensions(&info);
        const QSize output(int(info.output_width), int(info.output_height));
        if (scale < 8 && (output.width() < atLeast.width() || output.height() < atLeast.height()))
            break;
        if (scale == 8 || output.width() < header.output.width()) {
            header.output = output;
            header.scale = scale;
            header.rowUnit = info.max_v_samp_factor * info.min_DCT_scaled_size;
            header.rowsStandAlone = header.blockRows > 0 && noVerticalUpsampling(info);
        }
        if (atLeast.isEmpty())
            break;
    }
    jpeg_destroy_decompress(&info);
    header.status = JpegStatus::Ok;
}

// Where the rows of the picture as stored go in the image as shown.
struct Placement
{
    uchar *bits;
    qsizetype stride;
    int width; // of the picture as stored
    int height;
    bool mirror, flip, rotate;

    bool direct() const { return !mirror && !flip && !rotate; }
};

// Mirror and flip, then a quarter turn clockwise: stored (x, y) lands at (x1, y1) =
// (mirrored x, flipped y), turned to (height - 1 - y1, x1).
void placeBand(const Placement &to, const uchar *band, qsizetype bandStride, int firstRow,
               int count)
{
    for (int i = 0; i < count; ++i) {
        const auto *from = reinterpret_cast<const quint32 *>(band + i * bandStride);
        const int y = firstRow + i;
        const int y1 = to.flip ? to.height - 1 - y : y;
        if (to.rotate)
            continue;
        auto *line = reinterpret_cast<quint32 *>(to.bits + y1 * to.stride);
        if (to.mirror)
            std::reverse_copy(from, from + to.width, line);
        else
            std::copy(from, from + to.width, line);
    }
    if (!to.rotate)
        return;
    // Each stored column becomes a shown row; the band's rows land side by side in it.
    for (int x = 0; x < to.width; ++x) {
        const int x1 = to.mirror ? to.width - 1 - x : x;
        auto *line = reinterpret_cast<quint32 *>(to.bits + x1 * to.stride);
        for (int i = 0; i < count; ++i) {
            const int y = firstRow + i;
            const int y1 = to.flip ? to.height - 1 - y : y;
            line[to.height - 1 - y1] = reinterpret_cast<const quint32 *>(band + i * bandStride)[x];
        }
    }
}

struct DecodeJob
{
    const uchar *data;
    size_t size;
    int scale;
    int skip;     // output rows of its data that come before this job's share
    int firstRow; // output rows of the picture as stored, this job's share
    int endRow;
    Placement placement;
    uchar *band; // rows to be placed, unless placement is direct
    int bandRows;
    WorkProgress *progress;
    JpegStatus status;
};

void decodePart(DecodeJob &job)
{
    ErrorManager errors;
    jpeg_decompress_struct info;
    info.err = &errors.pub;
    setUpErrors(errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        job.status = failedWith(errors);
        return;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, job.data, job.size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = kDecodeSpace;
    info.scale_num = unsigned(job.scale);
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    if (job.skip > 0 && jpeg_skip_scanlines(&info, JDIMENSION(job.skip)) != JDIMENSION(job.skip)) {
        jpeg_destroy_decompress(&info);
        job.status = JpegStatus::Refused;
        return;
    }
    const Placement &to = job.placement;
    const qsizetype bandStride = qsizetype(to.width) * 4;
    JSAMPROW rows[16];
    int y = job.firstRow;
    while (y < job.endRow) {
        const int count = std::min({job.endRow - y, job.bandRows, 16});
        for (int i = 0; i < count; ++i)
            rows[i] = to.direct() ? to.bits + (y + i) * to.stride : job.band + i * bandStride;
        int done = 0;
        while (done < count) {
            const auto read = jpeg_read_scanlines(&info, rows + done, JDIMENSION(count - done));
            // Only past the last row, which the rows asked for never are.
            if (read == 0) {
                jpeg_destroy_decompress(&info);
                job.status = JpegStatus::Refused;
                return;
            }
            done += int(read);
        }
        if (!to.direct())
            placeBand(to, job.band, bandStride, y, count);
        y += count;
        if (job.progress)
            job.progress->addDone(count);
        if (job.progress && job.progress->cancelled()) {
            jpeg_destroy_decompress(&info);
            job.status = JpegStatus::Refused;
            return;
        }
    }
    jpeg_destroy_decompress(&info);
    job.status = JpegStatus::Ok;
}

// The picture from the row of blocks after the restart marker that ends row `blockRow`, a
// multiple of 8 so that the markers that follow count from 0 again: the header, then the rest
// of the data. The header still tells the whole height; its reader stops before the end.
// Empty if the data is not laid out so.
std::vector<uchar> restFrom(const uchar *data, size_t size, int blockRow)
{
    const qsizetype scan = findSegment(data, size, 0xda);
    if (scan < 0)
        return {};
    const size_t scanStart = size_t(scan) + 2 + size_t(data[scan + 2] << 8 | data[scan + 3]);
    if (scanStart > size)
        return {};
    size_t at = scanStart;
    int markers = 0;
    while (at + 1 < size) {
        const auto *next = static_cast<const uchar *>(std::memchr(data + at, 0xff, size - at - 1));
        if (!next)
            return {};
        at = size_t(next - data) + 1;
        const uchar byte = data[at];
        if (byte == 0x00 || byte == 0xff)
            continue;
        if (byte < 0xd0 || byte > 0xd7 || byte - 0xd0 != markers % 8)
            return {};
        if (++markers == blockRow) {
            ++at;
            break;
        }
    }
    if (markers != blockRow)
        return {};
    std::vector<uchar> rest;
    rest.reserve(scanStart + (size - at));
    rest.insert(rest.end(), data, data + scanStart);
    rest.insert(rest.end(), data + at, data + size);
    return rest;
}

// Where the second of two decoders starts, so that both finish together although it decodes
// the entropy of the rows it skips.
int splitRow(const Header &header)
{
    const int rows = header.output.height();
    const int split = int(rows / (2 - kEntropyShare));
    return split / header.rowUnit * header.rowUnit;
}

// Encoding.

// Writes into a buffer of a fixed size, which the caller made large enough.
struct FixedDestination
{
    jpeg_destination_mgr pub;
};

void startDestination(j_compress_ptr) {}
boolean bufferFull(j_compress_ptr info)
{
    ERREXIT(info, JERR_BUFFER_SIZE);
    return FALSE;
}
void endDestination(j_compress_ptr) {}

// The most bytes a strip of this size can take, after libjpeg-turbo's own bound, with room
// for a restart marker at every row of blocks.
qsizetype encodedBound(int width, int height)
{
    const auto padded = [](qint64 n) { return (n + 15) / 16 * 16; };
    return qsizetype(padded(width) * padded(height) * 3 + 2048 + padded(height) / 16 * 2);
}

struct EncodeJob
{
    const uchar *pixels;
    qsizetype stride;
    int width;
    int height;
    int quality;
    bool restartEveryRow;
    uchar *out;
    size_t capacity;
    size_t length;
    WorkProgress *progress;
    JpegStatus status;
};

void encodeStrip(EncodeJob &job)
{
    ErrorManager errors;
    jpeg_compress_struct info;
    FixedDestination destination;
    info.err = &errors.pub;
    setUpErrors(errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        job.status = failedWith(errors);
        return;
    }
    jpeg_create_compress(&info);
    destination.pub.next_output_byte = job.out;
    destination.pub.free_in_buffer = job.capacity;
    destination.pub.init_destination = startDestination;
    destination.pub.empty_output_buffer = bufferFull;
    destination.pub.term_destination = endDestination;
    info.dest = &destination.pub;
    info.image_width = JDIMENSION(job.width);
    info.image_height = JDIMENSION(job.height);
    info.input_components = 4;
    info.in_color_space = kEncodeSpace;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, job.quality, TRUE);
    // As the library's own one-call encoder chooses below quality 96.
    info.dct_method = job.quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;
    jpeg_set_colorspace(&info, JCS_YCbCr);
    info.comp_info[0].h_samp_factor = 2;
    info.comp_info[0].v_samp_factor = 2;
    for (int c = 1; c < 3; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    if (job.restartEveryRow)
        info.restart_in_rows = 1;
    jpeg_start_compress(&info, TRUE);
    JSAMPROW rows[16];
    int y = 0;
    while (y < job.height) {
        const int count = std::min(job.height - y, 16);
        for (int i = 0; i < count; ++i)
            rows[i] = const_cast<uchar *>(job.pixels + (y + i) * job.stride);
        int done = 0;
        while (done < count)
            done += int(jpeg_write_scanlines(&info, rows + done, JDIMENSION(count - done)));
        y += count;
        if (job.progress)
            job.progress->addDone(count);
        if (job.progress && job.progress->cancelled()) {
            jpeg_destroy_compress(&info);
            job.status = JpegStatus::Refused;
            return;
        }
    }
    jpeg_finish_compress(&info);
    job.length = job.capacity - destination.pub.free_in_buffer;
    jpeg_destroy_compress(&info);
    job.status = JpegStatus::Ok;
}

// Appends the entropy-coded data of the later strips to the first, each after the restart
// marker that the one-piece picture has there, and makes the first strip's header tell the
// whole height. False if a strip is not as the encoder writes it.
bool joinStrips(std::vector<EncodeJob> &jobs, int height, size_t capacity)
{
    EncodeJob &first = jobs.front();
    const qsizetype frame = findSegment(first.out, first.length, 0xc0);
    if (frame < 0 || first.length < 2)
        return false;
    first.out[frame + 5] = uchar(height >> 8);
    first.out[frame + 6] = uchar(height & 0xff);
    size_t length = first.length - 2; // without its end marker
    int blockRows = jobs.front().height / 16;
    for (size_t i = 1; i < jobs.size(); ++i) {
        const EncodeJob &strip = jobs[i];
        const qsizetype scan = findSegment(strip.out, strip.length, 0xda);
        if (scan < 0)
            return false;
        const size_t start =
            size_t(scan) + 2 + size_t(strip.out[scan + 2] << 8 | strip.out[scan + 3]);
        if (start + 2 > strip.length || length + 2 + (strip.length - 2 - start) + 2 > capacity)
            return false;
        first.out[length++] = 0xff;
        first.out[length++] = uchar(0xd0 + (blockRows - 1) % 8);
        std::memcpy(first.out + length, strip.out + start, strip.length - 2 - start);
        length += strip.length - 2 - start;
        blockRows += strip.height / 16;
    }
    first.out[length++] = 0xff;
    first.out[length++] = 0xd9;
    first.length = length;
    return true;
}

} // namespace

DecodedJpeg decodeJpeg(const QByteArray &data, QSize atLeast,
                       QImageIOHandler::Transformations transform, WorkProgress *progress,
                       JpegThreads threads)
{
    try {
        const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
        const auto size = size_t(data.size());
        Header header;
        readHeader(bytes, size, atLeast, header);
        if (header.status != JpegStatus::Ok)
            return {{}, header.status};
        const QSize stored = header.output;
        const bool rotate = transform.testFlag(QImageIOHandler::TransformationRotate90);
        QImage image(rotate ? stored.transposed() : stored, QImage::Format_RGB32);
        if (image.isNull())
            return {{}, JpegStatus::OutOfMemory};
        const Placement placement{image.bits(),
                                  image.bytesPerLine(),
                                  stored.width(),
                                  stored.height(),
                                  transform.testFlag(QImageIOHandler::TransformationMirror),
                                  transform.testFlag(QImageIOHandler::TransformationFlip),
                                  rotate};
        const DecodeJob job{
            bytes, size,     header.scale,       0, 0, stored.height(), placement, nullptr,
            16,    progress, JpegStatus::Refused};
        std::vector<DecodeJob> jobs{job};
        std::vector<uchar> rest;
        const bool twoThreads = workerCount(threads) > 1 && !header.multipleScans;
        // Restart markers let the second decoder start halfway without reading the first
        // half's data, which is most of the work at small scales.
        const int blockRow = header.blockRows / 16 * 8;
        if (twoThreads && header.rowsStandAlone && blockRow > 0 &&
            qint64(header.full.width()) * header.full.height() >= kMinSplitPixels) {
            rest = restFrom(bytes, size, blockRow);
            if (!rest.empty()) {
                jobs.push_back(job);
                jobs[0].endRow = jobs[1].firstRow = blockRow * header.rowUnit;
                jobs[1].data = rest.data();
                jobs[1].size = rest.size();
            }
        }
        // A picture in several scans keeps all its coefficients per decoder: never twice.
        if (jobs.size() == 1 && twoThreads &&
            qint64(stored.width()) * stored.height() >= kMinSplitPixels && splitRow(header) > 0) {
            jobs.push_back(job);
            jobs[0].endRow = jobs[1].firstRow = jobs[1].skip = splitRow(header);
        }
        std::vector<std::vector<uchar>> bands;
        if (!placement.direct()) {
            for (DecodeJob &part : jobs) {
                bands.emplace_back(size_t(stored.width()) * 4 * 16);
                part.band = bands.back().data();
            }
        }
        if (progress)
            progress->startStage(stored.height());
        runAll(jobs, decodePart);
        const JpegStatus status = combinedStatus(jobs);
        if (status != JpegStatus::Ok)
            return {{}, status};
        return {image, JpegStatus::Ok};
    } catch (const std::bad_alloc &) {
        return {{}, JpegStatus::OutOfMemory};
    }
}

EncodedJpeg encodeJpeg(const QImage &image, int quality, WorkProgress *progress,
                       JpegThreads threads)
{
    try {
        const QImage rgb = toOpaqueRgb32(image);
        if (rgb.isNull())
            return {{}, image.isNull() ? JpegStatus::Refused : JpegStatus::OutOfMemory};
        const int width = rgb.width();
        const int height = rgb.height();
        if (width > kMaxPhotoSide || height > kMaxPhotoSide)
            return {{}, JpegStatus::Refused};
        int strips = 1;
        if (qint64(width) * height >= kMinSplitPixels)
            strips = std::clamp(height / kStripRowUnit, 1, workerCount(threads));
        // Strips of whole units; the last takes what is left.
        const int stripRows = (height / strips) / kStripRowUnit * kStripRowUnit;
        // Encoding straight into a worst-case buffer of our own spares a copy; only the pages
        // the data reaches become resident.
        const size_t capacity = size_t(encodedBound(width, height));
        QByteArray jpeg(qsizetype(capacity), Qt::Uninitialized);
        std::vector<QByteArray> extra;
        std::vector<EncodeJob> jobs;
        for (int i = 0; i < strips; ++i) {
            const int first = i * stripRows;
            const int rows = i + 1 < strips ? stripRows : height - first;
            EncodeJob job{rgb.constBits() + first * rgb.bytesPerLine(),
                          rgb.bytesPerLine(),
                          width,
                          rows,
                          std::clamp(quality, 1, 100),
                          strips > 1,
                          reinterpret_cast<uchar *>(jpeg.data()),
                          capacity,
                          0,
                          progress,
                          JpegStatus::Refused};
            if (i > 0) {
                extra.emplace_back(encodedBound(width, rows), Qt::Uninitialized);
                job.out = reinterpret_cast<uchar *>(extra.back().data());
                job.capacity = size_t(extra.back().size());
            }
            jobs.push_back(job);
        }
        if (progress)
            progress->startStage(height);
        runAll(jobs, encodeStrip);
        const JpegStatus status = combinedStatus(jobs);
        if (status != JpegStatus::Ok)
            return {{}, status};
        if (strips > 1 && !joinStrips(jobs, height, capacity))
            return {{}, JpegStatus::Refused};
        jpeg.truncate(qsizetype(jobs.front().length));
        return {jpeg, JpegStatus::Ok};
    } catch (const std::bad_alloc &) {
        return {{}, JpegStatus::OutOfMemory};
    }
}
