#pragma once

#include "output/series_export.h"

#include <QString>
#include <QStringList>

#include <optional>

class QCoreApplication;

// `orvane --apply`: the correction from one skin colour to another over photos, or from each
// photo's own skin to one colour, no window.
struct ApplyCommand
{
    SeriesCorrection correction;
    QString folder;
    QStringList files;
};

struct CommandLine
{
    // The photo to open as the one to correct; empty for none.
    QString file;
    std::optional<ApplyCommand> apply;
};

// The status of a wrong command line, a refused correction of --apply included.
inline constexpr int kUsageStatus = 2;

// `orvane [FILE]` or `orvane --apply --reference R,G,B --target R,G,B --output DIR FILE…`,
// with --match-skin in place of --target to match each photo's own skin.
// --help and --version print and end the program, as does a wrong command line, with one line
// of reason and kUsageStatus.
CommandLine parseCommandLine(const QCoreApplication &app);

// True when the arguments ask for --help, --version or --apply, or name an option of --apply:
// none of these needs a display.
bool needsNoDisplay(int argc, char **argv);
