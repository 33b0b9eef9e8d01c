#include "app/MainCommands.h"

#include <QFileInfo>
#include <QStringList>
#include <functional>

#include "components/ErrorBoundary.h"
#include "components/MainDisplays.h"
#include "components/Skin.h"

namespace {

// Dialogs open level with the main window's top, shifted right so the skin's title stays
// visible.
constexpr int kDialogOffset = 27;
constexpr int kSourceDialogOffset = 114;

bool MarksPress(const QString& name) {
    // "list_add" and "stopj" are deliberately absent: presses on them may still start a drag
    // of the list window.
    static const QStringList names{
        QStringLiteral("recorder"), QStringLiteral("pause"),    QStringLiteral("stop"),
        QStringLiteral("add"),      QStringLiteral("play"),     QStringLiteral("list"),
        QStringLiteral("schedule"), QStringLiteral("scource"),  QStringLiteral("set"),
        QStringLiteral("tag"),      QStringLiteral("play_bar"), QStringLiteral("help"),
        QStringLiteral("min"),      QStringLiteral("close"),    QStringLiteral("del"),
        QStringLiteral("up"),       QStringLiteral("down"),     QStringLiteral("bar"),
        QStringLiteral("join")};
    return names.contains(name, Qt::CaseSensitive);
}

}  // namespace

MainCommands::MainCommands(MainOperations& operations, DragState& drag,
                           const WindowFrame& mainWindow)
    : operations_(operations), drag_(drag), mainWindow_(mainWindow) {}

QPoint MainCommands::DialogPlace(int leftOffset) const {
    return mainWindow_.Geometry().topLeft() + QPoint(leftOffset, 0);
}

void MainCommands::Dispatch(const QString& name) {
    // The skin file names the elements; "scource" is spelt as the skin spells it.
    if (name == QLatin1String("recorder")) {
        operations_.StartRecording();
    } else if (name == QLatin1String("pause")) {
        if (operations_.Recording())
            operations_.ToggleRecordPause();
        if (operations_.Playing())
            operations_.TogglePlayPause();
    } else if (name == QLatin1String("stop")) {
        if (operations_.Recording())
            operations_.StopRecording();
        if (operations_.Playing())
            operations_.StopPlayback();
        if (operations_.ListShown())
            operations_.FocusList();
    } else if (name == QLatin1String("add")) {
        if (!operations_.Playing() && !operations_.Joining())
            operations_.AddFiles();
    } else if (name == QLatin1String("play")) {
        operations_.StartPlayback();
    } else if (name == QLatin1String("list")) {
        // A minimised list is brought back, not closed: the user cannot see it to close it.
        if (operations_.ListShown() && !operations_.ListMinimized())
            operations_.CloseList();
        else
            operations_.ShowList();
    } else if (name == QLatin1String("schedule")) {
        operations_.ShowScheduleDialog(DialogPlace(kDialogOffset));
    } else if (name == QLatin1String("scource")) {
        operations_.ShowSourceDialog(DialogPlace(kSourceDialogOffset));
    } else if (name == QLatin1String("set")) {
        // Paused counts as under way.
        if (!operations_.Playing() && !operations_.Recording())
            operations_.ShowSettingsDialog(DialogPlace(kDialogOffset));
    } else if (name == QLatin1String("tag")) {
        // A recording does not block it: the editor works on listed files, and the file being
        // recorded is listed only once it has stopped.
        if (!operations_.Playing() && !operations_.Joining())
            operations_.ShowTagDialog(DialogPlace(kDialogOffset));
    } else if (name == QLatin1String("list_add")) {
        operations_.AddFiles();
    } else if (name == QLatin1String("del")) {
        operations_.RemoveSelected();
    } else if (name == QLatin1String("up")) {
        operations_.MoveUp();
    } else if (name == QLatin1String("down")) {
        operations_.MoveDown();
    } else if (name == QLatin1String("join")) {
        operations_.JoinFiles();
    } else if (name == QLatin1String("stopj")) {
        operations_.StopJoin();
    } else if (name == QLatin1String("help")) {
        OpenHelp();
    }
}

// A desktop may have nothing that opens web pages (no xdg-open, no browser); the user is then
// told where the help is, to open it some other way.
void MainCommands::OpenHelp() {
    const QString file = operations_.HelpFile();
    if (!QFileInfo(file).isFile())
        operations_.ShowMessage(
            QStringLiteral("Cannot show the help: the file %1 does not exist.").arg(file));
    else if (!operations_.OpenInViewer(file))
        operations_.ShowMessage(QStringLiteral("No program to show the help was found. The help "
                                               "is the file %1; open it in a web browser.")
                                    .arg(file));
}

void MainCommands::MouseDown(const QString& name) {
    if (!MarksPress(name))
        return;
    drag_.skinPressed = true;
    if (name == display::kBar)
        operations_.HoldSeekBar(true);
}

void MainCommands::MouseUp(const QString& name, int barPosition) {
    if (name != display::kBar)
        return;
    operations_.HoldSeekBar(false);
    if (operations_.Playing())
        operations_.SeekTo(barPosition);
}

void ConnectSkinCommands(Skin& skin, MainCommands& commands, std::function<int()> barPosition,
                         QObject& context) {
    QObject::connect(&skin, &Skin::OnClick, &context, Reporting([&commands](SkinObject* source) {
        commands.Dispatch(source->Name());
    }));
    QObject::connect(
        &skin, &Skin::OnMouseDown, &context,
        Reporting([&commands](SkinObject* source) { commands.MouseDown(source->Name()); }));
    QObject::connect(&skin, &Skin::OnMouseUp, &context,
                     Reporting([&commands, barPosition](SkinObject* source) {
                         commands.MouseUp(source->Name(), barPosition());
                     }));
}
