#include "app/apply_command.h"

#include "app/command_line.h"
#include "output/series_export.h"

#include <QDir>

#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString reasonText(const SeriesPhoto &photo)
{
    switch (photo.outcome) {
    case SeriesPhoto::Outcome::Saved:
        return u"saved as %1"_s.arg(QDir::toNativeSeparators(photo.saved));
    case SeriesPhoto::Outcome::Unreadable:
        return u"cannot read this photo"_s;
    case SeriesPhoto::Outcome::OutOfMemory:
        return u"out of memory"_s;
    case SeriesPhoto::Outcome::NotWritten:
        return u"cannot write it: %1"_s.arg(QString::fromLocal8Bit(std::strerror(photo.error)));
    case SeriesPhoto::Outcome::Cancelled:
        break;
    }
    return u"not done"_s;
}

void print(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
}

} // namespace

int runApplyCommand(const ApplyCommand &command)
{
    // A progress line is for a person watching; in a log it would only be noise.
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const int total = int(command.files.size());
    const QString clearLine = u"\r\x1b[K"_s;
    const std::atomic<bool> never = false;
    const QList<SeriesPhoto> results =
        exportSeries(command.files, command.folder, command.gains, never,
                     [&](int done, int, const SeriesPhoto &photo) {
                         QString text = terminal ? clearLine : QString();
                         if (photo.outcome != SeriesPhoto::Outcome::Saved)
                             text += u"%1: %2\n"_s.arg(photo.source, reasonText(photo));
                         if (terminal)
                             text += u"%1/%2 done"_s.arg(done).arg(total);
                         print(text);
                     });
    int saved = 0;
    for (const SeriesPhoto &photo : results)
        saved += photo.outcome == SeriesPhoto::Outcome::Saved;
    print(u"%1Saved %2 of %3 photos in %4.\n"_s.arg(terminal ? clearLine : QString())
              .arg(saved)
              .arg(total)
              .arg(QDir::toNativeSeparators(command.folder)));
    return saved == total ? 0 : 1;
}
