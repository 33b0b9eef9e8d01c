#include "cli/RecordCommand.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cmath>
#include <optional>

#include "app/Program.h"
#include "app/ProgramCore.h"
#include "cli/CliError.h"
#include "cli/EventFailure.h"
#include "cli/TerminalView.h"
#include "components/AudioRecord2.h"
#include "components/InterruptNotifier.h"
#include "config/ActivationSettings.h"
#include "config/Mp3Settings.h"

namespace {

// Longer than any recording is meant to run, and far within what a frame count can hold.
constexpr int kLongestSeconds = 100 * 24 * 3600;
constexpr int kListeningCheckMs = 50;

struct RecordOptions {
    QString output;  // empty: named by the settings
    std::optional<double> seconds;
    int line = 0;  // 0: the line the recorder is set to
    bool activate = false;
    std::optional<int> thresholdDb;  // none: as stored
    std::optional<int> silenceSeconds;
    bool splitAtSilence = false;
};

// An optional value: the next argument when it is a number (a threshold is negative).
std::optional<int> OptionalNumber(const QStringList& args, int& i) {
    bool ok = false;
    const int number = i + 1 < args.size() ? args[i + 1].toInt(&ok) : 0;
    if (!ok)
        return std::nullopt;
    ++i;
    if (number < kThresholdLowestDb || number > 0)
        throw UsageError(
            QStringLiteral("--activate needs a level from %1 to 0 dBFS.").arg(kThresholdLowestDb));
    return number;
}

RecordOptions ParseOptions(const QStringList& args) {
    RecordOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw UsageError(QStringLiteral("%1 needs a value.").arg(arg));
            return args[++i];
        };
        bool ok = true;
        if (arg == "-o" || arg == "--output") {
            options.output = value();
            if (options.output.isEmpty())
                throw UsageError(QStringLiteral("-o needs a file name."));
        } else if (arg == "--seconds") {
            const QString text = value();
            options.seconds = text.toDouble(&ok);
            if (!ok || !std::isfinite(*options.seconds) || *options.seconds <= 0 ||
                *options.seconds > kLongestSeconds)
                throw UsageError(QStringLiteral("--seconds needs a number of seconds above 0 and "
                                                "up to %1 (100 days).")
                                     .arg(kLongestSeconds));
        } else if (arg == "--line") {
            const QString text = value();
            options.line = text.toInt(&ok);
            if (!ok || options.line < 1)
                throw UsageError(QStringLiteral("--line needs a line number from 1 up."));
        } else if (arg == "--activate") {
            options.activate = true;
            options.thresholdDb = OptionalNumber(args, i);
        } else if (arg == "--silence") {
            const QString text = value();
            options.silenceSeconds = text.toInt(&ok);
            if (!ok || *options.silenceSeconds < 1 ||
                *options.silenceSeconds > kLongestSilenceSeconds)
                throw UsageError(QStringLiteral("--silence needs whole seconds from 1 to %1.")
                                     .arg(kLongestSilenceSeconds));
        } else if (arg == "--split-at-silence") {
            options.splitAtSilence = true;
        } else {
            throw UsageError(QStringLiteral("Unknown argument %1.").arg(arg));
        }
    }
    return options;
}

// The stored activation with the command line's changes, or none when nothing was given.
std::optional<ActivationSettings> Activation(const RecordOptions& options,
                                             const Settings& settings) {
    if (!options.activate && !options.silenceSeconds && !options.splitAtSilence)
        return std::nullopt;
    ActivationSettings activation = LoadActivationSettings(settings);
    activation.enabled = activation.enabled || options.activate;
    if (!activation.enabled)
        throw UsageError(
            QStringLiteral("--silence and --split-at-silence apply only with --activate."));
    activation.thresholdDb = options.thresholdDb.value_or(activation.thresholdDb);
    activation.silenceSeconds = options.silenceSeconds.value_or(activation.silenceSeconds);
    if (options.splitAtSilence)
        activation.mode = 1;
    return activation;
}

void SelectLine(AudioRecord2& recorder, int line) {
    if (line == 0)
        return;
    if (line > recorder.InputCount())
        throw UsageError(QStringLiteral("There is no input line %1; `sonvara-cli devices` "
                                        "lists them.")
                             .arg(line));
    recorder.SetInputIndex(line);
    recorder.SetInputSelected(true);
}

// Finished files and passages are told as they come.
class RecordingView : public TerminalView {
public:
    RecordingView(QTextStream& err, const AudioRecord2& recorder, bool showProgress)
        : TerminalView(err, showProgress), recorder_(recorder) {}

    std::function<void()> finished;

    void PassageChanged(bool started, const QString& file) override {
        Line() << (started ? "Sound: passage started in " : "Silence: passage ended in ") << file
               << "\n";
        err_.flush();
    }
    void RecordingFinished(const QString& file, int64_t frames) override {
        Line() << "Recorded " << TimeText(recorder_.SamplesToMs(frames) / 1000) << " to " << file
               << "\n";
        err_.flush();
        finished();
    }
    // A default tag stored with a year or track that is no number is a setting to correct,
    // not a failed recording.
    void DefaultTagRefused(const QString& file, const DefaultTagRefusal& refusal, bool) override {
        Line() << "sonvara-cli: " << refusal.message << ": the default tag's " << refusal.key
               << " in Kelvo.ini is \"" << refusal.value << "\"; " << file
               << " is left untagged.\n";
    }

private:
    const AudioRecord2& recorder_;
};

// A recorder that would not start leaves no empty file behind.
void RemoveEmptyRecording(RecordingControl& control) {
    if (control.FramesWritten() == 0 && !control.OutputFile().isEmpty())
        QFile::remove(control.OutputFile());
}

}  // namespace

int RunRecordCommand(const QStringList& args, ProgramCore& core, QTextStream& err,
                     bool showProgress) {
    AudioRecord2& recorder = core.Recorder();
    const Settings& settings = core.Ini();
    const RecordOptions options = ParseOptions(args);
    const std::optional<ActivationSettings> activation = Activation(options, settings);
    if (recorder.LastDeviceIndex() < 0) {
        recorder.Start();  // the recorder says best why there is nothing to record from
        throw SonvaraError(QStringLiteral("No sound server was found (PulseAudio or PipeWire)."));
    }
    SelectLine(recorder, options.line);

    // The stored settings are the settings (no window edits them), and the program's markers
    // let its next start repair a recording this run leaves cut off.
    Program program(core);
    RecordingView view(err, recorder, showProgress);
    program.SetView(&view);
    RecordingControl& control = program.Recorder();
    if (!options.output.isEmpty())
        control.SetFixedOutputFile(options.output);
    control.SetActivation(activation);
    // Sound activation writes only when there is sound: its time is the time spent listening.
    if (options.seconds && !activation)
        control.StopAfterFrames(
            static_cast<int64_t>(*options.seconds * ReadMp3Settings(settings).sampleRate + 0.5));

    QEventLoop loop;
    // A split stops and starts within one call; only a stop that nothing follows ends the run.
    view.finished = [&] {
        QTimer::singleShot(0, &loop, [&] {
            if (!program.Recording())
                loop.quit();
        });
    };
    InterruptNotifier interrupt;
    QObject::connect(&interrupt, &InterruptNotifier::Interrupted, &loop, [&] {
        program.StopRecording();
        // Armed and never triggered: no file is handed on to end the loop.
        if (!program.Recording())
            loop.quit();
    });
    if (showProgress) {
        QObject::connect(&recorder, &AudioRecord2::OnTimer, &loop, [&] {
            const int64_t seconds = recorder.SamplesToMs(control.PlayedPosition()) / 1000;
            err << "\rRecording " << control.OutputFile() << "  "
                << (control.WaitingForSound() ? QStringLiteral("Waiting for sound")
                                              : TimeText(seconds))
                << "  (Ctrl-C stops)";
            err.flush();
        });
    }

    program.StartRecording(Caller::User);
    if (!program.Recording()) {
        RemoveEmptyRecording(control);
        return 1;  // refused or failed; the reason has been told
    }
    // Listening may last longer than one timer's span: the time is looked at as it goes.
    QElapsedTimer listened;
    listened.start();
    QTimer listening;
    if (options.seconds && activation) {
        QObject::connect(&listening, &QTimer::timeout, &loop, [&] {
            if (listened.elapsed() < *options.seconds * 1000)
                return;
            listening.stop();
            program.StopRecording();
            if (!program.Recording())
                loop.quit();
        });
        listening.start(kListeningCheckMs);
    }
    loop.exec();
    program.StopRecording();
    if (const std::exception_ptr failure = TakeEventFailure())
        std::rethrow_exception(failure);
    return view.failed ? 1 : 0;
}
