#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "components/ChapterWriter.h"
#include "config/Mp3Settings.h"
#include "join/JoinRow.h"

class Activity;
class AudioFile2;
class AudioFile2LameEnc;
class Settings;

// What a join job asks of the windows and the desktop around it.
class JoinHost {
public:
    virtual ~JoinHost() = default;
    // An information box with one OK button; returns when it is closed.
    virtual void ShowMessage(const QString& text) = 0;
    // Something the finished join lacks (its chapters); the join itself succeeded.
    virtual void ShowWarning(const QString& text) { ShowMessage(text); }
    // The save dialog opened in folder; the chosen file, or empty when cancelled.
    virtual QString AskOutputFile(const QString& folder) = 0;
    // The list's time column: its header ("Status" while a job runs, "Time" after it) and a
    // row's cell ("Converting" while that row is read, its time text again afterwards).
    virtual void SetTimeHeader(const QString& text) = 0;
    virtual void SetRowTime(int row, const QString& text) = 0;
    // The job's progress for the main window, e.g. "Joining 2/5 · 37 %"; empty clears it.
    virtual void ShowProgress(const QString& text) = 0;
    // Lets the windows, and the stop command, run between blocks.
    virtual void PumpEvents() = 0;
    // Shows the folder in the desktop's file manager; not waited for.
    virtual void OpenFolder(const QString& folder) = 0;
};

// The states of a join job:
//   Idle      no job
//   Running   the rows are read into the output
//   Stopping  asked to stop: the job ends at its next block and finishes its output
enum class JoinState { Idle, Running, Stopping };

// Joins every row, in order, into one new MP3 with the stored MP3 settings; a list of one row
// converts that file. Runs on the UI thread, pumping events between blocks; StopJoin ends it
// at the next block, and the output then holds what was written. Every failure also ends the job
// with its output finished and the state idle. An existing output file is replaced only when the
// job ends, so it is never lost to a crash.
class JoinEngine {
public:
    struct Parts {
        const Activity& activity;  // what else runs, which a join must not overlap
        const Settings& settings;
        AudioFile2& reader;
        AudioFile2& writer;  // shared with recording
        AudioFile2LameEnc& encoder;
        ChapterWriter& chapters;
        JoinHost& host;
        bool openFolderAtEnd = true;  // the command-line tool leaves it closed
        // Used instead of the stored MP3 settings, as the command-line options ask.
        std::optional<Mp3Settings> mp3 = std::nullopt;
    };
    explicit JoinEngine(Parts parts);

    // The command line's choices: MP3 settings instead of the stored ones (none: stored), and
    // whether the output's folder is shown at the end.
    void SetMp3(std::optional<Mp3Settings> mp3) { p_.mp3 = std::move(mp3); }
    void SetOpenFolderAtEnd(bool open) { p_.openFolderAtEnd = open; }

    // Asks for the output file through the host's save dialog.
    void JoinFiles(const std::vector<JoinRow>& rows);
    // The same with the output file given, as the command-line tool does.
    void JoinFilesTo(const std::vector<JoinRow>& rows, const QString& outputFile);
    void StopJoin();
    // As StopJoin, for a program that is ending: the output is finished all the same, but the
    // folder is not shown any more.
    void StopJoinForExit();
    JoinState State() const { return state_; }
    // Reading rows: neither stopped nor finishing.
    bool Running() const { return state_ == JoinState::Running; }
    // From the job's start until its output is finished, stopped or not: the writer is the
    // job's all that time.
    bool JobUnderway() const { return state_ != JoinState::Idle; }

    // "Song.MP3" is written as "Song.mp3", "x.wav" as "x.mp3", "x" as "x.mp3"; absolute.
    static QString Mp3FileName(const QString& chosen);

private:
    struct Job;

    bool Refuses(const std::vector<JoinRow>& rows);
    bool SetUpMp3();
    void WriteRows(Job& job);
    void WriteRow(Job& job, int index);
    void CopySound(Job& job, int index);
    void ShowProgress(Job& job, int index);
    void Finish(Job& job);
    void AddChapters(Job& job);
    void ReplaceOutput(Job& job);

    Parts p_;
    JoinState state_ = JoinState::Idle;
    bool openFolder_ = true;
};
