#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

#include "components/SampleArray.h"
#include "config/ActivationSettings.h"
#include "record/ActivationGate.h"
#include "record/SilenceWatch.h"

class Activity;
class AudioFile2;
class AudioFile2LameEnc;
class AudioRecord2;
class AudioVisualizationEx2;
class Clock;
class RecordingMarker;
class MainDisplays;
class Settings;
class SleepInhibitor;

// What a recording asks of the program around it: message boxes or notifications, and the
// places that take a finished recording. attended: the user's own command runs now, so a box
// may wait for them; otherwise nobody may be there (a schedule, a split, a passage) and
// nothing may wait.
class RecordingHost {
public:
    virtual ~RecordingHost() = default;
    virtual void Tell(const QString& text, bool attended) = 0;
    // The path a custom-named recording is about to be written to (a free name, numbered when
    // the custom name is taken); returns when the box is closed. Only for the user's starts.
    virtual void ShowOutputPath(const QString& path) = 0;
    // A recording or a part of one is complete on disk with that many frames of sound: it
    // joins the list and, unless writing it failed (a full disk would refuse the tag too, or
    // be damaged by it), gets the default tag. A part of a split recording is complete once
    // the next part's first block is written (it takes a few milliseconds of it), or when the
    // recording stops or splits again first.
    virtual void RecordingFinished(const QString& file, int64_t frames, bool writeTag,
                                   bool attended) = 0;
    // A sound-activated recording began or ended a passage of sound in the file.
    virtual void PassageChanged(bool /*started*/, const QString& /*file*/) {}
    // What a recorder event (a block, a tick) failed with, once the recording has dealt with
    // it (a write that failed has ended it). Unless overridden it goes on to the event's caller.
    virtual void RecordingEventFailed(std::exception_ptr failure) {
        std::rethrow_exception(failure);
    }
};

// Who asks a recording to start or stop. Only the user is there to close a box; the schedule
// and the recording itself (its length splitter, its passages, its frame budget) must never
// wait for a click.
enum class Caller { User, Schedule, Splitter };

// The states of a recording, one at a time:
//   Idle       nothing is recorded and no file is open
//   Armed      capture runs, and nothing is written until sound comes (sound activation)
//   Recording  capture runs into the open file
//   Paused     capture is stopped; the file stays open
//   Splitting  one file is being finished and the next opened, while capture goes on
//   Stopping   capture has stopped; the file is being finished and handed on
enum class RecordingState { Idle, Armed, Recording, Paused, Splitting, Stopping };

// Starts, pauses, resumes and stops recordings, writes each captured block to the output file
// and splits it by length. Everything runs on the UI thread; failures throw SonvaraError and
// leave the state consistent. A write that fails ends the recording at once: capture stops,
// the file keeps what reached it and is handed on untagged, and the one error names the file
// and the cause. With sound activation on, capture runs armed and only the passages the gate
// lets through are written; a file that receives no sound is removed at the stop instead of
// handed on.
class RecordingControl {
public:
    struct Parts {
        const Activity& activity;  // what else runs, which a start must not overlap
        const Settings& settings;
        const Clock& clock;
        AudioRecord2& recorder;
        AudioFile2& writer;
        AudioFile2LameEnc& encoder;
        AudioVisualizationEx2& levels;
        MainDisplays& displays;
        SleepInhibitor& sleep;
        RecordingHost& host;
        // Names the open file for a repair after a crash; none in tests that need no repair.
        RecordingMarker* marker = nullptr;
    };

    // Takes the recorder's block and timer events from here on. Its error event is the
    // owner's: that decides how the user hears of it.
    explicit RecordingControl(Parts parts);

    RecordingState State() const;
    // Under way, paused or not: from the start until the file is handed on.
    bool Active() const { return phase_ != Phase::Idle; }
    // The file being recorded, or the last one.
    const QString& OutputFile() const { return outputFile_; }
    // Frames of sound counted in the open file, pauses excluded.
    int64_t PlayedPosition() const { return playedPosition_; }

    // Starts a new recording with the settings as stored now, or resumes a paused one.
    void StartRecording(Caller who = Caller::User);
    void ToggleRecordPause();
    // Takes what capture still holds, completes the file and, when handOn, hands it on (a
    // paused recording always); from any state.
    void StopRecording(Caller who = Caller::User, bool handOn = true);

    // The recorder's block and timer events.
    void OnBlock();
    void OnTick(int64_t currentSamples);

    // Writes the given path instead of the name the settings form, numbered as a taken name
    // is (and so are split parts). An empty path returns to the settings' naming.
    void SetFixedOutputFile(const QString& path) { fixedOutput_ = path; }
    // Sound activation as given instead of as stored; none returns to the stored settings.
    void SetActivation(std::optional<ActivationSettings> settings) {
        activation_ = std::move(settings);
    }
    // Ends the recording once that many frames of sound are written, cutting the last block
    // so the total is exact. Counts across the parts of a split recording.
    void StopAfterFrames(int64_t frames);
    int64_t FramesWritten() const { return framesWritten_; }
    // Armed with sound activation, between passages.
    bool WaitingForSound() const { return gate_ && gate_->Waiting(); }

    // The length limit in seconds as the settings stand, or none.
    static std::optional<int64_t> LengthLimit(const Settings& settings);

private:
    enum class Phase { Idle, Running, Paused, Stopping };

    bool OpenNextFile(Caller who);
    bool PrepareNextFile(Caller who);
    void CreateOutputFile();
    void CreatePassageFile();
    int64_t SecondsInFile() const;
    ActivationSettings ActivationNow() const;
    void ShowFileName();
    void MarkOpenFile(bool opened);
    void SetCaptureFormat();
    void SplitRecording();
    // Opens the next file (a split part, or a passage's file when passage) through open.
    void ContinueInNextFile(bool passage, const std::function<bool()>& open);
    void ArmGate();
    void GateBlock(SampleArray block);
    void FinishPassage();
    bool NextPassageFile();
    void RestartCaptureInNewFormat();
    // Completes the output file and, when asked, hands it on; returns the first failure.
    std::exception_ptr FinishFile(bool handOn, bool writeTag = true);
    // Hands on the part ended by a split once the writer has completed it.
    std::exception_ptr HandOnSplitPart(bool writeTag = true);
    std::exception_ptr HandOn(const QString& file, int64_t frames, bool writeTag);
    // Stops capture, completes the file and returns to idle. After a failed write (given, or
    // met while writing what is queued) the file is handed on untagged and the failure thrown.
    void EndRecording(std::exception_ptr writeFailure, bool handOn = true);
    void DiscardQueuedBlocks();
    void WriteQueuedBlocksOrEnd();
    bool BeginNextPart(int64_t carried);
    SampleArray TakeBlock();
    bool SetUpMp3Format(Caller who);
    QString NextOutputFile();
    bool CustomNaming() const;
    void BeginCapture();
    void WriteBlock(SampleArray block, bool showLevel = true);
    void WriteQueuedBlocks();
    void ShowFileSize();
    void ClearDisplays();
    void ApplyLimit(int64_t seconds);
    void Event(const std::function<void()>& step);

    Parts p_;
    QObject events_;  // ends the recorder connections with this object
    Phase phase_ = Phase::Idle;
    // The user's own command runs now: a box may wait for them.
    bool attended_ = false;
    QString outputFile_;
    // Frames counted before the latest capture start (kept across a pause), and that base plus
    // what the recorder has counted since.
    int64_t positionBase_ = 0;
    int64_t playedPosition_ = 0;
    QString fixedOutput_;
    // Files recorded in this run are never named again, even when gone from the disk since:
    // the list keeps one row per file.
    QSet<QString> recorded_;
    // Handing a part on may run the event loop (the list measures it, a box tells the user),
    // which delivers ticks, blocks and clicks: those must not split again, and a stop asked
    // for meanwhile waits for the split's end.
    bool splitting_ = false;
    bool stopAfterSplit_ = false;
    QString splitPart_;  // the part before, until it has the sound it takes from the next
    int64_t splitPartFrames_ = 0;
    int64_t partBegin_ = 0;  // framesWritten_ when the open file was created
    int captureRate_ = 0;
    int captureChannels_ = 0;
    int64_t takenSinceStart_ = 0;  // frames taken from the recorder since its last Start
    std::optional<int64_t> frameBudget_;
    std::optional<ActivationSettings> activation_;
    std::optional<ActivationGate> gate_;  // only while sound activation is on
    bool passageEnded_ = false;           // the file of the passage is to be finished
    // Armed with no file yet: it is made when the next passage starts.
    bool filePending_ = false;
    SilenceWatch silence_;
    bool finishingPassage_ = false;
    int64_t framesWritten_ = 0;
};
