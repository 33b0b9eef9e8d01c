#include "app/ProgramWindows.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimer>
#include <cstdio>

#include "components/SonvaraError.h"
#include "components/widgets/DialogPlacement.h"
#include "record/SourceHelp.h"

ProgramWindows::ProgramWindows(ProgramCore& core, const QString& skinFile)
    : core_(core),
      fm_main(core, skinFile),
      fm_sche(core.Ini(), core.WallClock()),
      fm_dev(core.Recorder()),
      fm_id3(core.TagInfo(), core.Ini()),
      fm_set(core.RecordingSettingsModel(), SourceHelpTexts()),
      fm_dir(core.Ini()),
      fm_list(core.State(), fm_main.Skin1(), fm_main, core.FileReader()),
      join_({core.State(), core.Ini(), core.FileReader(), core.FileWriter(), core.Encoder(),
             chapters_, fm_list.JoinView()}),
      defaultTags_(core.Ini(), core.TagInfo()),
      schedule_({core.State(), core.Ini(), core.WallClock(), fm_sche, *this}) {
    LinkSettingsWindow();
    LinkTagWindow();
    LinkMainWindow();
}

void ProgramWindows::LinkMainWindow() {
    MainWindowLinks links;
    links.listWindow = &fm_list;
    links.list = &fm_list.List();
    links.joinFiles = [this] { join_.JoinFiles(fm_list.List().Rows()); };
    links.endJoin = [this] { join_.StopJoinForExit(); };
    fm_list.SetProgressDisplay(
        [this](const QString& text) { fm_main.Displays().SetText(QStringLiteral("showp"), text); });
    links.focusList = [this] { fm_list.FocusList(); };
    links.fillSourceDialog = [this](const Settings& settings) {
        fm_dev.FillAtStartUp(settings);
        TellWhenNoSoundServer();
    };
    links.showSourceDialog = [this](QPoint topLeft) { fm_dev.ShowModalAt(topLeft, &fm_main); };
    links.loadSettingsDialog = [this] { fm_set.LoadAtStartUp(); };
    links.showSettingsDialog = [this](QPoint topLeft) {
        ExecDialogOver(fm_set, &fm_main, topLeft);
    };
    // What the window's controls hold is stored from the model, not from the window, which then
    // does what its OK does after storing: it tells a refusal, or closes.
    links.commitSettings = [this] {
        fm_set.Committed(core_.RecordingSettingsModel().CommitPending());
    };
    links.showTagDialog = [this](QPoint topLeft) { fm_id3.ShowModalAt(topLeft, &fm_main); };
    links.writeDefaultTags = [this](const QString& file) { WriteDefaultTags(file); };
    links.loadScheduleDialog = [this] { fm_sche.Load(); };
    links.showScheduleDialog = [this](QPoint topLeft) { fm_sche.ShowModalAt(topLeft, &fm_main); };
    fm_main.SetLinks(std::move(links));
}

void ProgramWindows::LinkSettingsWindow() {
    SettingsPageDialogs pages;
    fm_dev.AttachToSettingsPages(pages, &fm_set);
    fm_sche.AttachToSettingsPages(pages, &fm_set);
    fm_dir.AttachToSettingsPages(pages, &fm_set);
    fm_set.SetPageDialogs(std::move(pages));
    QObject::connect(&fm_dir, &Tfm_dir::PathChosen, &fm_set, &Tfm_set::SetOutputDirectory);
}

void ProgramWindows::LinkTagWindow() {
    fm_id3.SetSelection([this]() -> std::optional<TaggedFile> {
        const JoinList& list = fm_list.List();
        if (list.Selected().empty())
            return std::nullopt;
        const auto first = static_cast<size_t>(*list.Selected().begin());
        if (first >= list.Rows().size())
            return std::nullopt;
        return TaggedFile{list.Rows()[first].caption, list.Rows()[first].path};
    });
}

// Without a sound server the source lists are empty: once the windows stand, the user hears
// why, and that nothing needs restarting (the lists fill when a server comes). Only the
// start-up asks, so this is told once.
void ProgramWindows::TellWhenNoSoundServer() {
    if (core_.Recorder().LastDeviceIndex() >= 0)
        return;
    QTimer::singleShot(0, &fm_main, [this] {
        fm_main.ShowMessage(QStringLiteral(
            "No sound server is running, so there is nothing to record from or play to. "
            "Recording and playback need PulseAudio or PipeWire; Sonvara connects by itself "
            "as soon as one runs."));
    });
}

// The recording is finished and listed whatever becomes of its tag, and a split recording goes
// on: the user hears why the file has none.
void ProgramWindows::WriteDefaultTags(const QString& file) {
    try {
        if (const std::optional<DefaultTagRefusal> refusal = defaultTags_.WriteDefaultTags(file))
            fm_main.ShowMessage(refusal->message);
    } catch (const SonvaraError& error) {
        fm_main.ShowMessage(error.message());
    }
}

// The boxes of both windows that a stop can raise (an untaggable or unreadable file) are
// diverted for its length.
QStringList ProgramWindows::StopRecordingUnattended() {
    QStringList told;
    fm_main.DivertMessages(&told);
    fm_list.DivertMessages(&told);
    try {
        fm_main.StopRecording();
    } catch (...) {
        told << ErrorMessage(std::current_exception());
    }
    fm_main.DivertMessages(nullptr);
    fm_list.DivertMessages(nullptr);
    return told;
}

// Nobody may be there to read a message box any more: a failure goes to stderr, and the
// program ends all the same.
void ProgramWindows::EndOnSignal() {
    ended_ = true;
    // A box or dialog open now runs a loop of its own, which would hold the end up until
    // somebody clicks; before the event loop runs (a box of the start-up), nothing else ends it.
    for (int open = 0; open < 16; ++open) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        modal->close();
    }
    const auto tell = [](const QString& message) {
        std::fprintf(stderr, "Sonvara: %s\n", qUtf8Printable(message));
    };
    // The job ends at its next block and finishes its file before the event loop ends.
    join_.StopJoinForExit();
    if (core_.State().Recording) {
        for (const QString& message : StopRecordingUnattended())
            tell(message);
    }
    const auto attempt = [&tell](const auto& step) {
        try {
            step();
        } catch (...) {
            tell(ErrorMessage(std::current_exception()));
        }
    };
    if (core_.State().Playing)
        attempt([this] { fm_main.StopPlayback(); });
    attempt([this] { fm_main.close(); });
}

// The output folder is made only when a recording starts; until then its parent's disk counts.
int64_t ProgramWindows::FreeBytes(const QString& folder) {
    QFileInfo place(folder);
    while (!place.exists() && !place.isRoot() && place.absolutePath() != place.absoluteFilePath())
        place = QFileInfo(place.absolutePath());
    const QStorageInfo storage(place.absoluteFilePath());
    return storage.isValid() && storage.isReady() ? storage.bytesAvailable() : -1;
}
