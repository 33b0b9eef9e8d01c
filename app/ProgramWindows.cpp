#include "app/ProgramWindows.h"

#include "components/SonvaraError.h"
#include "components/widgets/DialogPlacement.h"
#include "record/SourceHelp.h"

ProgramWindows::ProgramWindows(AppState& state, PulseContext& pulse, const QString& skinFile)
    : fm_main(state, pulse, skinFile),
      fm_dev(fm_main.Recorder()),
      fm_id3(fm_main.TagInfo(), fm_main.Ini()),
      fm_set(fm_main.Ini(), fm_main.FileWriter(), SourceHelpTexts()),
      fm_dir(fm_main.Ini()),
      fm_list(state, fm_main.Skin1(), fm_main, fm_main.FileReader()),
      join_({state, fm_main.Ini(), fm_main.FileReader(), fm_main.FileWriter(), fm_main.Encoder(),
             chapters_, fm_list.JoinView()}),
      defaultTags_(fm_main.Ini(), fm_main.TagInfo()) {
    LinkSettingsWindow();
    LinkTagWindow();
    LinkMainWindow();
}

void ProgramWindows::LinkMainWindow() {
    MainWindowLinks links;
    links.listWindow = &fm_list;
    links.list = &fm_list.List();
    links.joinFiles = [this] { join_.JoinFiles(fm_list.List().Rows()); };
    fm_list.SetProgressDisplay(
        [this](const QString& text) { fm_main.Displays().SetText(QStringLiteral("showp"), text); });
    links.focusList = [this] { fm_list.FocusList(); };
    links.fillSourceDialog = [this](const Settings& settings) { fm_dev.FillAtStartUp(settings); };
    links.showSourceDialog = [this](QPoint topLeft) { fm_dev.ShowModalAt(topLeft, &fm_main); };
    links.loadSettingsDialog = [this] { fm_set.LoadAtStartUp(); };
    links.showSettingsDialog = [this](QPoint topLeft) {
        ExecDialogOver(fm_set, &fm_main, topLeft);
    };
    links.commitSettings = [this] { fm_set.set_bt_okClick(); };
    links.showTagDialog = [this](QPoint topLeft) { fm_id3.ShowModalAt(topLeft, &fm_main); };
    links.writeDefaultTags = [this](const QString& file) { WriteDefaultTags(file); };
    fm_main.SetLinks(std::move(links));
}

void ProgramWindows::LinkSettingsWindow() {
    SettingsPageDialogs pages;
    fm_dev.AttachToSettingsPages(pages, &fm_set);
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
