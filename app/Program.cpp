#include "app/Program.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <QTextStream>
#include <cstdio>
#include <utility>

#include "components/AudioVisualizationEx2.h"
#include "components/FirstFailure.h"
#include "components/MainDisplays.h"
#include "components/SonvaraError.h"
#include "config/Settings.h"
#include "schedule/ScheduleSettings.h"

namespace {

// A message and what follows it, as sentences.
QString Sentences(QString first, const QString& then) {
    if (!first.endsWith(u'.'))
        first += u'.';
    return first + u' ' + then;
}

// Where no view is set: what would be shown goes to stderr.
class TerminalView : public ProgramView {
public:
    MainDisplays& Displays() override { return displays_; }
    AudioVisualizationEx2& Levels() override { return levels_; }
    void ShowMessage(const QString& text, bool) override { Print(text); }
    void Notify(const QString& summary, const QString& body) override {
        Print(summary + QStringLiteral(": ") + body);
    }
    void ShowOutputPath(const QString&) override {}

private:
    struct NoLevels : AudioVisualizationEx2 {
        void ShowArray(const SampleArray&, int) override {}
        void SetVisible(bool) override {}
    };
    static void Print(const QString& text) {
        std::fprintf(stderr, "Sonvara: %s\n", qUtf8Printable(text));
    }
    NoDisplays displays_;
    NoLevels levels_;
};

}  // namespace

// What the controllers ask of the program, each as the interface it takes. The displays and the
// level display follow the view that is set when they are written.
class Program::Hosts : public RecordingHost,
                       public PlaybackHost,
                       public RecoveryHost,
                       public ScheduleHost,
                       public ScheduleSource,
                       public MainDisplays,
                       public AudioVisualizationEx2 {
public:
    explicit Hosts(Program& program) : list(program), p_(program) {}

    // The list window's part: its messages follow who is there, the rest goes to it when set.
    class List : public ListHost, public JoinHost {
    public:
        explicit List(Program& program) : p_(program) {}
        QStringList AskFilesToAdd() override {
            return p_.listView_ ? p_.listView_->AskFilesToAdd() : QStringList();
        }
        void ShowMessage(const QString& text) override {
            if (p_.listView_ && p_.attended_ && !p_.diverted_)
                p_.listView_->ShowMessage(text);
            else
                p_.Tell(text, p_.attended_);
        }
        void ShowWarning(const QString& text) override {
            if (p_.listView_)
                p_.listView_->ShowWarning(text);
        }
        void FocusList() override {
            if (p_.listView_)
                p_.listView_->FocusList();
        }
        void Changed() override {
            if (p_.listView_)
                p_.listView_->Changed();
        }
        QString AskOutputFile(const QString& folder) override {
            return p_.listView_ ? p_.listView_->AskOutputFile(folder) : QString();
        }
        void SetTimeHeader(const QString& text) override {
            if (p_.listView_)
                p_.listView_->SetTimeHeader(text);
        }
        void SetRowTime(int row, const QString& text) override {
            if (p_.listView_)
                p_.listView_->SetRowTime(row, text);
        }
        void ShowProgress(const QString& text) override { p_.view_->ShowJoinProgress(text); }
        void PumpEvents() override {
            if (p_.listView_)
                p_.listView_->PumpEvents();
        }
        void OpenFolder(const QString& folder) override {
            if (p_.listView_)
                p_.listView_->OpenFolder(folder);
        }

    private:
        Program& p_;
    };
    List list;
    const ScheduleSource* scheduleSource = nullptr;

    // Recording.
    void Tell(const QString& text, bool attended) override { p_.Tell(text, attended); }
    void ShowOutputPath(const QString& path) override { p_.view_->ShowOutputPath(path); }
    void RecordingFinished(const QString& file, int64_t frames, bool writeTag,
                           bool attended) override {
        p_.Finished(file, frames, writeTag, attended);
    }
    void PassageChanged(bool started, const QString& file) override {
        p_.view_->PassageChanged(started, file);
    }
    // The recording has ended by then: a box holds nothing up.
    void RecordingEventFailed(std::exception_ptr failure) override {
        p_.RecordingFailed(failure, true);
    }
    void PlaybackEventFailed(std::exception_ptr failure) override {
        p_.PlaybackFailed(ErrorMessage(failure));
    }

    // Playback and recovery: both answer the user's own doing.
    void ShowMessage(const QString& text) override { p_.Tell(text, true); }
    void RecordingRecovered(const QString& file) override {
        if (p_.listView_)
            p_.list_.AddRecording(file);
        p_.WriteDefaultTags(file);
    }

    // The schedule.
    void StartRecording() override { p_.StartRecording(Caller::Schedule); }
    // A slot's end finishes the file and lists it only when it was paused.
    void StopRecording() override {
        const bool before = std::exchange(p_.attended_, false);
        p_.GuardRecording([this] { p_.Recorder().StopRecording(Caller::Schedule, false); });
        p_.attended_ = before;
    }
    QStringList StopRecordingUnattended() override { return p_.StopUnattended(); }
    void StopPlayback() override { p_.StopPlayback(); }
    void StopJoin() override { p_.join_.StopJoin(); }
    bool JoinUnderway() const override { return p_.join_.JobUnderway(); }
    bool InputLineAvailable() override { return p_.core_.Recorder().ChosenSourceAvailable(); }
    int64_t FreeBytes(const QString& folder) override { return p_.FreeBytes(folder); }
    void PowerOff() override { p_.power_.PowerOff(); }
    void Notify(const QString& summary, const QString& body) override {
        p_.view_->Notify(summary, body);
    }
    ScheduleSettings LiveSchedule() const override {
        if (scheduleSource)
            return scheduleSource->LiveSchedule();
        const QDateTime now = p_.core_.WallClock().Now();
        return LoadScheduleSettings(p_.core_.Ini(), now, InitialSchedule(now));
    }

    // The displays of the view.
    void SetText(const QString& name, const QString& text) override {
        p_.view_->Displays().SetText(name, text);
    }
    void SetBarPosition(int position) override { p_.view_->Displays().SetBarPosition(position); }
    int BarPosition() const override { return p_.view_->Displays().BarPosition(); }
    void SetBarEnabled(bool enabled) override { p_.view_->Displays().SetBarEnabled(enabled); }
    void ShowArray(const SampleArray& array, int channels) override {
        p_.view_->Levels().ShowArray(array, channels);
    }
    void SetVisible(bool visible) override { p_.view_->Levels().SetVisible(visible); }
    void SetMark(std::optional<double> db) override { p_.view_->Levels().SetMark(db); }

private:
    Program& p_;
};

Program::Program(ProgramCore& core)
    : core_(core),
      nullView_(std::make_unique<TerminalView>()),
      view_(nullView_.get()),
      hosts_(std::make_unique<Hosts>(*this)),
      marker_(QFileInfo(core.Ini().Path()).absolutePath()),
      defaultTags_(core.Ini(), core.TagInfo()),
      list_(*this, core.FileReader(), hosts_->list),
      join_({*this, core.Ini(), core.FileReader(), core.FileWriter(), core.Encoder(), chapters_,
             hosts_->list}),
      schedule_({*this, core.Ini(), core.WallClock(), *hosts_, *hosts_, slotDue_}) {}

Program::~Program() = default;

void Program::SetView(ProgramView* view) {
    view_ = view ? view : nullView_.get();
}

void Program::SetListView(ListView* view) {
    listView_ = view;
}

void Program::SetScheduleSource(const ScheduleSource* source) {
    hosts_->scheduleSource = source;
}

bool Program::Recording() const {
    return recording_ && recording_->Active();
}

bool Program::Playing() const {
    return playback_ && playback_->Active();
}

bool Program::Joining() const {
    return join_.Running();
}

RecordingState Program::RecordingNow() const {
    return recording_ ? recording_->State() : RecordingState::Idle;
}

PlaybackState Program::PlaybackNow() const {
    return playback_ ? playback_->State() : PlaybackState::Idle;
}

JoinState Program::JoinNow() const {
    return join_.State();
}

RecordingControl& Program::Recorder() {
    if (!recording_) {
        recording_ = std::make_unique<RecordingControl>(RecordingControl::Parts{
            *this, core_.Ini(), core_.WallClock(), core_.Recorder(), core_.FileWriter(),
            core_.Encoder(), *hosts_, *hosts_, sleep_, *hosts_, &marker_});
        // Capture that ended by itself (the device or the server went) ends the recording.
        QObject::connect(&core_.Recorder(), &AudioRecord2::OnError, &events_,
                         [this](const QString& message) {
                             RecordingFailed(std::make_exception_ptr(SonvaraError(message)), true);
                         });
    }
    return *recording_;
}

PlaybackControl& Program::Player() {
    if (!playback_) {
        playback_ = std::make_unique<PlaybackControl>(PlaybackControl::Parts{
            *this, core_.Player(), core_.FileReader(), *hosts_, *hosts_, list_, *hosts_});
        playback_->SetObserver(observer_);
        QObject::connect(&core_.Player(), &AudioPlayer2::OnError, &events_,
                         [this](const QString& message) { PlaybackFailed(message); });
    }
    return *playback_;
}

void Program::Attended(const std::function<void()>& step) {
    const bool before = std::exchange(attended_, true);
    if (const std::exception_ptr failure = Caught(step))
        Tell(ErrorMessage(failure), true, true);
    attended_ = before;
}

// Only a user's start may store what the settings window holds: a schedule, a split or a
// passage records with what Kelvo.ini holds, so a choice still being made there (one the
// window refuses, say) never takes a recording away from anybody.
void Program::StartRecording(Caller who) {
    RecordingControl& recording = Recorder();
    const bool fresh = !recording.Active();
    const QString trouble = who == Caller::User && fresh ? CommitSettings() : QString();
    const bool attended = who == Caller::User;
    const bool before = std::exchange(attended_, attended);
    GuardRecording([&] { recording.StartRecording(who); });
    attended_ = before;
    if (!fresh || !recording.Active())
        return;
    if (!trouble.isEmpty())
        Tell(Sentences(trouble, QStringLiteral("The recording uses the settings as you set "
                                               "them; they are not stored yet.")),
             attended);
    else if (const QString unread = core_.Ini().Trouble(); !unread.isEmpty())
        Tell(Sentences(unread, QStringLiteral("The recording uses the settings as last read.")),
             attended);
}

// The values are in force whether or not the file took them.
QString Program::CommitSettings() {
    try {
        view_->SettingsCommitted(core_.RecordingSettingsModel().CommitPending());
    } catch (const SonvaraError& error) {
        return error.message();
    }
    return {};
}

void Program::StopRecording() {
    if (!recording_)
        return;
    const bool before = std::exchange(attended_, true);
    GuardRecording([this] { recording_->StopRecording(Caller::User); });
    attended_ = before;
}

void Program::ToggleRecordPause() {
    if (!recording_)
        return;
    const bool before = std::exchange(attended_, true);
    GuardRecording([this] { recording_->ToggleRecordPause(); });
    attended_ = before;
}

void Program::GuardRecording(const std::function<void()>& step) {
    if (const std::exception_ptr failure = Caught(step))
        RecordingFailed(failure, attended_);
}

// The recording's own failure: it ends, if it has not ended itself, and the user hears why.
void Program::RecordingFailed(std::exception_ptr failure, bool attended) {
    QStringList told{ErrorMessage(failure)};
    if (recording_ && recording_->Active()) {
        if (const std::exception_ptr ending =
                Caught([this] { recording_->StopRecording(Caller::Splitter); }))
            told << ErrorMessage(ending);
    }
    for (const QString& text : told)
        Tell(text, attended, true);
}

void Program::StartPlayback() {
    const bool before = std::exchange(attended_, true);
    GuardPlayback([this] {
        if (const std::optional<PlayRefusal> refusal = Player().TryStartPlayback();
            refusal && !refusal->quiet)
            Tell(refusal->text, true);
    });
    attended_ = before;
}

std::optional<PlayRefusal> Program::TryStartPlayback() {
    std::optional<PlayRefusal> refusal;
    GuardPlayback([&] { refusal = Player().TryStartPlayback(); });
    return refusal;
}

void Program::TogglePlayPause() {
    if (playback_)
        GuardPlayback([this] { playback_->TogglePlayPause(); });
}

void Program::StopPlayback() {
    if (playback_)
        GuardPlayback([this] { playback_->StopPlayback(); });
}

void Program::SeekTo(int barPosition) {
    if (playback_)
        GuardPlayback([&] { playback_->SeekTo(barPosition); });
}

void Program::SeekToFrame(int64_t frame) {
    if (playback_)
        GuardPlayback([&] { playback_->SeekToFrame(frame); });
}

PlaybackFacts Program::Facts() const {
    return playback_ ? playback_->Facts() : PlaybackFacts{};
}

void Program::SetVolume(double volume) {
    Player().SetVolume(volume);
}

double Program::Volume() const {
    return playback_ ? playback_->Volume() : 1.0;
}

void Program::SetObserver(PlaybackObserver* observer) {
    observer_ = observer;
    if (playback_)
        playback_->SetObserver(observer);
}

void Program::GuardPlayback(const std::function<void()>& step) {
    if (const std::exception_ptr failure = Caught(step))
        PlaybackFailed(ErrorMessage(failure));
}

// Playback's own failure: it stops, and the user, who started it, hears why.
void Program::PlaybackFailed(const QString& message) {
    QStringList told{message};
    if (playback_ && playback_->Active()) {
        if (const std::exception_ptr stopping = Caught([this] { playback_->StopPlayback(); }))
            told << ErrorMessage(stopping);
    }
    for (const QString& text : told)
        Tell(text, true, true);
}

bool Program::AddPaths(const QStringList& paths) {
    bool taken = false;
    Attended([&] { taken = list_.AddPaths(paths); });
    return taken;
}

void Program::JoinFiles() {
    Attended([this] { join_.JoinFiles(list_.Rows()); });
}

void Program::RecoverRecordings() {
    Attended([this] {
        ::RecoverRecordings(QFileInfo(core_.Ini().Path()).absolutePath(), core_.FileReader(),
                            *hosts_);
    });
}

void Program::Tell(const QString& text, bool attended, bool warning) {
    if (diverted_)
        *diverted_ << text;
    else if (attended)
        view_->ShowMessage(text, warning);
    else if (warning)
        view_->NotifyFailure(text);
    else
        view_->Notify(QStringLiteral("Sonvara"), text);
}

// The recording is finished and listed whatever becomes of its tag, and a split recording goes
// on: the user hears why the file has none.
void Program::Finished(const QString& file, int64_t frames, bool writeTag, bool attended) {
    const bool before = std::exchange(attended_, attended);
    view_->RecordingFinished(file, frames);
    if (listView_)
        list_.AddRecording(file);
    if (writeTag)
        WriteDefaultTags(file);
    attended_ = before;
}

void Program::WriteDefaultTags(const QString& file) {
    try {
        if (const std::optional<DefaultTagRefusal> refusal = defaultTags_.WriteDefaultTags(file)) {
            if (diverted_)
                *diverted_ << refusal->message + QStringLiteral(": ") + file;
            else
                view_->DefaultTagRefused(file, *refusal, attended_);
        }
    } catch (const SonvaraError& error) {
        Tell(error.message(), attended_, true);
    }
}

QStringList Program::StopUnattended() {
    QStringList told;
    QStringList* before = std::exchange(diverted_, &told);
    if (recording_)
        GuardRecording([this] { recording_->StopRecording(Caller::Schedule); });
    diverted_ = before;
    return told;
}

QStringList Program::EndForExit() {
    QStringList told;
    QStringList* before = std::exchange(diverted_, &told);
    join_.StopJoinForExit();
    if (recording_)
        GuardRecording([this] { recording_->StopRecording(Caller::Schedule); });
    if (playback_)
        GuardPlayback([this] { playback_->StopPlayback(); });
    diverted_ = before;
    return told;
}

// The output folder is made only when a recording starts; until then its parent's disk counts.
int64_t Program::FreeBytes(const QString& folder) const {
    QFileInfo place(folder);
    while (!place.exists() && !place.isRoot() && place.absolutePath() != place.absoluteFilePath())
        place = QFileInfo(place.absolutePath());
    const QStorageInfo storage(place.absoluteFilePath());
    return storage.isValid() && storage.isReady() ? storage.bytesAvailable() : -1;
}
