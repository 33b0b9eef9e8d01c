// The program's entry: one copy per user session, the windows created once, the event loop.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QtDBus/QDBusConnection>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/FileHandover.h"
#include "app/ProgramWindows.h"
#include "app/SingleInstance.h"
#ifdef SONVARA_TEST_PROBE
#include "app/TestProbe.h"
#endif
#include "components/ErrorBoundary.h"
#include "components/InterruptNotifier.h"
#include "components/ProgramFolders.h"
#include "components/SonvaraError.h"
#include "components/TagLibAudioInformation2.h"
#include "components/widgets/FirstPaint.h"
#include "play/MprisService.h"

namespace {

// Failures stop where Qt enters the program's code (ReportFailures) and are shown; Qt's event
// dispatch cannot carry them, so nothing is caught in notify. What failed has stopped itself by
// then: a recording or a playback ends on its own failures only, so a window's failure (a
// dialog's, the tag window's) changes nothing else.
void ShowFailures(Tfm_main& fm_main) {
    SetFailureHandler([&fm_main](std::exception_ptr failure) {
        fm_main.ShowMessage(ErrorMessage(failure), true);
    });
}

// Skinned windows place themselves and dock to each other, which Wayland does not allow to
// clients; XWayland does. A platform the user chose is kept.
void PreferX11() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

// With no session bus named, libdbus looks in the runtime folder and then starts a bus of its
// own through dbus-launch, which Qt's accessibility bridge asks for while the windows are being
// made. Such a bus would be the program's alone, reached by neither media keys nor a screen
// reader, so only the runtime folder's bus is asked for.
void NoPrivateSessionBus() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || runtime.isEmpty())
        return;
    // A D-Bus address leaves only letters, digits and -_/.\* unescaped.
    const QByteArray address =
        "unix:path=" + QUrl::toPercentEncoding(QFile::decodeName(runtime + "/bus"), "/\\*", "~");
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
}

// A second copy without files just ends; with files it hands them to the running copy.
int HandOver(int argc, char** argv, const QString& folder, const QStringList& files) {
    if (files.isEmpty())
        return 0;
    const QCoreApplication app(argc, argv);
    if (FileHandover::Send(folder, files))
        return 0;
    std::fprintf(stderr, "sonvara: Sonvara is running but did not take the files.\n");
    return 1;
}

// Without it the program still runs; files from a second copy then cannot reach it.
std::unique_ptr<FileHandover> ListenForFiles(const QString& folder, Tfm_main& fm_main) {
    try {
        auto handover = std::make_unique<FileHandover>(folder);
        QObject::connect(handover.get(), &FileHandover::FilesReceived, &fm_main,
                         Reporting(&fm_main, &Tfm_main::AddFilesFromOutside));
        return handover;
    } catch (const SonvaraError& error) {
        std::fprintf(stderr, "sonvara: %s\n", qUtf8Printable(error.message()));
        return nullptr;
    }
}

// Started from a menu, nobody reads stderr: on a display the user also sees why.
int RefuseToStart(int argc, char** argv, const QString& message) {
    std::fprintf(stderr, "sonvara: %s\n", qUtf8Printable(message));
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return 1;
    PreferX11();
    const QApplication app(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("Sonvara V1.02"), message);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit makes a write fail, which ends a recording with its file finished,
    // instead of killing the program halfway through a frame.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const QStringList files = FileHandover::FilesFromArguments(arguments);
    QString folder;
    try {
        folder = SingleInstance::DefaultFolder();
    } catch (const SonvaraError& error) {
        return RefuseToStart(argc, argv, error.message());
    }
    SingleInstance instance(folder);
    if (!instance.TryAcquire())
        return HandOver(argc, argv, folder, files);
    PreferX11();
    NoPrivateSessionBus();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Sonvara"));
    app.setApplicationDisplayName(QStringLiteral("Sonvara V1.02"));
    app.setQuitOnLastWindowClosed(false);
    app.setDesktopFileName(QStringLiteral("io.sonvara.Sonvara"));
    app.setWindowIcon(QIcon(QStringLiteral(":/sonvara/io.sonvara.Sonvara.svg")));

    ProgramCore core;
    Program program(core);
    const QString skinFile = QDir(ProgramFolders::DataFolder())
                                 .filePath(QString::fromLatin1(ProgramFolders::kSkinFileName));
    ProgramWindows windows(core, program, skinFile);
    Tfm_main& fm_main = windows.fm_main;
#ifdef SONVARA_TEST_PROBE
    // Only the end-to-end tests ask for it.
    const auto probe = TestProbe::StartFromEnvironment();
#endif
    ShowFailures(fm_main);
    const std::unique_ptr<FileHandover> handover = ListenForFiles(folder, fm_main);
    // The desktop's media keys and player widgets; without a session bus the program runs
    // without them and says so once.
    // A reader of its own: the tag editor's holds the file being edited.
    TagLibAudioInformation2 mprisTags;
    MprisService mpris(
        program,
        MprisService::Hooks{[&] { fm_main.BringToFront(); },
                            [&](const QString& message) { program.PlaybackFailed(message); }},
        &mprisTags);
    InterruptNotifier interrupt;
    QObject::connect(&interrupt, &InterruptNotifier::Interrupted, [&] { windows.EndOnSignal(); });
    fm_main.show();
    // A box of the start-up holds the first showing; a signal that came meanwhile closed it.
    if (windows.Ended())
        return 0;
    // Neither holds up the windows' first paint: registering waits for the session bus, and
    // the schedule's passes read the settings.
    AfterFirstPaint::Run({&fm_main, &windows.fm_list}, &fm_main, [&] {
        try {
            mpris.Register(QDBusConnection::sessionBus());
        } catch (const SonvaraError& error) {
            std::fprintf(stderr, "Sonvara: %s\n", qPrintable(error.message()));
        }
        program.StartSchedule();
    });
    if (!files.isEmpty())
        QTimer::singleShot(0, &fm_main,
                           Reporting([&fm_main, files] { fm_main.AddFilesFromOutside(files); }));
    return app.exec();
}
