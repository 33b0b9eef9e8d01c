#include <unistd.h>
#include <QCoreApplication>
#include <QTextStream>
#include <csignal>

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

const char kUsage[] =
    "usage: sonvara-cli COMMAND ...\n"
    "\n"
    "  info FILE...                 print each file's facts and tag\n"
    "  tag FILE...                  print each file's tag, or with options change it\n"
    "       --title T, --artist A, --album A, --comment C\n"
    "       --genre NAME|NUMBER     a genre of the ID3 list (0..147), \"\" for none\n"
    "       --year N, --track N     0 for none\n"
    "  join -o OUT.mp3 IN...        join all inputs, in order, into one MP3\n"
    "       --frequency HZ          sample rate of the output\n"
    "       --bitrate KBPS          bit rate (the lowest one with VBR)\n"
    "       --channels 1|2          mono or stereo\n"
    "       --quality Q             encoder quality, 0 best .. 9 fastest\n"
    "       --vbr LEVEL             variable bit rate at this level (0..9)\n"
    "       --cbr                   constant bit rate\n"
    "  devices                      list the capture device, its input lines and levels\n"
    "  record                       record from the sound card into MP3 files named, placed\n"
    "                               and split by length as the settings say, each file\n"
    "                               tagged with the default tag\n"
    "       -o OUT.mp3              into this file instead (split parts OUT-2.mp3, ...)\n"
    "       --seconds N             stop after N seconds of sound (else Ctrl-C stops)\n"
    "       --line K                record from input line K (see devices)\n"
    "       --activate [DB]         write only passages of sound above DB dBFS (Kelvo.ini)\n"
    "       --silence S             with --activate: S seconds of silence end a passage\n"
    "       --split-at-silence      with --activate: a new file for each passage\n"
    "  repair FILE...               make recordings cut off by a crash whole again\n"
    "\n"
    "Settings not given come from Kelvo.ini.\n";

int Run(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kUsage;
        return args.isEmpty() ? 1 : 0;
    }
    const QString command = args[0];
    const QStringList rest = args.mid(1);
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
    if (command == "record")
        return RunRecordCommand(rest, core, err, isatty(STDERR_FILENO));
    throw UsageError(QStringLiteral("Unknown command \"%1\".").arg(command));
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
