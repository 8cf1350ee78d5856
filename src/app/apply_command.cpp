#include "app/apply_command.h"

#include "app/command_line.h"
#include "app/metadata_names.h"
#include "output/series_export.h"

#include <QDir>

#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The line of one photo, as the window's summary tells it: where it went and what of its
// metadata stayed behind, or why it was not saved.
QString photoLine(const SeriesPhoto &photo)
{
    switch (photo.outcome) {
    case SeriesPhoto::Outcome::Saved: {
        const QStringList lost = lostPartNames(photo.leftOut, PartNaming::CommandLine);
        const QString note = lost.isEmpty() ? QString() : u" (%1 not kept)"_s.arg(lost.join(u", "));
        return u"%1 -> %2%3"_s.arg(photo.source, QDir::toNativeSeparators(photo.saved), note);
    }
    case SeriesPhoto::Outcome::Unreadable:
        return u"%1: cannot read this photo"_s.arg(photo.source);
    case SeriesPhoto::Outcome::OutOfMemory:
        return u"%1: out of memory"_s.arg(photo.source);
    case SeriesPhoto::Outcome::NotWritten:
        return u"%1: cannot write it: %2"_s.arg(photo.source,
                                                QString::fromLocal8Bit(std::strerror(photo.error)));
    case SeriesPhoto::Outcome::NoFace:
        return u"%1: no face found"_s.arg(photo.source);
    case SeriesPhoto::Outcome::GainsTooLarge:
        return u"%1: correction too large"_s.arg(photo.source);
    case SeriesPhoto::Outcome::Cancelled:
        break;
    }
    return u"%1: not done"_s.arg(photo.source);
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

int runApplyCommand(const ApplyCommand &command)
{
    // A progress line is for a person watching; in a log it would only be noise.
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const int total = int(command.files.size());
    const QString clearLine = terminal ? u"\r\x1b[K"_s : QString();
    const std::atomic<bool> never = false;
    // Saved photos on the standard output, so that a script can read where each went.
    const QList<SeriesPhoto> results =
        exportSeries(command.files, command.folder, command.correction, never,
                     [&](int done, int, const SeriesPhoto &photo) {
                         const bool saved = photo.outcome == SeriesPhoto::Outcome::Saved;
                         print(stderr, clearLine);
                         print(saved ? stdout : stderr, photoLine(photo) + u'\n');
                         if (terminal)
                             print(stderr, u"%1/%2 done"_s.arg(done).arg(total));
                     });
    int saved = 0;
    for (const SeriesPhoto &photo : results)
        saved += photo.outcome == SeriesPhoto::Outcome::Saved;
    print(stderr, u"%1Saved %2 of %3 photos in %4.\n"_s.arg(clearLine).arg(saved).arg(total).arg(
                      QDir::toNativeSeparators(command.folder)));
    return saved == total ? 0 : 1;
}
