#pragma once

#include <QString>

class QCoreApplication;

struct CommandLine
{
    // The photo to open as the one to correct; empty for none.
    QString file;
};

// `orvane [FILE]`. --help and --version print and end the program, as does a wrong argument
// (with status 1).
CommandLine parseCommandLine(const QCoreApplication &app);

// True when the arguments ask only for --help or --version, which need no display.
bool asksForInformation(int argc, char **argv);
