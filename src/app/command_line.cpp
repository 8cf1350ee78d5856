#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void refuse(const QString &message, int status)
{
    std::fputs(qPrintable(u"%1: %2\nTry '%1 --help'.\n"_s.arg(
                   QCoreApplication::applicationFilePath().section(u'/', -1), message)),
               stderr);
    std::exit(status);
}

// "R,G,B" as three texts; nothing unless there are exactly three.
std::optional<ChannelTexts> channelTexts(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 3)
        return std::nullopt;
    return ChannelTexts{parts[0], parts[1], parts[2]};
}

// A picked colour: three whole numbers 0-255.
std::optional<Channels> pickedColour(const QString &text)
{
    const std::optional<ChannelTexts> texts = channelTexts(text);
    if (!texts)
        return std::nullopt;
    int values[3];
    const QString *parts[3] = {&texts->red, &texts->green, &texts->blue};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts[i]->trimmed().toInt(&ok);
        if (!ok || values[i] < 0 || values[i] > 255)
            return std::nullopt;
    }
    return Channels{values[0], values[1], values[2]};
}

ApplyCommand applyCommand(const QCommandLineParser &parser, const QCommandLineOption &reference,
                          const QCommandLineOption &target, const QCommandLineOption &output)
{
    constexpr int status = kApplyUsageStatus;
    for (const QCommandLineOption *option : {&reference, &target, &output}) {
        if (!parser.isSet(*option))
            refuse(u"--apply needs --%1."_s.arg(option->names().constFirst()), status);
    }
    ApplyCommand command;
    command.files = parser.positionalArguments();
    if (command.files.isEmpty())
        refuse(u"--apply needs at least one FILE."_s, status);
    command.folder = parser.value(output);
    if (!QFileInfo(command.folder).isDir())
        refuse(u"The output folder %1 does not exist."_s.arg(command.folder), status);

    const std::optional<ChannelTexts> ideal = channelTexts(parser.value(reference));
    const std::optional<Channels> picked = pickedColour(parser.value(target));
    if (!picked)
        refuse(u"--target takes three whole numbers from 0 to 255, as R,G,B."_s, status);
    const GainResult gains = ideal ? computeGains(*ideal, *picked) : GainResult{};
    if (!ideal || gains.outcome == GainOutcome::InvalidNumber)
        refuse(u"--reference takes three numbers, as R,G,B."_s, status);
    if (gains.outcome == GainOutcome::TooLarge) {
        refuse(u"The correction is too large: a gain above %1, or a target channel of 0 "
               "under a reference above 0."_s.arg(double(gainLimit)),
               status);
    }
    command.gains = gains.gains;
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
        "name (a taken name gets -1, -2, ...). Exit status: 0 when every photo was saved,\n"
        "1 when any failed, 2 for wrong arguments."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption apply(u"apply"_s, u"Correct the FILEs without a window."_s);
    const QCommandLineOption reference(u"reference"_s, u"The ideal skin colour."_s, u"R,G,B"_s);
    const QCommandLineOption target(u"target"_s, u"The skin colour in the photos."_s, u"R,G,B"_s);
    const QCommandLineOption output(u"output"_s, u"The folder for the corrected photos."_s,
                                    u"DIR"_s);
    parser.addOptions({apply, reference, target, output});
    parser.addPositionalArgument(u"FILE"_s, u"The photo to correct."_s, u"[FILE]"_s);

    if (app.arguments().contains(u"--apply"_s)) {
        // As process() would, but with the status of a wrong --apply.
        if (!parser.parse(app.arguments()))
            refuse(parser.errorText(), kApplyUsageStatus);
        if (parser.isSet(u"help"_s) || parser.isSet(u"help-all"_s))
            parser.showHelp(0);
        if (parser.isSet(u"version"_s))
            parser.showVersion();
        return {{}, applyCommand(parser, reference, target, output)};
    }
    parser.process(app);

    if (parser.isSet(reference) || parser.isSet(target) || parser.isSet(output))
        refuse(u"--reference, --target and --output go with --apply."_s, 1);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fputs(qPrintable(u"Only one FILE can be opened.\n"_s), stderr);
        parser.showHelp(1);
    }
    return {files.value(0), std::nullopt};
}

bool needsNoDisplay(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "--help-all", "-v", "--version", "--apply"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}
