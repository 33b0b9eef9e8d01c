#include "cli/JoinCommand.h"

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "cli/CliError.h"
#include "components/CodecAudioFile2.h"
#include "config/Mp3Settings.h"

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

JoinOptions ParseOptions(const QStringList& args, AudioFile2LameEnc& encoder) {
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
            encoder.SetSampleRate(ParseNumber(arg, value()));
        } else if (arg == "--bitrate") {
            encoder.SetBitrate(ParseNumber(arg, value()));
        } else if (arg == "--channels") {
            encoder.SetChannels(ParseNumber(arg, value()));
        } else if (arg == "--quality") {
            encoder.SetQuality(ParseNumber(arg, value()));
        } else if (arg == "--vbr") {
            encoder.SetVbr(true);
            encoder.SetVbrQuality(ParseNumber(arg, value()));
        } else if (arg == "--cbr") {
            encoder.SetVbr(false);
        } else if (arg.startsWith('-') && arg.size() > 1) {
            throw UsageError(QStringLiteral("Unknown option %1.").arg(arg));
        } else {
            options.inputs << arg;
        }
    }
    if (options.output.isEmpty())
        throw UsageError(QStringLiteral("join needs -o OUT.mp3."));
    if (options.inputs.isEmpty())
        throw UsageError(QStringLiteral("join needs input files."));
    return options;
}

void CheckEncoder(const AudioFile2LameEnc& encoder) {
    if (encoder.Quality() < 0 || encoder.Quality() > 9 || encoder.VbrQuality() < 0 ||
        encoder.VbrQuality() > 9)
        throw UsageError(QStringLiteral("Quality and VBR level go from 0 to 9."));
    // The writer would refuse the same, but only after every input has been opened.
    if (!IsMp3EncoderSupported(encoder))
        throw SonvaraError(QStringLiteral("This MP3 format is not supported: %1 Hz, %2 kbit/s, "
                                          "%3 channel(s).")
                               .arg(encoder.SampleRate())
                               .arg(encoder.Bitrate())
                               .arg(encoder.Channels()));
}

// Opens every input once before anything is written, so a bad input costs no output. The sum
// of the announced lengths only scales the progress: the join reads each input to its end.
int64_t TotalFrames(const JoinOptions& options, AudioFile2& reader) {
    const QString output = QFileInfo(options.output).absoluteFilePath();
    int64_t total = 0;
    for (const QString& input : options.inputs) {
        if (QFileInfo(input).absoluteFilePath() == output)
            throw SonvaraError(
                QStringLiteral("\"%1\" is both an input and the output of the join.").arg(input));
        reader.OpenFile(input, 0, 1);
        total += reader.Samples();
        reader.CloseFile();
    }
    return total;
}

class Progress {
public:
    Progress(QTextStream& err, bool enabled, int64_t total)
        : err_(err), enabled_(enabled), total_(total) {}

    void Show(int file, int files, const QString& name, int64_t done) {
        if (!enabled_)
            return;
        const int percent =
            total_ > 0 ? static_cast<int>(std::min<int64_t>(done, total_) * 100 / total_) : 100;
        if (percent == lastPercent_ && file == lastFile_)
            return;
        lastPercent_ = percent;
        lastFile_ = file;
        err_ << QStringLiteral("\rJoining %1/%2 %3%  %4\x1b[K")
                    .arg(file)
                    .arg(files)
                    .arg(percent, 3)
                    .arg(QFileInfo(name).fileName());
        err_.flush();
    }

    void Finish() {
        if (enabled_)
            err_ << "\n";
    }

private:
    QTextStream& err_;
    bool enabled_;
    int64_t total_;
    int lastPercent_ = -1;
    int lastFile_ = -1;
};

// Appends one input to the open writer, block by block, as the list window's join does.
void AppendInput(const QString& input, AudioFile2& reader, AudioFile2& writer,
                 const std::function<void(int64_t)>& advanced) {
    reader.OpenFile(input, 0, 1);
    const int channels = reader.ArrayChannels();
    writer.SetArrayFormat(reader.ArraySampleRate(), channels);
    const int block = channels * reader.ArraySampleRate() * 4;
    // Read to the end, not to Samples: some formats (WMA) announce less than they decode.
    for (;;) {
        const SampleArray data = reader.ReadArray(block);
        if (data.empty())
            break;
        writer.WriteArray(data);
        advanced(static_cast<int64_t>(data.size()) / channels);
    }
    reader.CloseFile();
}

}  // namespace

int RunJoinCommand(const QStringList& args, const Settings& settings, QTextStream& err,
                   bool showProgress) {
    AudioFile2LameEnc encoder;
    ReadMp3Settings(settings).ApplyTo(encoder);
    const JoinOptions options = ParseOptions(args, encoder);
    CheckEncoder(encoder);

    CodecAudioFile2 reader;
    const int64_t total = TotalFrames(options, reader);

    const QString partial = options.output + QStringLiteral(".part");
    auto writer = std::make_unique<CodecAudioFile2>();
    writer->SetMp3Encoder(encoder);
    Progress progress(err, showProgress, total);
    int64_t done = 0;
    try {
        writer->CreateFile(partial, 0);
        for (int i = 0; i < options.inputs.size(); ++i) {
            const QString& input = options.inputs[i];
            progress.Show(i + 1, options.inputs.size(), input, done);
            AppendInput(input, reader, *writer, [&](int64_t frames) {
                done += frames;
                progress.Show(i + 1, options.inputs.size(), input, done);
            });
        }
        writer->CloseFile();
    } catch (...) {
        progress.Finish();
        writer.reset();  // closes quietly
        std::remove(QFile::encodeName(partial).constData());
        throw;
    }
    progress.Finish();
    if (std::rename(QFile::encodeName(partial).constData(),
                    QFile::encodeName(options.output).constData()) != 0) {
        std::remove(QFile::encodeName(partial).constData());
        throw SonvaraError(QStringLiteral("Cannot write \"%1\": %2")
                               .arg(options.output, QString::fromLocal8Bit(strerror(errno))));
    }
    return 0;
}
