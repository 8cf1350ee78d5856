#pragma once

#include "correct/gains.h"

#include <QString>
#include <QStringList>

#include <optional>

class QCoreApplication;

// `orvane --apply`: the correction from one skin colour to another over photos, no window.
struct ApplyCommand
{
    Gains gains;
    QString folder;
    QStringList files;
};

struct CommandLine
{
    // The photo to open as the one to correct; empty for none.
    QString file;
    std::optional<ApplyCommand> apply;
};

// The status of a wrong argument to --apply, a refused correction included.
inline constexpr int kApplyUsageStatus = 2;

// `orvane [FILE]` or `orvane --apply --reference R,G,B --target R,G,B --output DIR FILE…`.
// --help and --version print and end the program, as does a wrong argument (with status 1, or
// kApplyUsageStatus with --apply).
CommandLine parseCommandLine(const QCoreApplication &app);

// True when the arguments ask for --help, --version or --apply, which need no display.
bool needsNoDisplay(int argc, char **argv);
