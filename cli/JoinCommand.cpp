#include "cli/JoinCommand.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <vector>

#include "app/Program.h"
#include "app/ProgramCore.h"
#include "cli/CliError.h"
#include "cli/FileArguments.h"
#include "cli/TerminalView.h"
#include "components/InterruptNotifier.h"
#include "components/TagLibAudioInformation2.h"
#include "config/Mp3Settings.h"
#include "join/JoinEngine.h"
#include "join/ListView.h"

namespace {

struct JoinOptions {
    QString output;
    QStringList inputs;
};

int ParseNumber(const QString& option, const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        throw UsageError(QStringLiteral("%1 needs a number, not \"%2\".").arg(option, text));
    return value;
}

JoinOptions ParseOptions(const QStringList& args, Mp3Settings& mp3) {
    JoinOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        auto value = [&]() -> QString {
            if (!hasValue)
                throw UsageError(QStringLiteral("%1 needs a value.").arg(arg));
            return args[++i];
        };
        if (arg == "-o" || arg == "--output") {
            options.output = value();
        } else if (arg == "--frequency") {
            mp3.sampleRate = ParseNumber(arg, value());
        } else if (arg == "--bitrate") {
            mp3.bitrate = ParseNumber(arg, value());
        } else if (arg == "--channels") {
            mp3.channels = ParseNumber(arg, value());
        } else if (arg == "--quality") {
            mp3.quality = ParseNumber(arg, value());
        } else if (arg == "--vbr") {
            mp3.vbr = true;
            mp3.vbrQuality = ParseNumber(arg, value());
        } else if (arg == "--cbr") {
            mp3.vbr = false;
        } else if (arg.startsWith('-') && arg.size() > 1) {
            throw UsageError(QStringLiteral("Unknown option %1.").arg(arg));
        } else {
            options.inputs << arg;
        }
    }
    if (QFileInfo(options.output).fileName().isEmpty())
        throw UsageError(QStringLiteral("join needs -o OUT.mp3."));
    if (options.inputs.isEmpty())
        throw UsageError(QStringLiteral("join needs input files."));
    return options;
}

// Before any input is opened, and with the values that were asked for, where the join itself
// would only say that the format is not supported.
void CheckMp3(const Mp3Settings& mp3, const AudioFile2& writer) {
    if (mp3.quality < 0 || mp3.quality > 9 || mp3.vbrQuality < 0 || mp3.vbrQuality > 9)
        throw UsageError(QStringLiteral("Quality and VBR level go from 0 to 9."));
    if (!mp3.IsSupportedBy(writer))
        throw SonvaraError(QStringLiteral("This MP3 format is not supported: %1 Hz, %2 kbit/s, "
                                          "%3 channel(s).")
                               .arg(mp3.sampleRate)
                               .arg(mp3.bitrate)
                               .arg(mp3.channels));
}

// Every input is measured, as the list measures what it adds, before anything is written: a
// bad input costs no output.
std::vector<JoinRow> MeasureInputs(const QStringList& inputs, AudioFile2& reader) {
    std::vector<JoinRow> rows;
    for (const QString& input : inputs) {
        rows.push_back(MeasureJoinRow(reader, input));
        // Chapters are named after the file when its tag has no title.
        rows.back().caption = QFileInfo(WithNamesShown(input)).fileName();
    }
    return rows;
}

// The terminal in the place of the windows: messages and progress on standard error. Every
// message of the join is a refusal or a failure; warnings are not.
class JoinView : public TerminalView, public ListView {
public:
    JoinView(QTextStream& err, bool terminal) : TerminalView(err, terminal) {}

    void ShowMessage(const QString& text) override { TerminalView::ShowMessage(text, true); }
    void ShowWarning(const QString& text) override {
        TerminalView::ShowMessage(QStringLiteral("warning: ") + text, false);
    }
    QStringList AskFilesToAdd() override { return {}; }
    void FocusList() override {}
    void Changed() override {}
    QString AskOutputFile(const QString&) override { return {}; }
    void SetTimeHeader(const QString&) override {}
    void SetRowTime(int, const QString&) override {}
    // The interrupt arrives as an event.
    void PumpEvents() override { QCoreApplication::processEvents(); }
    void OpenFolder(const QString&) override {}
    void ShowJoinProgress(const QString& text) override;

private:
    bool lineShown_ = false;
    QElapsedTimer sinceShown_;
};

// One line rewritten in place on a terminal, plain lines in a log; a few a second at most.
void JoinView::ShowJoinProgress(const QString& text) {
    if (text.isEmpty()) {
        if (lineShown_)
            err_ << "\r\x1b[K";
        lineShown_ = false;
        err_.flush();
        return;
    }
    if (sinceShown_.isValid() && sinceShown_.elapsed() < (showProgress_ ? 200 : 1000))
        return;
    sinceShown_.start();
    if (showProgress_) {
        err_ << "\r" << text << "\x1b[K";
        lineShown_ = true;
    } else {
        err_ << text << "\n";
    }
    err_.flush();
}

}  // namespace

int RunJoinCommand(const QStringList& args, ProgramCore& core, QTextStream& err, bool terminal) {
    const Settings& settings = core.Ini();
    Mp3Settings mp3 = ReadMp3Settings(settings);
    const JoinOptions options = ParseOptions(args, mp3);
    AudioFile2& writer = core.FileWriter();
    CheckMp3(mp3, writer);

    AudioFile2& reader = core.FileReader();
    const std::vector<JoinRow> rows = MeasureInputs(options.inputs, reader);

    Program program(core);
    JoinView view(err, terminal);
    program.SetView(&view);
    program.SetListView(&view);
    JoinEngine& engine = program.Join();
    engine.SetMp3(mp3);
    engine.SetOpenFolderAtEnd(false);
    bool interrupted = false;
    InterruptNotifier interrupt;
    QObject::connect(&interrupt, &InterruptNotifier::Interrupted, [&] {
        interrupted = true;
        engine.StopJoin();
    });
    engine.JoinFilesTo(rows, options.output);
    if (view.failed)
        return 1;
    if (interrupted) {
        err << "sonvara-cli: Stopped; " << JoinEngine::Mp3FileName(options.output)
            << " holds what was joined so far.\n";
        return 1;
    }
    return 0;
}
