#include "cli/RecordCommand.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <functional>
#include <optional>

#include "cli/CliError.h"
#include "cli/InterruptNotifier.h"
#include "components/AudioRecord2.h"
#include "components/CodecAudioFile2.h"
#include "config/Mp3Settings.h"

namespace {

struct RecordOptions {
    QString output;
    std::optional<double> seconds;
    int line = 0;  // 0: the line the recorder is set to
};

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
        } else {
            throw UsageError(QStringLiteral("Unknown argument %1.").arg(arg));
        }
    }
    if (options.output.isEmpty())
        throw UsageError(QStringLiteral("record needs -o OUT.mp3."));
    return options;
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

QString ElapsedText(int64_t seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QChar('0'))
        .arg(seconds % 3600 / 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}

// Feeds captured blocks into the writer until the wanted length is reached or capture ends.
class Session {
public:
    Session(AudioRecord2& recorder, AudioFile2& writer, std::optional<int64_t> limit)
        : recorder_(recorder), writer_(writer), limit_(limit) {}

    // Returns the error that ended the recording early, if any.
    std::optional<QString> Run(QTextStream& err, bool showProgress) {
        InterruptNotifier interrupt;
        QObject::connect(&recorder_, &AudioRecord2::OnEndArrayRecord, &loop_,
                         [this] { Guard([this] { TakeBlocks(); }); });
        QObject::connect(&recorder_, &AudioRecord2::OnTimer, &loop_, [&](qint64 current) {
            if (showProgress) {
                err << "\rRecording " << ElapsedText(recorder_.SamplesToMs(written_) / 1000)
                    << "  (Ctrl-C stops)";
                err.flush();
            }
            if (limit_ && current >= *limit_)
                Guard([this] { Finish(true); });
        });
        QObject::connect(&recorder_, &AudioRecord2::OnError, &loop_, [this](const QString& text) {
            error_ = text;
            Guard([this] { Finish(false); });
        });
        QObject::connect(&interrupt, &InterruptNotifier::Interrupted, &loop_,
                         [this] { Guard([this] { Finish(false); }); });
        recorder_.Start();
        if (recorder_.LastError() != 0)
            throw SonvaraError(recorder_.LastErrorText());
        loop_.exec();
        if (showProgress)
            err << "\n";
        if (failure_)
            std::rethrow_exception(failure_);
        return error_;
    }

    int64_t Written() const { return written_; }

private:
    void Guard(const std::function<void()>& work) {
        try {
            work();
        } catch (...) {
            failure_ = std::current_exception();
            recorder_.Stop();
            loop_.quit();
        }
    }

    void TakeBlocks() {
        for (SampleArray block = recorder_.GetArray(); !block.empty();
             block = recorder_.GetArray()) {
            const int channels = writer_.ArrayChannels();
            int64_t frames = static_cast<int64_t>(block.size()) / channels;
            if (limit_ && written_ + frames > *limit_) {
                frames = std::max<int64_t>(0, *limit_ - written_);
                block.resize(static_cast<size_t>(frames * channels));
            }
            if (frames > 0)
                writer_.WriteArray(block);
            written_ += frames;
        }
        if (stopping_ && (!limit_ || written_ >= *limit_))
            loop_.quit();
    }

    // Stops capture; the blocks still on their way are written before the loop ends, up to
    // the wanted length when it was reached, or all of them when capture ended early.
    void Finish(bool lengthReached) {
        if (stopping_)
            return;
        stopping_ = true;
        recorder_.Stop();
        if (!lengthReached)
            limit_ = std::nullopt;
        // Whatever Stop hands over arrives as block events; give them a moment.
        QTimer::singleShot(1000, &loop_, [this] {
            Guard([this] {
                TakeBlocks();
                loop_.quit();
            });
        });
        TakeBlocks();
    }

    AudioRecord2& recorder_;
    AudioFile2& writer_;
    std::optional<int64_t> limit_;
    QEventLoop loop_;
    int64_t written_ = 0;
    bool stopping_ = false;
    std::optional<QString> error_;
    std::exception_ptr failure_;
};

}  // namespace

int RunRecordCommand(const QStringList& args, AudioRecord2& recorder, const Settings& settings,
                     QTextStream& err, bool showProgress) {
    const RecordOptions options = ParseOptions(args);
    if (recorder.LastDeviceIndex() < 0) {
        recorder.Start();
        throw SonvaraError(recorder.LastErrorText());
    }
    SelectLine(recorder, options.line);

    AudioFile2LameEnc encoder;
    ReadMp3Settings(settings).ApplyTo(encoder);
    CodecAudioFile2 writer;
    if (!writer.IsMp3FormatSupported(encoder.SampleRate(), encoder.Bitrate(), encoder.Channels()))
        throw SonvaraError(QStringLiteral("This MP3 format is not supported."));
    writer.SetMp3Encoder(encoder);
    writer.CreateFile(options.output, 0);
    recorder.SetFormat(writer.ArraySampleRate(), writer.ArrayChannels());
    recorder.SetBlockSize(static_cast<int>(recorder.MsToSamples(200)));
    std::optional<int64_t> limit;
    if (options.seconds)
        limit = static_cast<int64_t>(*options.seconds * writer.ArraySampleRate() + 0.5);

    Session session(recorder, writer, limit);
    std::optional<QString> error;
    try {
        error = session.Run(err, showProgress);
    } catch (...) {
        writer.CloseFile();
        if (session.Written() == 0)
            QFile::remove(options.output);
        throw;
    }
    writer.CloseFile();
    if (error) {
        err << "sonvara-cli: " << *error << " What was recorded is in " << options.output << ".\n";
        return 1;
    }
    err << "Recorded " << ElapsedText(recorder.SamplesToMs(session.Written()) / 1000) << " to "
        << options.output << "\n";
    return 0;
}
