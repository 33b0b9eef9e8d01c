#include <unistd.h>
#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>
#include <csignal>
#include <iterator>

#include "app/ProgramCore.h"
#include "cli/CliError.h"
#include "cli/DevicesCommand.h"
#include "cli/EventFailure.h"
#include "cli/FileArguments.h"
#include "cli/InfoCommand.h"
#include "cli/JoinCommand.h"
#include "cli/RecordCommand.h"
#include "cli/RepairCommand.h"
#include "cli/TagCommand.h"
#include "components/ErrorBoundary.h"

namespace {

// Each command's usage, in the order the full usage lists them.
struct CommandUsage {
    const char* name;
    const char* text;
};
const CommandUsage kCommands[] = {
    {"info", "  info FILE...                 print each file's facts and tag\n"},
    {"tag",
     "  tag FILE...                  print each file's tag, or with options change it\n"
     "       --title T, --artist A, --album A, --comment C\n"
     "       --genre NAME|NUMBER     a genre of the ID3 list (0..147), \"\" for none\n"
     "       --year N, --track N     0 for none\n"},
    {"join",
     "  join -o OUT.mp3 IN...        join all inputs, in order, into one MP3\n"
     "       --frequency HZ          sample rate of the output\n"
     "       --bitrate KBPS          bit rate (the lowest one with VBR)\n"
     "       --channels 1|2          mono or stereo\n"
     "       --quality Q             encoder quality, 0 best .. 9 fastest\n"
     "       --vbr LEVEL             variable bit rate at this level (0..9)\n"
     "       --cbr                   constant bit rate\n"},
    {"devices",
     "  devices                      list the capture device, its input lines and levels\n"},
    {"record",
     "  record                       record from the sound card into MP3 files named, placed\n"
     "                               and split by length as the settings say, each file\n"
     "                               tagged with the default tag\n"
     "       -o OUT.mp3              into this file instead (split parts OUT-2.mp3, ...)\n"
     "       --seconds N             stop after N seconds of sound, or with --activate after\n"
     "                               N seconds of listening (else Ctrl-C stops)\n"
     "       --line K                record from input line K (see devices)\n"
     "       --activate [DB]         write only passages of sound above DB dBFS (Kelvo.ini)\n"
     "       --silence S             with --activate: S seconds of silence end a passage\n"
     "       --split-at-silence      with --activate: a new file for each passage\n"},
    {"repair", "  repair FILE...               make recordings cut off by a crash whole again\n"},
};
const char kSettingsNote[] = "\nSettings not given come from Kelvo.ini.\n";

// All commands, or the one named.
void PrintUsage(QTextStream& out, const QString& only = {}) {
    out << "usage: sonvara-cli " << (only.isEmpty() ? QStringLiteral("COMMAND ...") : only)
        << "\n\n";
    for (const CommandUsage& command : kCommands) {
        if (only.isEmpty() || only == QLatin1String(command.name))
            out << command.text;
    }
    out << kSettingsNote;
}

bool AsksForHelp(const QStringList& args) {
    return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
}

int Run(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintUsage(out);
        return args.isEmpty() ? 1 : 0;
    }
    const QString command = args[0];
    const QStringList rest = args.mid(1);
    const auto known = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandUsage& c) { return command == c.name; });
    if (known == std::end(kCommands))
        throw UsageError(QStringLiteral("Unknown command \"%1\".").arg(command));
    if (AsksForHelp(rest)) {
        PrintUsage(out, command);
        return 0;
    }
    ProgramCore core;
    if (command == "info")
        return RunInfoCommand(rest, core.TagInfo(), out, err);
    if (command == "repair")
        return RunRepairCommand(rest, core, out, err);
    if (command == "tag")
        return RunTagCommand(rest, core.TagInfo(), out, err);
    if (command == "join")
        return RunJoinCommand(rest, core, err, isatty(STDERR_FILENO));
    if (command == "devices")
        return RunDevicesCommand(core.Recorder(), out, err);
    return RunRecordCommand(rest, core, err, isatty(STDERR_FILENO));
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit makes the write fail, which ends a recording with its file finished,
    // instead of killing the tool halfway through a frame.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    // Qt cannot carry an exception through its event loop; an event handler's failure is kept
    // for the command instead.
    SetFailureHandler(KeepEventFailure);
    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        return Run(CommandLineArguments(argc, argv), out, err);
    } catch (const UsageError& e) {
        err << "sonvara-cli: " << WithNamesShown(e.message()) << " (see sonvara-cli --help)\n";
    } catch (const SonvaraError& e) {
        err << "sonvara-cli: " << WithNamesShown(e.message()) << "\n";
    } catch (const std::exception& e) {
        err << "sonvara-cli: " << WithNamesShown(QString::fromLocal8Bit(e.what())) << "\n";
    }
    return 1;
}
