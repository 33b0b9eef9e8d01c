#include "cli/RecordCommand.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <optional>

#include "app/ProgramCore.h"
#include "cli/CliError.h"
#include "cli/EventFailure.h"
#include "components/AudioRecord2.h"
#include "components/AudioVisualizationEx2.h"
#include "components/InterruptNotifier.h"
#include "components/MainDisplays.h"
#include "config/ActivationSettings.h"
#include "config/AppState.h"
#include "config/Mp3Settings.h"
#include "record/RecordingControl.h"
#include "record/RecordingMarker.h"
#include "record/SleepInhibitor.h"
#include "tags/DefaultTag.h"

namespace {

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
            if (!ok || *options.seconds <= 0)
                throw UsageError(QStringLiteral("--seconds needs a positive number."));
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

class NoLevelDisplay : public AudioVisualizationEx2 {
public:
    void SetDisplayKind(int) override {}
    void ShowArray(const SampleArray&, int) override {}
    void SetVisible(bool) override {}
};

// The terminal in the place of the main window: the stored settings are the settings, and
// messages and finished files are reported on standard error. Finished files get the default
// tag as the program's recordings do.
class TerminalHost : public RecordingHost {
public:
    TerminalHost(QTextStream& err, const AudioRecord2& recorder, DefaultTagWriter& tags,
                 bool showProgress)
        : err_(err), recorder_(recorder), tags_(tags), showProgress_(showProgress) {}

    RecordingControl* control = nullptr;
    std::function<void()> finished;
    bool tagFailed = false;

    void CommitSettings() override {}
    void ShowMessage(const QString& text) override { err_ << "sonvara-cli: " << text << "\n"; }
    void ShowOutputPath(const QString&) override {}
    void PassageChanged(bool started, const QString& file) override {
        if (showProgress_)
            err_ << "\r\033[K";
        err_ << (started ? "Sound: passage started in " : "Silence: passage ended in ") << file
             << "\n";
        err_.flush();
    }
    void RecordingFinished(const QString& file, bool writeTag) override {
        const int64_t frames = control->FramesHandedOn();
        if (showProgress_)
            err_ << "\r\033[K";
        err_ << "Recorded " << RecordingControl::TimeText(recorder_.SamplesToMs(frames) / 1000)
             << " to " << file << "\n";
        if (writeTag)
            WriteDefaultTags(file);
        err_.flush();
        finished();
    }

private:
    // The recording stands whatever becomes of its tag: a default tag stored with a year or
    // track that is no number is a setting to correct, not a failed recording.
    void WriteDefaultTags(const QString& file) {
        try {
            if (const std::optional<DefaultTagRefusal> refusal = tags_.WriteDefaultTags(file)) {
                err_ << "sonvara-cli: " << refusal->message << ": the default tag's "
                     << refusal->key << " in Kelvo.ini is \"" << refusal->value << "\"; " << file
                     << " is left untagged.\n";
            }
        } catch (const SonvaraError& e) {
            err_ << "sonvara-cli: " << e.message() << "\n";
            tagFailed = true;
        }
    }

    QTextStream& err_;
    const AudioRecord2& recorder_;
    DefaultTagWriter& tags_;
    bool showProgress_;
};

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

    AppState& state = core.State();
    NoLevelDisplay levels;
    NoDisplays displays;
    LogindSleepInhibitor sleep;
    DefaultTagWriter tags(settings, core.TagInfo());
    TerminalHost host(err, recorder, tags, showProgress);
    // Beside the program's own markers: its next start repairs a recording this run leaves
    // cut off.
    RecordingMarker marker(QFileInfo(core.Ini().Path()).absolutePath());
    RecordingControl control({state, settings, core.WallClock(), recorder, core.FileWriter(),
                              core.Encoder(), levels, displays, sleep, host, &marker});
    host.control = &control;
    if (!options.output.isEmpty())
        control.SetFixedOutputFile(options.output);
    control.SetActivation(activation);
    if (options.seconds)
        control.StopAfterFrames(
            static_cast<int64_t>(*options.seconds * ReadMp3Settings(settings).sampleRate + 0.5));

    QEventLoop loop;
    // A split stops and starts within one call; only a stop that nothing follows ends the run.
    host.finished = [&] {
        QTimer::singleShot(0, &loop, [&] {
            if (!state.Recording)
                loop.quit();
        });
    };
    InterruptNotifier interrupt;
    QObject::connect(&interrupt, &InterruptNotifier::Interrupted, &loop, [&] {
        control.StopRecording();
        // Armed and never triggered: no file is handed on to end the loop.
        if (!state.Recording)
            loop.quit();
    });
    std::optional<QString> captureError;
    QObject::connect(&recorder, &AudioRecord2::OnError, &loop, [&](const QString& message) {
        captureError = message;
        control.StopRecording();
    });
    if (showProgress) {
        QObject::connect(&recorder, &AudioRecord2::OnTimer, &loop, [&] {
            const int64_t seconds = recorder.SamplesToMs(state.PlayedPosition) / 1000;
            err << "\rRecording " << state.OutputFile << "  "
                << (control.WaitingForSound() ? QStringLiteral("Waiting for sound")
                                              : RecordingControl::TimeText(seconds))
                << "  (Ctrl-C stops)";
            err.flush();
        });
    }

    try {
        control.StartRecording(StartedBy::User);
    } catch (...) {
        // A recorder that would not start leaves no empty file behind.
        if (control.FramesWritten() == 0)
            QFile::remove(state.OutputFile);
        throw;
    }
    if (!state.Recording)
        return 1;  // refused; the reason has been shown
    loop.exec();
    if (const std::exception_ptr failure = TakeEventFailure()) {
        try {
            control.StopRecording();
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    if (captureError) {
        err << "sonvara-cli: " << *captureError << " What was recorded is in " << state.OutputFile
            << ".\n";
        return 1;
    }
    return host.tagFailed ? 1 : 0;
}
