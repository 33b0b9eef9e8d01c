#include "app/ProgramWindows.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "components/SonvaraError.h"
#include "components/widgets/DialogPlacement.h"
#include "record/SourceHelp.h"

ProgramWindows::ProgramWindows(ProgramCore& core, Program& program, const QString& skinFile)
    : core_(core),
      program_(program),
      fm_main(program, drag_, skinFile),
      fm_sche(core.Ini(), core.WallClock()),
      fm_dev(core.Recorder()),
      fm_id3(core.TagInfo(), core.Ini()),
      fm_set(core.RecordingSettingsModel(), SourceHelpTexts()),
      fm_dir(core.Ini()),
      fm_list(program.List(), drag_, fm_main.Skin1(), fm_main) {
    LinkSettingsWindow();
    LinkTagWindow();
    LinkMainWindow();
    program_.SetListView(&fm_list);
    program_.SetScheduleSource(&fm_sche);
}

ProgramWindows::~ProgramWindows() {
    program_.SetScheduleSource(nullptr);
    program_.SetListView(nullptr);
}

void ProgramWindows::LinkMainWindow() {
    MainWindowLinks links;
    links.listWindow = &fm_list;
    links.focusList = [this] { fm_list.FocusList(); };
    links.fillSourceDialog = [this] {
        fm_dev.FillAtStartUp(core_.Ini());
        TellWhenNoSoundServer();
    };
    links.showSourceDialog = [this](QPoint topLeft) { fm_dev.ShowModalAt(topLeft, &fm_main); };
    links.loadSettingsDialog = [this] { fm_set.LoadAtStartUp(); };
    links.showSettingsDialog = [this](QPoint topLeft) {
        ExecDialogOver(fm_set, &fm_main, topLeft);
    };
    // The window then does what its OK does after storing: it tells a refusal, or closes.
    links.settingsCommitted = [this](bool stored) { fm_set.Committed(stored); };
    links.showTagDialog = [this](QPoint topLeft) { fm_id3.ShowModalAt(topLeft, &fm_main); };
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
        const JoinList& list = program_.List();
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
    // A join ends at its next block and finishes its file before the event loop ends.
    for (const QString& message : program_.EndForExit())
        tell(message);
    try {
        fm_main.close();
    } catch (...) {
        tell(ErrorMessage(std::current_exception()));
    }
}
