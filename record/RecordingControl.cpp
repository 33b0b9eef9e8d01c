#include "record/RecordingControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
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
#include "config/Activity.h"
#include "config/Mp3Settings.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "config/ValueTables.h"
#include "record/OutputNaming.h"
#include "record/RecordingMarker.h"
#include "record/SleepInhibitor.h"

namespace {

using display::kFileInfo;
using display::kFileName;
using display::kFileSize;
using display::kTime;
const QString kWaiting = QStringLiteral("Waiting for sound");
const QString kInhibitReason = QStringLiteral("Sonvara is recording");
constexpr int kBlockMs = 200;

}  // namespace

RecordingControl::RecordingControl(Parts parts) : p_(parts) {
    QObject::connect(&p_.recorder, &AudioRecord2::OnEndArrayRecord, &events_,
                     [this] { Event([this] { OnBlock(); }); });
    QObject::connect(&p_.recorder, &AudioRecord2::OnTimer, &events_,
                     [this](qint64 samples) { Event([this, samples] { OnTick(samples); }); });
}

void RecordingControl::Event(const std::function<void()>& step) {
    if (const std::exception_ptr failure = Caught(step))
        p_.host.RecordingEventFailed(failure);
}

RecordingState RecordingControl::State() const {
    switch (phase_) {
        case Phase::Idle:
            return RecordingState::Idle;
        case Phase::Paused:
            return RecordingState::Paused;
        case Phase::Stopping:
            return RecordingState::Stopping;
        case Phase::Running:
            break;
    }
    if (splitting_)
        return RecordingState::Splitting;
    return WaitingForSound() ? RecordingState::Armed : RecordingState::Recording;
}

void RecordingControl::StartRecording(Caller who) {
    if (p_.activity.Joining())
        return;
    const bool attended = std::exchange(attended_, who == Caller::User);
    const auto restore = qScopeGuard([&] { attended_ = attended; });
    if (phase_ == Phase::Paused) {
        phase_ = Phase::Running;
        BeginCapture();
        return;
    }
    if (phase_ != Phase::Idle)
        return;
    if (p_.activity.Playing()) {
        p_.host.Tell(QStringLiteral("Please stop playing first."), attended_);
        return;
    }
    // Armed, the file is made when sound comes: named by then, and nothing is left on disk
    // by a recording that never heard any.
    const bool armed = ActivationNow().enabled;
    if (!(armed ? PrepareNextFile(who) : OpenNextFile(who)))
        return;
    filePending_ = armed;
    silence_.Start(p_.writer.ArraySampleRate(), p_.writer.ArrayChannels());
    playedPosition_ = 0;
    phase_ = Phase::Running;
    p_.levels.SetVisible(true);
    p_.sleep.Acquire(kInhibitReason);
    ShowFileName();
    SetCaptureFormat();
    ArmGate();
    BeginCapture();
}

ActivationSettings RecordingControl::ActivationNow() const {
    return activation_ ? *activation_ : LoadActivationSettings(p_.settings);
}

void RecordingControl::ArmGate() {
    const ActivationSettings settings = ActivationNow();
    gate_.reset();
    passageEnded_ = false;
    p_.levels.SetMark(settings.enabled ? std::optional<double>(settings.thresholdDb)
                                       : std::nullopt);
    if (!settings.enabled)
        return;
    gate_.emplace(settings, captureRate_, captureChannels_);
    p_.displays.SetText(kTime, kWaiting);
}

bool RecordingControl::OpenNextFile(Caller who) {
    if (!PrepareNextFile(who))
        return false;
    CreateOutputFile();
    return true;
}

// Everything but the file itself: the folder, the name, the encoder.
bool RecordingControl::PrepareNextFile(Caller who) {
    // Only the last level is made: a missing parent means a folder the user no longer has,
    // and creating the file below reports that with its path.
    if (fixedOutput_.isEmpty())
        QDir().mkdir(OutputDirectoryPath(p_.settings));
    // MP3 is the only output format, so any stored format value records MP3.
    outputFile_ = NextOutputFile();
    if (CustomNaming() && who == Caller::User) {
        p_.host.ShowOutputPath(outputFile_);
        // The box's event loop may have let the schedule start a recording: this start gives
        // way to it rather than take its file away.
        if (phase_ != Phase::Idle)
            return false;
        // Or another recording may have taken the name.
        outputFile_ = NextOutputFile();
    }
    return SetUpMp3Format(who);
}

void RecordingControl::CreateOutputFile() {
    if (p_.writer.IsOpen())
        p_.writer.CloseFile();
    try {
        p_.writer.CreateFile(outputFile_);
    } catch (...) {
        // Whatever is at that name is not this recording's, and nobody may remove it as such.
        outputFile_.clear();
        throw;
    }
    recorded_.insert(outputFile_);
    partBegin_ = framesWritten_;
    MarkOpenFile(true);
}

// The passage's file, named by the time its sound came.
void RecordingControl::CreatePassageFile() {
    outputFile_ = NextOutputFile();
    CreateOutputFile();
    filePending_ = false;
    ShowFileName();
}

void RecordingControl::ShowFileName() {
    if (filePending_)
        p_.displays.Clear(kFileName);
    else
        p_.displays.SetText(
            kFileName, QStringLiteral("File Name: ") + ShownFileName(p_.settings, outputFile_));
}

int64_t RecordingControl::SecondsInFile() const {
    return filePending_ ? 0 : (framesWritten_ - partBegin_) / std::max(1, captureRate_);
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
    KeepFirstFailure(refused,
                     [this] { StopRecording(attended_ ? Caller::User : Caller::Splitter); });
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

// A combination stored by hand that the encoder refuses is told; from the schedule or a split,
// without waiting for anybody.
bool RecordingControl::SetUpMp3Format(Caller who) {
    Mp3Settings mp3 = ReadMp3Settings(p_.settings);
    // Every block must reach the disk as it comes, which only one encoder stream does.
    mp3.threads = 1;
    mp3.ApplyTo(p_.encoder);
    p_.displays.SetText(kFileInfo, QStringLiteral("File Info: %1 %2K %3HZ")
                                       .arg(QLatin1String(kChannelNames[mp3.channels - 1]))
                                       .arg(mp3.bitrate)
                                       .arg(mp3.sampleRate));
    if (!mp3.IsSupportedBy(p_.writer)) {
        p_.host.Tell(QStringLiteral("This MP3 format is not supported."), who == Caller::User);
        return false;
    }
    p_.writer.SetMp3Encoder(p_.encoder);
    return true;
}

void RecordingControl::ToggleRecordPause() {
    if (splitting_)
        return;
    if (phase_ == Phase::Running) {
        positionBase_ = playedPosition_;
        p_.recorder.Stop();
        phase_ = Phase::Paused;
        // Paused while waiting for sound: the time stands still as in any pause.
        if (WaitingForSound())
            p_.displays.SetText(kTime, QStringLiteral("Time: ") + TimeText(SecondsInFile()));
    } else if (phase_ == Phase::Paused) {
        phase_ = Phase::Running;
        BeginCapture();
    }
}

void RecordingControl::StopRecording(Caller who, bool handOn) {
    if (p_.activity.Joining())
        return;
    if (splitting_) {
        stopAfterSplit_ = true;
        return;
    }
    const bool attended = std::exchange(attended_, who == Caller::User);
    const auto restore = qScopeGuard([&] { attended_ = attended; });
    EndRecording(nullptr, handOn || phase_ == Phase::Paused);
}

// Each step is tried even when one before it failed, so the file is completed and the state
// ends idle; the first failure is reported afterwards.
void RecordingControl::EndRecording(std::exception_ptr writeFailure, bool handOn) {
    positionBase_ = 0;
    passageEnded_ = false;  // the stop completes the file anyway
    handOn = handOn && phase_ != Phase::Idle;
    if (phase_ != Phase::Idle)
        phase_ = Phase::Stopping;
    const std::exception_ptr stopping = Caught([this] { p_.recorder.Stop(); });
    if (!writeFailure)
        writeFailure = Caught([this] { WriteQueuedBlocks(); });
    if (writeFailure)
        DiscardQueuedBlocks();
    const std::exception_ptr finishing = FinishFile(handOn, !writeFailure);
    stopAfterSplit_ = false;  // a stop asked while a part was handed on: this is it
    phase_ = Phase::Idle;
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
            p_.marker->Begin(outputFile_);
        else
            p_.marker->Update();
    } catch (const SonvaraError& error) {
        qWarning("%s", qUtf8Printable(error.message()));
    }
}

// A part of a split takes a few milliseconds of the next part's sound, so that the two join
// with no seam; it is handed on once complete.
std::exception_ptr RecordingControl::FinishFile(bool handOn, bool writeTag) {
    if (std::exchange(filePending_, false))  // no sound came since the last file
        return HandOnSplitPart(writeTag);
    const bool split = splitting_ && !finishingPassage_;
    const std::exception_ptr failure = Caught([this, split] {
        if (split)
            p_.writer.CloseFileForSplit();
        else
            p_.writer.CloseFile();
    });
    // A split part still takes the next part's first sound: a crash meanwhile must leave it
    // marked for repair.
    if (p_.marker && split && p_.writer.SplitPartPending())
        p_.marker->Keep();
    else if (p_.marker)
        p_.marker->End();
    std::exception_ptr listing = HandOnSplitPart(writeTag);
    const int64_t frames = framesWritten_ - partBegin_;
    if (gate_ && frames == 0 && !split) {
        // Armed and never triggered: there is no recording to keep.
        if (!failure)
            QFile::remove(outputFile_);
    } else if (split && p_.writer.SplitPartPending()) {
        splitPart_ = outputFile_;
        splitPartFrames_ = frames;
    } else if (handOn) {
        const std::exception_ptr current = HandOn(outputFile_, frames, writeTag);
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
    if (p_.marker)
        p_.marker->EndKept();
    const bool wasSplitting = std::exchange(splitting_, true);
    const std::exception_ptr failure =
        HandOn(std::exchange(splitPart_, {}), splitPartFrames_, writeTag);
    splitting_ = wasSplitting;
    return failure;
}

std::exception_ptr RecordingControl::HandOn(const QString& file, int64_t frames, bool writeTag) {
    return Caught([&] { p_.host.RecordingFinished(file, frames, writeTag, attended_); });
}

// The recorder keeps capturing while one part is completed and the next is created: what
// arrives meanwhile goes to the next part, so the parts join without a gap. The next part is a
// new start in every other way: settings read again, its own name, the time from 0.
void RecordingControl::SplitRecording() {
    WriteQueuedBlocksOrEnd();
    // Asked while the part before was handed on: the stop wins.
    if (std::exchange(stopAfterSplit_, false)) {
        StopRecording(Caller::Splitter);
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
            StopRecording(Caller::Splitter);
        return;
    }
    // The file before was handed on already; a new file that was opened is handed on too.
    const bool fileOpen = p_.writer.IsOpen();
    const std::exception_ptr ending =
        Caught([this, fileOpen] { StopRecording(Caller::Splitter, fileOpen); });
    if (failure || ending)
        std::rethrow_exception(failure ? failure : ending);
}

// The next part is recorded with the settings as stored: nobody is there to confirm what the
// settings window holds.
bool RecordingControl::BeginNextPart(int64_t carried) {
    if (const std::exception_ptr failure = FinishFile(true))
        std::rethrow_exception(failure);
    ClearDisplays();
    if (!OpenNextFile(Caller::Splitter))
        return false;
    positionBase_ = -carried;
    playedPosition_ = 0;
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
    positionBase_ = takenSinceStart_ - before;
    SetCaptureFormat();
    BeginCapture();
}

void RecordingControl::ClearDisplays() {
    for (QLatin1String name : {kFileName, kFileInfo, kFileSize, kTime})
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
    if (block.size() < 2 || (!p_.writer.IsOpen() && !filePending_))
        return;
    p_.levels.ShowArray(block, captureChannels_);
    GateStep step = gate_->Feed(block);
    if (step.passageStarted) {
        if (filePending_)
            CreatePassageFile();
        p_.host.PassageChanged(true, outputFile_);
    }
    for (SampleArray& part : step.write)
        WriteBlock(std::move(part), false);
    if (!step.passageEnded)
        return;
    p_.host.PassageChanged(false, outputFile_);
    passageEnded_ = gate_->FilePerPassage();
}

// The passage's file is complete at once: listed and tagged before the next sound comes, and
// the next passage goes to a new file named as a split part is.
void RecordingControl::FinishPassage() {
    ContinueInNextFile(true, [this] { return NextPassageFile(); });
}

// The next passage's file is made when its sound comes.
bool RecordingControl::NextPassageFile() {
    if (const std::exception_ptr failure = FinishFile(true))
        std::rethrow_exception(failure);
    if (!PrepareNextFile(Caller::Splitter))
        return false;
    filePending_ = true;
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
    if (silence_.Feed(block))
        p_.host.Tell(
            QStringLiteral("Sonvara is recording silence from %1.").arg(p_.recorder.LineName()),
            false);
    if (const std::exception_ptr failure = HandOnSplitPart())
        std::rethrow_exception(failure);
}

// Every block waiting is taken, not just the one of this event: blocks that arrived while no
// file was open (a message box during a split) are written now instead of lost.
void RecordingControl::OnBlock() {
    if (!p_.writer.IsOpen() && !filePending_)
        return;
    WriteQueuedBlocksOrEnd();
    // Blocks queued before a pause still arrive while it lasts.
    const bool running = phase_ == Phase::Running || phase_ == Phase::Paused;
    if (std::exchange(stopAfterSplit_, false) && running) {
        StopRecording(Caller::Splitter);
        return;
    }
    // During a split's hand-on the passage's blocks wait with it.
    if (passageEnded_ && running && !splitting_) {
        passageEnded_ = false;
        FinishPassage();
        WriteQueuedBlocksOrEnd();
        return;
    }
    if (p_.writer.IsOpen())
        MarkOpenFile(false);
    if (running && !filePending_)
        ShowFileSize();
    if (frameBudget_ && framesWritten_ >= *frameBudget_ && running)
        StopRecording(Caller::Splitter);
}

void RecordingControl::ShowFileSize() {
    const qint64 bytes = QFileInfo(outputFile_).size();
    p_.displays.SetText(kFileSize, QStringLiteral("File Size: %1 KB").arg(bytes / 1024));
}

void RecordingControl::OnTick(int64_t currentSamples) {
    // A tick queued before a pause or a stop belongs to capture that has ended; one during a
    // split's hand-on must not split again.
    if (phase_ != Phase::Running || splitting_)
        return;
    playedPosition_ = positionBase_ + currentSamples;
    if (WaitingForSound()) {
        p_.displays.SetText(kTime, kWaiting);
        return;
    }
    // Just after a split the recorder may not yet have counted what the new part already holds.
    // With activation, the time is that of the sound the file holds.
    const int64_t seconds =
        gate_ ? SecondsInFile()
              : p_.recorder.SamplesToMs(std::max<int64_t>(0, playedPosition_)) / 1000;
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
        StopRecording(Caller::Splitter);
}

void RecordingControl::StopAfterFrames(int64_t frames) {
    frameBudget_ = frames;
    framesWritten_ = 0;
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
