#include "output/series_export.h"

#include "correct/correction_pass.h"
#include "output/jpeg_writer.h"
#include "output/metadata.h"
#include "output/new_file.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"

#include <QFileInfo>
#include <QThread>

#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

using Outcome = SeriesPhoto::Outcome;

// The base name without its last suffix; a name that is all suffix (".jpg") keeps it whole.
QString stemOf(const QString &source)
{
    const QFileInfo info(source);
    const QString stem = info.completeBaseName();
    return stem.isEmpty() ? info.fileName() : stem;
}

SeriesPhoto notStarted(const QString &source)
{
    SeriesPhoto photo;
    photo.source = source;
    return photo;
}

SeriesPhoto exportPhoto(const QString &source, const QString &folder, const ChannelTables &tables,
                        const std::atomic<bool> &cancel)
{
    SeriesPhoto result = notStarted(source);
    LoadedPhoto photo = loadPhoto(source);
    if (!photo.ok()) {
        result.outcome = photo.outcome == LoadedPhoto::Outcome::OutOfMemory ? Outcome::OutOfMemory
                                                                            : Outcome::Unreadable;
        return result;
    }
    QImage &image = photo.image;
    for (int y = 0; y < image.height(); ++y)
        correctRow(reinterpret_cast<QRgb *>(image.scanLine(y)), image.width(), tables);
    const EncodedJpeg jpeg = encodeAsSaved(image);
    if (jpeg.status != JpegStatus::Ok) {
        result.outcome =
            jpeg.status == JpegStatus::OutOfMemory ? Outcome::OutOfMemory : Outcome::NotWritten;
        return result;
    }
    const MetadataResult kept = withMetadata(jpeg.data, readMetadata(source), image.size());
    if (cancel)
        return result;
    const NewFile file = writeNewFile(folder, stemOf(source), QStringLiteral(".jpg"), kept.jpeg);
    if (file.path.isEmpty()) {
        result.outcome = Outcome::NotWritten;
        result.error = file.error;
        return result;
    }
    result.outcome = Outcome::Saved;
    result.saved = file.path;
    return result;
}

} // namespace

QList<SeriesPhoto> exportSeries(const QStringList &sources, const QString &folder,
                                const Gains &gains, const std::atomic<bool> &cancel,
                                const SeriesReport &report)
{
    QList<SeriesPhoto> results;
    for (const QString &source : sources)
        results.append(notStarted(source));
    const ChannelTables tables(gains);
    std::atomic<int> next = 0;
    std::mutex reporting;
    int done = 0;
    const auto work = [&] {
        for (int index = next++; index < sources.size() && !cancel; index = next++) {
            SeriesPhoto result = notStarted(sources.at(index));
            try {
                result = exportPhoto(sources.at(index), folder, tables, cancel);
            } catch (const std::bad_alloc &) {
                result.outcome = Outcome::OutOfMemory;
            }
            const std::lock_guard lock(reporting);
            results[index] = result;
            ++done;
            if (report)
                report(done, index, result);
        }
    };
    // Each worker holds a whole photo several times over (pixels, JPEG, metadata): two bound
    // the memory and already keep both cores busy.
    const int workers = QThread::idealThreadCount() > 1 && sources.size() > 1 ? 2 : 1;
    std::vector<std::jthread> helpers;
    for (int i = 1; i < workers; ++i)
        helpers.emplace_back(work);
    work();
    helpers.clear();
    return results;
}
