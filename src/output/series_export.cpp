#include "output/series_export.h"

#include "correct/correction_pass.h"
#include "face/skin_search.h"
#include "output/jpeg_writer.h"
#include "output/metadata.h"
#include "output/new_file.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"

#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <optional>
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

// A photo corrected and encoded, waiting for its turn to be given a name.
struct PreparedPhoto
{
    SeriesPhoto result;
    QByteArray jpeg; // empty when the photo failed before it could be written
};

// The tables a photo's own skin asks for; nothing, with the reason in refused, when the photo
// shows no face or its skin is too far from the reference.
std::optional<ChannelTables> tablesFor(const QImage &image, const MatchSkin &match,
                                       Outcome &refused)
{
    const std::optional<SkinSample> skin = findSkin(image);
    if (!skin) {
        refused = Outcome::NoFace;
        return std::nullopt;
    }
    const GainResult gains =
        computeGains(match.reference, splitColour(colourWordFromRgb(skin->colour)));
    if (gains.outcome != GainOutcome::Ok) {
        refused = Outcome::GainsTooLarge;
        return std::nullopt;
    }
    return ChannelTables(gains.gains);
}

// shared holds the tables of a series with one set of gains, and nothing when matching.
PreparedPhoto preparePhoto(const QString &source, const SeriesCorrection &correction,
                           const std::optional<ChannelTables> &shared)
{
    PreparedPhoto prepared{notStarted(source), {}};
    SeriesPhoto &result = prepared.result;
    LoadedPhoto photo = loadPhoto(source);
    if (!photo.ok()) {
        result.outcome = photo.outcome == LoadedPhoto::Outcome::OutOfMemory ? Outcome::OutOfMemory
                                                                            : Outcome::Unreadable;
        return prepared;
    }
    QImage &image = photo.image;
    std::optional<ChannelTables> own;
    if (!shared) {
        own = tablesFor(image, std::get<MatchSkin>(correction), result.outcome);
        if (!own)
            return prepared;
    }
    const ChannelTables &tables = shared ? *shared : *own;
    for (int y = 0; y < image.height(); ++y)
        correctRow(reinterpret_cast<QRgb *>(image.scanLine(y)), image.width(), tables);
    const EncodedJpeg jpeg = encodeAsSaved(image);
    if (jpeg.status != JpegStatus::Ok) {
        result.outcome =
            jpeg.status == JpegStatus::OutOfMemory ? Outcome::OutOfMemory : Outcome::NotWritten;
        return prepared;
    }
    MetadataResult kept = withMetadata(jpeg.data, readMetadata(source), image.size());
    prepared.jpeg = std::move(kept.jpeg);
    result.leftOut = std::move(kept.leftOut);
    return prepared;
}

} // namespace

QList<SeriesPhoto> exportSeries(const QStringList &sources, const QString &folder,
                                const SeriesCorrection &correction, const std::atomic<bool> &cancel,
                                const SeriesReport &report)
{
    QList<SeriesPhoto> results;
    for (const QString &source : sources)
        results.append(notStarted(source));
    std::optional<ChannelTables> shared;
    if (const Gains *gains = std::get_if<Gains>(&correction))
        shared.emplace(*gains);
    // A photo done before an earlier one waits with its JPEG for its name: a few may wait, so
    // that both workers keep busy without a whole series held in memory.
    constexpr int kAhead = 4;
    std::mutex mutex;
    std::condition_variable named;
    int nextStart = 0;
    int nextNamed = 0;
    std::map<int, PreparedPhoto> waiting;
    // Per stem, the number below which every name was taken when last tried in this series, so
    // that many photos of one name do not probe every name before theirs again.
    QHash<QString, int> firstFree;

    const auto write = [&](PreparedPhoto &prepared) {
        SeriesPhoto &result = prepared.result;
        if (prepared.jpeg.isEmpty())
            return;
        if (cancel) {
            result.outcome = Outcome::Cancelled;
            result.leftOut.clear();
            return;
        }
        const QString stem = stemOf(result.source);
        const NewFile file = writeNewFile(folder, stem, QStringLiteral(".jpg"), prepared.jpeg,
                                          firstFree.value(stem));
        if (file.path.isEmpty()) {
            result.outcome = Outcome::NotWritten;
            result.error = file.error;
            result.leftOut.clear();
            return;
        }
        firstFree[stem] = file.number + 1;
        result.outcome = Outcome::Saved;
        result.saved = file.path;
    };
    // Each photo is named after every earlier one, by one thread at a time: the photo being
    // named has left waiting and nextNamed moves on only after it, so no other finds its turn.
    const auto nameWaiting = [&](std::unique_lock<std::mutex> &lock) {
        for (auto next = waiting.find(nextNamed); next != waiting.end();
             next = waiting.find(nextNamed)) {
            PreparedPhoto prepared = std::move(next->second);
            waiting.erase(next);
            const int index = nextNamed;
            lock.unlock();
            try {
                write(prepared);
            } catch (const std::bad_alloc &) {
                prepared.result.outcome = Outcome::OutOfMemory;
            }
            results[index] = prepared.result;
            if (report)
                report(index + 1, index, prepared.result);
            prepared = {};
            lock.lock();
            ++nextNamed;
            named.notify_all();
        }
    };
    const auto work = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            // Whoever works on the photo next to be named wakes this when it is named.
            named.wait(lock, [&] {
                return cancel || nextStart >= sources.size() || nextStart < nextNamed + kAhead;
            });
            if (cancel || nextStart >= sources.size())
                return;
            const int index = nextStart++;
            lock.unlock();
            PreparedPhoto prepared{notStarted(sources.at(index)), {}};
            try {
                prepared = preparePhoto(sources.at(index), correction, shared);
            } catch (const std::bad_alloc &) {
                prepared = {notStarted(sources.at(index)), {}};
                prepared.result.outcome = Outcome::OutOfMemory;
            }
            lock.lock();
            waiting.emplace(index, std::move(prepared));
            nameWaiting(lock);
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
