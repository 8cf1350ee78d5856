#pragma once

#include "correct/gains.h"
#include "output/metadata.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <variant>

// What became of one photo of a series.
struct SeriesPhoto
{
    enum class Outcome {
        Saved,
        Unreadable,    // not a photo this program reads, damaged, or over the photo limits
        OutOfMemory,   // read, corrected or encoded, memory ran out
        NotWritten,    // the output folder refused the file
        NoFace,        // matching skin, and the photo shows no face to match
        GainsTooLarge, // matching skin, and the photo's skin needs gains over the limit
        Cancelled,     // not done: the series was cancelled first
    };

    QString source;
    Outcome outcome = Outcome::Cancelled;
    QString saved;               // the file written, when Saved
    int error = 0;               // errno, when NotWritten
    QList<MetadataLoss> leftOut; // metadata of the source not kept in the file, when Saved
};

// Every photo's own skin, as findSkin() sees it in the upright photo, corrected toward one
// reference colour: each photo gets the gains a pick of that skin would give.
struct MatchSkin
{
    ChannelValues reference;
};

// The same gains for every photo, or each photo's own toward a reference.
using SeriesCorrection = std::variant<Gains, MatchSkin>;

// Told after each photo, in the order of sources, from a worker thread but never from two at
// once: how many are done, and the photo's result at its index in the list.
using SeriesReport = std::function<void(int done, int index, const SeriesPhoto &photo)>;

// Corrects each source photo with its gains exactly as a pass would and saves it as a JPEG at
// the save's quality, with the metadata its file carried, under its base name with ".jpg" in
// folder. Nothing in folder is ever replaced: a taken name gets "-1", "-2", …, and names are
// given in the order of sources, so the same command names the same photos alike however the
// work was shared. A photo that fails is reported and the rest go on. Two photos are worked on
// at once where there are two cores. Once cancel is set no further photo is started, and none
// in the works is written; those photos are reported Cancelled. Returns every photo's result,
// in the order of sources.
QList<SeriesPhoto> exportSeries(const QStringList &sources, const QString &folder,
                                const SeriesCorrection &correction, const std::atomic<bool> &cancel,
                                const SeriesReport &report = {});
