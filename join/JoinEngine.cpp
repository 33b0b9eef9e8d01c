#include "join/JoinEngine.h"

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>

#include "components/AudioFile2.h"
#include "components/AudioFile2LameEnc.h"
#include "components/FirstFailure.h"
#include "components/SonvaraError.h"
#include "config/Activity.h"
#include "config/OutputFolder.h"

namespace {

const QString kStatus = QStringLiteral("Status");
const QString kTime = QStringLiteral("Time:");  // as the window shows it at first
constexpr int kBlockSeconds = 4;

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The listed file that the output would replace before it is read.
const JoinRow* ListedOutput(const std::vector<JoinRow>& rows, const QString& output) {
    const QString canonical = QFileInfo(output).canonicalFilePath();
    if (canonical.isEmpty())
        return nullptr;
    for (const JoinRow& row : rows) {
        if (QFileInfo(row.path).canonicalFilePath() == canonical)
            return &row;
    }
    return nullptr;
}

// A name beside the output that nothing has yet. The writer creates the file new, so a link
// planted at a guessable name cannot send the sound elsewhere, and two joins into one name do
// not share a file.
QString PartialName(const QString& output) {
    QString name;
    do {
        name = output + u'.' +
               QString::number(QRandomGenerator::system()->generate(), 36).rightJustified(7, u'0') +
               QStringLiteral(".part");
    } while (NameTaken(name));
    return name;
}

// As the writer converts a run of arrays: rounded to the nearest frame at the output rate.
int64_t ToOutputFrames(int64_t frames, int rate, int outputRate) {
    return rate > 0 ? (2 * frames * outputRate + rate) / (2 * static_cast<int64_t>(rate)) : 0;
}

}  // namespace

struct JoinEngine::Job {
    struct Span {
        int row = 0;
        int64_t start = 0;  // output frames
        int64_t length = 0;
    };

    std::vector<JoinRow> rows;  // a copy: the list may change while events are pumped
    QString output;
    QString partial;  // written during the job, renamed to output at its end
    bool created = false;
    bool replaced = false;
    int outputRate = 0;
    int64_t announced = 0;  // only scales the progress: every row is read to its end
    int64_t copied = 0;     // input frames written so far
    int current = -1;       // the row being read
    std::vector<Span> spans;
    QString progress;
    std::exception_ptr failure;
    QString chaptersFailure;  // chapters are extra: without them the join is still whole

    // The user knows the output by its own name, not by the one it has while written; only
    // when the output could not take its name is the other one worth telling.
    QString FailureText(bool rowsFailed) const {
        QString text = ErrorMessage(failure);
        if (!created || replaced)
            text.replace(Shown(partial), Shown(output));
        if (!rowsFailed || !replaced)
            return text;
        if (!text.endsWith(u'.'))
            text += u'.';
        return text + QStringLiteral(" The join was stopped; \"%1\" holds what was joined before.")
                          .arg(Shown(output));
    }
};

JoinEngine::JoinEngine(Parts parts) : p_(std::move(parts)) {}

void JoinEngine::JoinFiles(const std::vector<JoinRow>& rows) {
    if (Refuses(rows))
        return;
    const QString folder = ReadOutputDirectory(p_.settings);
    // One level only, as for recordings; a folder that cannot be made shows in the dialog.
    QDir().mkdir(folder);
    const QString chosen = p_.host.AskOutputFile(folder);
    // Refusals are asked again: the dialog's event loop may have let a recording start.
    if (!chosen.isEmpty())
        JoinFilesTo(rows, chosen);
}

void JoinEngine::JoinFilesTo(const std::vector<JoinRow>& rows, const QString& outputFile) {
    if (Refuses(rows))
        return;
    Job job;
    job.rows = rows;
    job.output = Mp3FileName(outputFile);
    if (const JoinRow* listed = ListedOutput(job.rows, job.output)) {
        p_.host.ShowMessage(
            QStringLiteral("\"%1\" is one of the files to join; please choose another name.")
                .arg(Shown(listed->path)));
        return;
    }
    if (!SetUpMp3())
        return;
    job.outputRate = p_.encoder.SampleRate();
    for (const JoinRow& row : job.rows)
        job.announced += row.frames;
    job.partial = PartialName(job.output);
    state_ = JoinState::Running;
    openFolder_ = p_.openFolderAtEnd;
    KeepFirstFailure(job.failure, [&] { WriteRows(job); });
    Finish(job);
}

void JoinEngine::StopJoin() {
    if (state_ == JoinState::Running)
        state_ = JoinState::Stopping;
}

void JoinEngine::StopJoinForExit() {
    openFolder_ = false;
    StopJoin();
}

QString JoinEngine::Mp3FileName(const QString& chosen) {
    const QFileInfo info(chosen);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return info.absolutePath() + u'/' + (dot > 0 ? name.left(dot) : name) + QStringLiteral(".mp3");
}

bool JoinEngine::Refuses(const std::vector<JoinRow>& rows) {
    const auto refuse = [this](const QString& text) {
        p_.host.ShowMessage(text);
        return true;
    };
    if (rows.empty())
        return refuse(QStringLiteral("Please add file!"));
    if (p_.activity.Playing())
        return refuse(QStringLiteral("Please stop playing first."));
    // The writer is the recording's too.
    if (p_.activity.Recording())
        return refuse(QStringLiteral("Please stop recording first."));
    // One job at a time, also while one that was stopped finishes its file.
    return state_ != JoinState::Idle;
}

bool JoinEngine::SetUpMp3() {
    const Mp3Settings mp3 = p_.mp3 ? *p_.mp3 : ReadMp3Settings(p_.settings);
    mp3.ApplyTo(p_.encoder);
    // As a recording is judged; the writer accepts all that this does, so no refusal comes
    // after the file is made.
    if (!mp3.IsSupportedBy(p_.writer)) {
        p_.host.ShowMessage(QStringLiteral("This MP3 format is not supported."));
        return false;
    }
    p_.writer.SetMp3Encoder(p_.encoder);
    return true;
}

void JoinEngine::WriteRows(Job& job) {
    if (p_.writer.IsOpen())
        p_.writer.CloseFile();
    p_.writer.CreateFile(job.partial);
    job.created = true;
    for (int i = 0; i < static_cast<int>(job.rows.size()); ++i) {
        p_.host.PumpEvents();
        if (!Running())
            return;
        WriteRow(job, i);
    }
}

void JoinEngine::WriteRow(Job& job, int index) {
    job.current = index;
    p_.host.SetTimeHeader(kStatus);
    p_.host.SetRowTime(index, QStringLiteral("Converting"));
    ShowProgress(job, index);
    if (p_.reader.IsOpen())
        p_.reader.CloseFile();
    p_.reader.OpenFile(job.rows[index].path);
    CopySound(job, index);
    p_.reader.CloseFile();
    p_.host.SetRowTime(index, job.rows[index].timeText);
    job.current = -1;
}

// To the reader's empty array, not to the announced length: some inputs (WMA) announce less
// than they hold, and a length of 0 may still decode to sound.
void JoinEngine::CopySound(Job& job, int index) {
    const int rate = p_.reader.ArraySampleRate();
    const int channels = p_.reader.ArrayChannels();
    p_.writer.SetArrayFormat(rate, channels);
    const int block = channels * rate * kBlockSeconds;
    const int64_t start = job.spans.empty() ? 0 : job.spans.back().start + job.spans.back().length;
    int64_t frames = 0;
    for (;;) {
        p_.host.PumpEvents();
        if (!Running())
            break;
        const SampleArray data = p_.reader.ReadArray(block);
        if (data.empty())
            break;
        p_.writer.WriteArray(data);
        const auto written = static_cast<int64_t>(data.size()) / channels;
        frames += written;
        job.copied += written;
        ShowProgress(job, index);
    }
    job.spans.push_back({index, start, ToOutputFrames(frames, rate, job.outputRate)});
}

void JoinEngine::ShowProgress(Job& job, int index) {
    const int64_t percent =
        job.announced > 0 ? std::min<int64_t>(100, job.copied * 100 / job.announced) : 0;
    const QString text =
        QStringLiteral("Joining %1/%2 · %3 %").arg(index + 1).arg(job.rows.size()).arg(percent);
    if (text == job.progress)
        return;
    job.progress = text;
    p_.host.ShowProgress(text);
}

// As after a complete job, whatever ended it: the output is finished with what was written
// and replaces the old file, and the program is idle again before the failure is thrown.
void JoinEngine::Finish(Job& job) {
    const bool rowsFailed = job.failure != nullptr;
    std::exception_ptr& failure = job.failure;
    KeepFirstFailure(failure, [this] {
        if (p_.reader.IsOpen())
            p_.reader.CloseFile();
    });
    if (job.current >= 0) {
        KeepFirstFailure(failure,
                         [&] { p_.host.SetRowTime(job.current, job.rows[job.current].timeText); });
    }
    KeepFirstFailure(failure, [this] {
        if (p_.writer.IsOpen())
            p_.writer.CloseFile();
    });
    // After a failed write the disk may be full, and rewriting the file for a tag could
    // damage what it holds.
    // A file of no sound is no MP3 that players, or this program, can open: it must not take
    // the place of an existing file.
    const bool soundless = job.created && job.copied == 0;
    if (soundless) {
        QFile::remove(job.partial);
        if (!failure && Running())
            failure = std::make_exception_ptr(
                SonvaraError(QStringLiteral("There is no sound in %1; \"%2\" was not written.")
                                 .arg(job.rows.size() == 1
                                          ? QStringLiteral("\"%1\"").arg(Shown(job.rows[0].path))
                                          : QStringLiteral("the files to join"),
                                      Shown(job.output))));
    }
    if (!failure) {
        std::exception_ptr chapters;
        KeepFirstFailure(chapters, [&] { AddChapters(job); });
        if (chapters)
            job.chaptersFailure = ErrorMessage(chapters);
    }
    if (job.created && !soundless)
        KeepFirstFailure(failure, [&] { ReplaceOutput(job); });
    state_ = JoinState::Idle;
    if (openFolder_ && job.replaced)
        p_.host.OpenFolder(QFileInfo(job.output).absolutePath());
    p_.host.SetTimeHeader(kTime);
    p_.host.ShowProgress(QString());
    if (!job.chaptersFailure.isEmpty() && job.replaced)
        p_.host.ShowWarning(
            QStringLiteral("%1 \"%2\" holds the whole join, without chapters.")
                .arg(job.chaptersFailure.replace(Shown(job.partial), Shown(job.output)),
                     Shown(job.output)));
    if (failure)
        throw SonvaraError(job.FailureText(rowsFailed));
}

// One mark per row that added sound; a file of one part needs none.
void JoinEngine::AddChapters(Job& job) {
    std::vector<JoinChapter> chapters;
    const auto ms = [&job](int64_t frames) { return frames * 1000 / job.outputRate; };
    for (const Job::Span& span : job.spans) {
        if (span.length == 0)
            continue;
        const JoinRow& row = job.rows[span.row];
        QString title = p_.chapters.TagTitle(row.path);
        if (title.isEmpty())
            title = QFileInfo(row.caption).completeBaseName();
        chapters.push_back({title, ms(span.start), ms(span.start + span.length)});
    }
    if (chapters.size() > 1)
        p_.chapters.WriteChapters(job.partial, chapters);
}

void JoinEngine::ReplaceOutput(Job& job) {
    const QByteArray partial = QFile::encodeName(job.partial);
    const QByteArray output = QFile::encodeName(job.output);
    // A file replaced keeps its permissions (a link there is replaced, not followed); rename
    // replaces it in one step, where removing it first could lose both.
    struct stat old {};
    const bool keepMode = ::lstat(output.constData(), &old) == 0 && S_ISREG(old.st_mode);
    if ((keepMode && ::chmod(partial.constData(), old.st_mode & 07777) != 0) ||
        std::rename(partial.constData(), output.constData()) != 0) {
        throw SonvaraError(QStringLiteral("Cannot write \"%1\": %2. What was joined is in \"%3\".")
                               .arg(Shown(job.output), QString::fromLocal8Bit(std::strerror(errno)),
                                    Shown(job.partial)));
    }
    job.replaced = true;
}
