#include "record/RecordingControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <exception>
#include <utility>

#include "components/AudioFile2.h"
#include "components/AudioFile2LameEnc.h"
#include "components/AudioRecord2.h"
#include "components/AudioVisualizationEx2.h"
#include "components/FirstFailure.h"
#include "components/MainDisplays.h"
#include "components/SonvaraError.h"
#include "config/AppState.h"
#include "config/Mp3Settings.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "config/ValueTables.h"
#include "record/OutputNaming.h"
#include "record/RecordingMarker.h"
#include "record/SleepInhibitor.h"

namespace {

const QString kFileName = QStringLiteral("s_filename");
const QString kFileInfo = QStringLiteral("s_mono");
const QString kFileSize = QStringLiteral("s_sizeson");
const QString kTime = QStringLiteral("s_time");
const QString kWaiting = QStringLiteral("Waiting for sound");
const QString kInhibitReason = QStringLiteral("Sonvara is recording");
constexpr int kBlockMs = 200;

}  // namespace

RecordingControl::RecordingControl(Parts parts) : p_(parts) {
    QObject::connect(&p_.recorder, &AudioRecord2::OnEndArrayRecord, &events_,
                     [this] { OnBlock(); });
    QObject::connect(&p_.recorder, &AudioRecord2::OnTimer, &events_,
                     [this](qint64 currentSamples) { OnTick(currentSamples); });
}

void RecordingControl::StartRecording(StartedBy who) {
    AppState& state = p_.state;
    if (state.JoinRunning)
        return;
    if (!state.Recording && state.RecordNotPaused)
        p_.host.CommitSettings();
    if (!state.RecordNotPaused) {
        state.RecordNotPaused = true;
        BeginCapture();
        return;
    }
    if (state.Recording)
        return;
    if (state.Playing) {
        p_.host.ShowMessage(QStringLiteral("Please stop playing first."));
        return;
    }
    if (!OpenNextFile(who))
        return;
    state.PlayedPosition = 0;
    state.Recording = true;
    state.RecordNotPaused = true;
    p_.levels.SetVisible(true);
    p_.sleep.Acquire(kInhibitReason);
    ShowFileName();
    SetCaptureFormat();
    ArmGate();
    BeginCapture();
}

void RecordingControl::ArmGate() {
    const ActivationSettings settings =
        activation_ ? *activation_ : LoadActivationSettings(p_.settings);
    gate_.reset();
    passageEnded_ = false;
    p_.levels.SetMark(settings.enabled ? std::optional<double>(settings.thresholdDb)
                                       : std::nullopt);
    if (!settings.enabled)
        return;
    gate_.emplace(settings, captureRate_, captureChannels_);
    p_.displays.SetText(kTime, kWaiting);
}

bool RecordingControl::OpenNextFile(StartedBy who) {
    // Only the last level is made: a missing parent means a folder the user no longer has,
    // and creating the file below reports that with its path.
    if (fixedOutput_.isEmpty())
        QDir().mkdir(OutputDirectoryPath(p_.settings));
    // MP3 is the only output format, so any stored format value records MP3.
    p_.state.OutputFile = NextOutputFile();
    if (CustomNaming() && who == StartedBy::User) {
        p_.host.ShowOutputPath(p_.state.OutputFile);
        // The box's event loop may have let another recording take the name.
        p_.state.OutputFile = NextOutputFile();
    }
    if (!SetUpMp3Format())
        return false;
    if (p_.writer.IsOpen())
        p_.writer.CloseFile();
    try {
        p_.writer.CreateFile(p_.state.OutputFile);
    } catch (...) {
        // Whatever is at that name is not this recording's, and nobody may remove it as such.
        p_.state.OutputFile.clear();
        throw;
    }
    recorded_.insert(p_.state.OutputFile);
    partBegin_ = framesWritten_;
    MarkOpenFile(true);
    return true;
}

void RecordingControl::ShowFileName() {
    p_.displays.SetText(
        kFileName, QStringLiteral("File Name: ") + ShownFileName(p_.settings, p_.state.OutputFile));
}

void RecordingControl::SetCaptureFormat() {
    captureRate_ = p_.writer.ArraySampleRate();
    captureChannels_ = p_.writer.ArrayChannels();
    p_.recorder.SetFormat(captureRate_, captureChannels_);
    p_.recorder.SetBlockSize(static_cast<int>(p_.recorder.MsToSamples(kBlockMs)));
}

// A start the recorder refuses ends the recording at once; why it refused is what the user
// is told.
void RecordingControl::BeginCapture() {
    takenSinceStart_ = 0;
    std::exception_ptr refused = Caught([this] { p_.recorder.Start(); });
    if (!refused)
        return;
    KeepFirstFailure(refused, [this] { StopRecording(); });
    std::rethrow_exception(refused);
}

// A custom name is the same for every recording and every part, and a time stamp repeats
// within a second: a taken name is numbered, so nothing is ever replaced.
QString RecordingControl::NextOutputFile() {
    return FreeFileName(
        fixedOutput_.isEmpty() ? BuildOutputFileName(p_.settings, p_.clock, QStringLiteral(".mp3"))
                               : fixedOutput_,
        [this](const QString& path) { return recorded_.contains(path) || NameTaken(path); });
}

// A fixed output file is named as a custom name is: the same for every recording.
bool RecordingControl::CustomNaming() const {
    return !fixedOutput_.isEmpty() || Read(p_.settings, keys::kCustomName, Reader::Used);
}

bool RecordingControl::SetUpMp3Format() {
    Mp3Settings mp3 = ReadMp3Settings(p_.settings);
    // Every block must reach the disk as it comes, which only one encoder stream does.
    mp3.threads = 1;
    mp3.ApplyTo(p_.encoder);
    p_.displays.SetText(kFileInfo, QStringLiteral("File Info: %1 %2K %3HZ")
                                       .arg(QLatin1String(kChannelNames[mp3.channels - 1]))
                                       .arg(mp3.bitrate)
                                       .arg(mp3.sampleRate));
    if (!mp3.IsSupportedBy(p_.writer)) {
        p_.host.ShowMessage(QStringLiteral("This MP3 format is not supported."));
        return false;
    }
    p_.writer.SetMp3Encoder(p_.encoder);
    return true;
}

void RecordingControl::ToggleRecordPause() {
    AppState& state = p_.state;
    if (splitting_)
        return;
    if (state.RecordNotPaused) {
        state.PositionBase = state.PlayedPosition;
        p_.recorder.Stop();
        state.RecordNotPaused = false;
        return;
    }
    state.RecordNotPaused = true;
    BeginCapture();
}

void RecordingControl::StopRecording() {
    if (p_.state.JoinRunning)
        return;
    if (splitting_) {
        stopAfterSplit_ = true;
        return;
    }
    EndRecording(nullptr);
}

// Each step is tried even when one before it failed, so the file is completed and the state
// ends idle; the first failure is reported afterwards.
void RecordingControl::EndRecording(std::exception_ptr writeFailure) {
    AppState& state = p_.state;
    state.PositionBase = 0;
    passageEnded_ = false;  // the stop completes the file anyway
    const std::exception_ptr stopping = Caught([this] { p_.recorder.Stop(); });
    if (!writeFailure)
        writeFailure = Caught([this] { WriteQueuedBlocks(); });
    if (writeFailure)
        DiscardQueuedBlocks();
    const bool handOn = state.Recording || !state.RecordNotPaused;
    const std::exception_ptr finishing = FinishFile(handOn, !writeFailure);
    stopAfterSplit_ = false;  // a stop asked while a part was handed on: this is it
    state.Recording = false;
    state.RecordNotPaused = true;
    ClearDisplays();
    p_.levels.SetVisible(false);
    p_.levels.SetMark(std::nullopt);
    p_.displays.SetBarEnabled(false);
    p_.sleep.Release();
    // After a failed write, completing the file may fail for the same cause: one message.
    if (writeFailure)
        throw SonvaraError(ErrorMessage(writeFailure) +
                           QStringLiteral(" The recording was stopped; the file keeps what was "
                                          "written before."));
    if (stopping || finishing)
        std::rethrow_exception(stopping ? stopping : finishing);
}

// Sound that no file can take any more; left queued it would open the next recording.
void RecordingControl::DiscardQueuedBlocks() {
    for (SampleArray block = TakeBlock(); !block.empty(); block = TakeBlock()) {
    }
}

void RecordingControl::WriteQueuedBlocksOrEnd() {
    if (const std::exception_ptr failure = Caught([this] { WriteQueuedBlocks(); }))
        EndRecording(failure);
}

// The marker is a safety net: a recording goes on without one, and the reason is logged.
// Once the file is open, and then as it grows: a repair takes only the file as last marked.
void RecordingControl::MarkOpenFile(bool opened) {
    if (!p_.marker)
        return;
    try {
        if (opened)
            p_.marker->Begin(p_.state.OutputFile);
        else
            p_.marker->Update();
    } catch (const SonvaraError& error) {
        qWarning("%s", qUtf8Printable(error.message()));
    }
}

// A part of a split takes a few milliseconds of the next part's sound, so that the two join
// with no seam; it is handed on once complete.
std::exception_ptr RecordingControl::FinishFile(bool handOn, bool writeTag) {
    const bool split = splitting_ && !finishingPassage_;
    const std::exception_ptr failure = Caught([this, split] {
        if (split)
            p_.writer.CloseFileForSplit();
        else
            p_.writer.CloseFile();
    });
    if (p_.marker)
        p_.marker->End();
    std::exception_ptr listing = HandOnSplitPart(writeTag);
    const int64_t frames = framesWritten_ - partBegin_;
    if (gate_ && frames == 0 && !split) {
        // Armed and never triggered: there is no recording to keep.
        if (!failure)
            QFile::remove(p_.state.OutputFile);
    } else if (split && p_.writer.SplitPartPending()) {
        splitPart_ = p_.state.OutputFile;
        splitPartFrames_ = frames;
    } else if (handOn) {
        const std::exception_ptr current = HandOn(p_.state.OutputFile, frames, writeTag);
        if (!listing)
            listing = current;
    }
    return failure ? failure : listing;
}

// Handing on may wait in a message box, as a split does: its ticks must not split again, and a
// stop waits until the part is handed on.
std::exception_ptr RecordingControl::HandOnSplitPart(bool writeTag) {
    if (splitPart_.isEmpty() || p_.writer.SplitPartPending())
        return nullptr;
    const bool wasSplitting = std::exchange(splitting_, true);
    const std::exception_ptr failure =
        HandOn(std::exchange(splitPart_, {}), splitPartFrames_, writeTag);
    splitting_ = wasSplitting;
    return failure;
}

// The list takes the recording that OutputFile names while StoppingRecord is set.
std::exception_ptr RecordingControl::HandOn(QString file, int64_t frames, bool writeTag) {
    framesHandedOn_ = frames;
    const QString current = std::exchange(p_.state.OutputFile, file);
    p_.state.StoppingRecord = true;
    const std::exception_ptr failure = Caught([&] { p_.host.RecordingFinished(file, writeTag); });
    p_.state.StoppingRecord = false;
    p_.state.OutputFile = current;
    return failure;
}

// The recorder keeps capturing while one part is completed and the next is created: what
// arrives meanwhile goes to the next part, so the parts join without a gap. The next part is a
// new start in every other way: settings read again, its own name, the time from 0.
void RecordingControl::SplitRecording() {
    WriteQueuedBlocksOrEnd();
    // Asked while the part before was handed on: the stop wins.
    if (std::exchange(stopAfterSplit_, false)) {
        StopRecording();
        return;
    }
    const int64_t carried = takenSinceStart_;
    ContinueInNextFile(false, [&] { return BeginNextPart(carried); });
}

// A stop asked while the file before was handed on, or a next file that could not be opened,
// ends the recording.
void RecordingControl::ContinueInNextFile(bool passage, const std::function<bool()>& open) {
    splitting_ = true;
    finishingPassage_ = passage;
    bool opened = false;
    const std::exception_ptr failure = Caught([&] { opened = open(); });
    splitting_ = finishingPassage_ = false;
    if (!failure && opened) {
        if (std::exchange(stopAfterSplit_, false))
            StopRecording();
        return;
    }
    // The file before was handed on already; a new file that was opened is handed on too.
    if (!p_.writer.IsOpen())
        p_.state.Recording = false;
    const std::exception_ptr ending = Caught([this] { StopRecording(); });
    if (failure || ending)
        std::rethrow_exception(failure ? failure : ending);
}

bool RecordingControl::BeginNextPart(int64_t carried) {
    AppState& state = p_.state;
    if (const std::exception_ptr failure = FinishFile(true))
        std::rethrow_exception(failure);
    ClearDisplays();
    p_.host.CommitSettings();
    if (!OpenNextFile(StartedBy::Splitter))
        return false;
    state.PositionBase = -carried;
    state.PlayedPosition = 0;
    ShowFileName();
    if (p_.writer.ArraySampleRate() != captureRate_ ||
        p_.writer.ArrayChannels() != captureChannels_)
        RestartCaptureInNewFormat();
    return true;
}

// The MP3 settings changed since the last part: the sound already captured is converted, and
// capture goes on in the new format.
void RecordingControl::RestartCaptureInNewFormat() {
    const int rate = p_.writer.ArraySampleRate();
    const int channels = p_.writer.ArrayChannels();
    const int64_t before = takenSinceStart_;
    p_.recorder.Stop();
    p_.writer.SetArrayFormat(captureRate_, captureChannels_);
    WriteQueuedBlocks();
    p_.writer.SetArrayFormat(rate, channels);
    p_.state.PositionBase = takenSinceStart_ - before;
    SetCaptureFormat();
    BeginCapture();
}

void RecordingControl::ClearDisplays() {
    for (const QString& name : {kFileName, kFileInfo, kFileSize, kTime})
        p_.displays.Clear(name);
}

// Everything the recorder holds, including what its Stop handed over before the block events
// for it have arrived.
void RecordingControl::WriteQueuedBlocks() {
    // After a passage's end the blocks wait for the next file.
    for (SampleArray block; !passageEnded_ && !(block = TakeBlock()).empty();) {
        if (gate_)
            GateBlock(std::move(block));
        else
            WriteBlock(std::move(block));
    }
}

// The level display moves while the gate waits: it is how the user sets the threshold.
void RecordingControl::GateBlock(SampleArray block) {
    if (block.size() < 2 || !p_.writer.IsOpen())
        return;
    p_.levels.ShowArray(block, captureChannels_);
    GateStep step = gate_->Feed(block);
    if (step.passageStarted)
        p_.host.PassageChanged(true, p_.state.OutputFile);
    for (SampleArray& part : step.write)
        WriteBlock(std::move(part), false);
    if (!step.passageEnded)
        return;
    p_.host.PassageChanged(false, p_.state.OutputFile);
    passageEnded_ = gate_->FilePerPassage();
}

// The passage's file is complete at once: listed and tagged before the next sound comes, and
// the next passage goes to a new file named as a split part is.
void RecordingControl::FinishPassage() {
    ContinueInNextFile(true, [this] { return NextPassageFile(); });
}

bool RecordingControl::NextPassageFile() {
    if (const std::exception_ptr failure = FinishFile(true))
        std::rethrow_exception(failure);
    if (!OpenNextFile(StartedBy::Splitter))
        return false;
    ShowFileName();
    if (p_.writer.ArraySampleRate() != captureRate_ ||
        p_.writer.ArrayChannels() != captureChannels_) {
        RestartCaptureInNewFormat();
        ArmGate();
    }
    p_.displays.SetText(kTime, kWaiting);
    return true;
}

SampleArray RecordingControl::TakeBlock() {
    SampleArray block = p_.recorder.GetArray();
    if (captureChannels_ > 0)
        takenSinceStart_ += static_cast<int64_t>(block.size()) / captureChannels_;
    return block;
}

void RecordingControl::WriteBlock(SampleArray block, bool showLevel) {
    // A block of one element or none carries no sound; after the stop there is no file for it.
    if (block.size() < 2 || !p_.writer.IsOpen())
        return;
    const int channels = p_.writer.ArrayChannels();
    const auto frames = static_cast<int64_t>(block.size()) / channels;
    int64_t take = frames;
    if (frameBudget_)
        take = std::min(frames, *frameBudget_ - framesWritten_);
    if (take <= 0)
        return;
    if (take < frames)
        block.resize(static_cast<size_t>(take * channels));
    p_.writer.WriteArray(block);
    if (showLevel)
        p_.levels.ShowArray(block, channels);
    framesWritten_ += take;
    if (const std::exception_ptr failure = HandOnSplitPart())
        std::rethrow_exception(failure);
}

// Every block waiting is taken, not just the one of this event: blocks that arrived while no
// file was open (a message box during a split) are written now instead of lost.
void RecordingControl::OnBlock() {
    if (!p_.writer.IsOpen())
        return;
    WriteQueuedBlocksOrEnd();
    if (std::exchange(stopAfterSplit_, false) && p_.state.Recording) {
        StopRecording();
        return;
    }
    // During a split's message box the passage's blocks wait with it.
    if (passageEnded_ && p_.state.Recording && !splitting_) {
        passageEnded_ = false;
        FinishPassage();
        WriteQueuedBlocksOrEnd();
        return;
    }
    if (p_.writer.IsOpen())
        MarkOpenFile(false);
    if (p_.state.NotDragging && p_.state.Recording)
        ShowFileSize();
    if (frameBudget_ && framesWritten_ >= *frameBudget_ && p_.state.Recording)
        StopRecording();
}

void RecordingControl::ShowFileSize() {
    const qint64 bytes = QFileInfo(p_.state.OutputFile).size();
    p_.displays.SetText(kFileSize, QStringLiteral("File Size: %1 KB").arg(bytes / 1024));
}

void RecordingControl::OnTick(int64_t currentSamples) {
    AppState& state = p_.state;
    // A tick queued before a pause or a stop belongs to capture that has ended; one during a
    // split comes from a message box's event loop and must not split again.
    if (!state.Recording || !state.RecordNotPaused || splitting_)
        return;
    state.PlayedPosition = state.PositionBase + currentSamples;
    if (gate_ && gate_->Waiting()) {
        if (state.NotDragging)
            p_.displays.SetText(kTime, kWaiting);
        return;
    }
    // Just after a split the recorder may not yet have counted what the new part already holds.
    // With activation, the time is that of the sound the file holds.
    const int64_t seconds =
        gate_ ? (framesWritten_ - partBegin_) / std::max(1, captureRate_)
              : p_.recorder.SamplesToMs(std::max<int64_t>(0, state.PlayedPosition)) / 1000;
    if (state.NotDragging)
        p_.displays.SetText(kTime, QStringLiteral("Time: ") + TimeText(seconds));
    ApplyLimit(seconds);
}

void RecordingControl::ApplyLimit(int64_t seconds) {
    const std::optional<int64_t> limit = LengthLimit(p_.settings);
    if (!limit || seconds < *limit)
        return;
    // With both set, the new file wins: stopping first would only add a gap between them.
    if (Read(p_.settings, keys::kLimitNew, Reader::Used))
        SplitRecording();
    else if (Read(p_.settings, keys::kLimitStop, Reader::Used))
        StopRecording();
}

void RecordingControl::StopAfterFrames(int64_t frames) {
    frameBudget_ = frames;
    framesWritten_ = 0;
}

QString RecordingControl::TimeText(int64_t seconds) {
    return QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                             static_cast<long long>(seconds % 3600 / 60),
                             static_cast<long long>(seconds % 60));
}

std::optional<int64_t> RecordingControl::LengthLimit(const Settings& settings) {
    if (!Read(settings, keys::kLengthEnabled, Reader::Used) ||
        !Read(settings, keys::kTimeChecked, Reader::Used))
        return std::nullopt;
    // The settings window lets only digits in; anything else came from a hand edit and is
    // taken as no limit rather than ending the recording.
    bool ok = false;
    const qlonglong limit = Read(settings, keys::kSeconds, Reader::Used).trimmed().toLongLong(&ok);
    if (!ok || limit < 0)
        return std::nullopt;
    return limit;
}
