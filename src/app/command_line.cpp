#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// Every wrong command line ends alike: one line of reason, and the usage status.
[[noreturn]] void refuse(const QString &message)
{
    std::fputs(qPrintable(u"%1: %2\nTry '%1 --help'.\n"_s.arg(
                   QCoreApplication::applicationFilePath().section(u'/', -1), message)),
               stderr);
    std::exit(kUsageStatus);
}

// A skin colour, reference or target alike: exactly three whole numbers 0-255, as R,G,B.
Channels colourArgument(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    const QStringList parts = parser.value(option).split(u',');
    int values[3] = {};
    bool ok = parts.size() == 3;
    for (int i = 0; ok && i < 3; ++i) {
        values[i] = parts[i].trimmed().toInt(&ok);
        ok = ok && values[i] >= 0 && values[i] <= 255;
    }
    if (!ok) {
        refuse(u"--%1 takes three whole numbers from 0 to 255, as R,G,B."_s.arg(
            option.names().constFirst()));
    }
    return Channels{values[0], values[1], values[2]};
}

ApplyCommand applyCommand(const QCommandLineParser &parser, const QCommandLineOption &reference,
                          const QCommandLineOption &target, const QCommandLineOption &matchSkin,
                          const QCommandLineOption &output)
{
    if (!parser.isSet(reference))
        refuse(u"--apply needs --reference."_s);
    const bool matching = parser.isSet(matchSkin);
    if (matching && parser.isSet(target))
        refuse(u"--target and --match-skin cannot go together."_s);
    if (!matching && !parser.isSet(target))
        refuse(u"--apply needs --target or --match-skin."_s);
    if (!parser.isSet(output))
        refuse(u"--apply needs --output."_s);
    ApplyCommand command;
    command.files = parser.positionalArguments();
    if (command.files.isEmpty())
        refuse(u"--apply needs at least one FILE."_s);
    const QFileInfo folder(parser.value(output));
    if (!folder.exists())
        refuse(u"The output folder %1 does not exist."_s.arg(parser.value(output)));
    if (!folder.isDir())
        refuse(u"--output %1 is not a folder."_s.arg(parser.value(output)));
    // The folder named in the summary, whatever the working folder was.
    command.folder = QDir::cleanPath(folder.absoluteFilePath());

    const Channels ideal = colourArgument(parser, reference);
    const ChannelValues idealValues{double(ideal.red), double(ideal.green), double(ideal.blue)};
    if (matching) {
        command.correction = MatchSkin{idealValues};
        return command;
    }
    const GainResult gains = computeGains(idealValues, colourArgument(parser, target));
    if (gains.outcome != GainOutcome::Ok) {
        refuse(u"The correction is too large: a gain above %1, or a target channel of 0 "
               "under a reference above 0."_s.arg(double(gainLimit)));
    }
    command.correction = gains.gains;
    return command;
}

} // namespace

CommandLine parseCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Corrects the skin tone of portrait photos.\n\n"
        "orvane [FILE] opens the window, with FILE as the photo to correct.\n"
        "orvane --apply --reference R,G,B --target R,G,B --output DIR FILE... corrects each\n"
        "FILE without a window, as the window corrects a photo whose skin colour is the\n"
        "target and should be the reference, and saves it as a JPEG in DIR under its own\n"
        "name (a taken name gets -1, -2, ..., in the order of the FILEs). With --match-skin\n"
        "in place of --target, each FILE's target is the skin of the largest face found in\n"
        "it; a FILE with no face is not saved. Each FILE gets a line, FILE -> SAVED on the\n"
        "standard output or FILE: reason on the standard error.\n"
        "Exit status: 0 when every photo was saved, 1 when any failed, 2 for wrong arguments."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption apply(u"apply"_s, u"Correct the FILEs without a window."_s);
    const QCommandLineOption reference(u"reference"_s, u"The ideal skin colour."_s, u"R,G,B"_s);
    const QCommandLineOption target(u"target"_s, u"The skin colour in the photos."_s, u"R,G,B"_s);
    const QCommandLineOption matchSkin(u"match-skin"_s,
                                       u"Find each photo's skin and match it to the reference."_s);
    const QCommandLineOption output(u"output"_s, u"The folder for the corrected photos."_s,
                                    u"DIR"_s);
    parser.addOptions({apply, reference, target, matchSkin, output});
    parser.addPositionalArgument(u"FILE"_s, u"The photo to correct."_s, u"[FILE]"_s);

    if (!parser.parse(app.arguments()))
        refuse(parser.errorText());
    if (parser.isSet(u"help"_s) || parser.isSet(u"help-all"_s))
        parser.showHelp(0);
    if (parser.isSet(u"version"_s))
        parser.showVersion();
    if (parser.isSet(apply))
        return {{}, applyCommand(parser, reference, target, matchSkin, output)};

    for (const QCommandLineOption *option : {&reference, &target, &matchSkin, &output}) {
        if (parser.isSet(*option))
            refuse(u"--%1 goes with --apply."_s.arg(option->names().constFirst()));
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        refuse(u"Only one FILE can be opened."_s);
    return {files.value(0), std::nullopt};
}

bool needsNoDisplay(int argc, char **argv)
{
    // The options of --apply too: given without it they are refused, and that needs no window.
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView argument(argv[i]);
        for (const char *option :
             {"-h", "--help", "--help-all", "-v", "--version", "--apply", "--match-skin"}) {
            if (argument == option)
                return true;
        }
        for (const char *option : {"--reference", "--target", "--output"}) {
            if (argument == option || argument.startsWith(QByteArray(option) + '='))
                return true;
        }
    }
    return false;
}
