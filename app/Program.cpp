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
#include <optional>

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

// Failures stop where Qt enters the program's code (ReportFailures) and go to the error
// handler; Qt's event dispatch cannot carry them, so nothing is caught in notify.
class SonvaraApplication : public QApplication {
public:
    using QApplication::QApplication;

    void SetErrorHandler(std::function<void(const QString&)> handler) {
        handler_ = std::move(handler);
        SetFailureHandler([this](std::exception_ptr failure) { Report(ErrorMessage(failure)); });
    }

private:
    void Report(const QString& message) {
        // The handler's message box runs a nested event loop; an error raised while it is
        // open is shown plainly instead of being handled a second time.
        if (reporting_ || !handler_) {
            QMessageBox::information(nullptr, applicationDisplayName(), message);
            return;
        }
        reporting_ = true;
        handler_(message);
        reporting_ = false;
    }

    std::function<void(const QString&)> handler_;
    bool reporting_ = false;
};

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
    SonvaraApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Sonvara"));
    app.setApplicationDisplayName(QStringLiteral("Sonvara V1.02"));
    app.setQuitOnLastWindowClosed(false);
    app.setDesktopFileName(QStringLiteral("io.sonvara.Sonvara"));
    app.setWindowIcon(QIcon(QStringLiteral(":/sonvara/io.sonvara.Sonvara.svg")));

    ProgramCore core;
    const QString skinFile = QDir(ProgramFolders::DataFolder())
                                 .filePath(QString::fromLatin1(ProgramFolders::kSkinFileName));
    ProgramWindows windows(core, skinFile);
    Tfm_main& fm_main = windows.fm_main;
#ifdef SONVARA_TEST_PROBE
    // Only the end-to-end tests ask for it.
    const auto probe = TestProbe::StartFromEnvironment();
#endif
    app.SetErrorHandler([&](const QString& message) { fm_main.HandleError(message); });
    const std::unique_ptr<FileHandover> handover = ListenForFiles(folder, fm_main);
    // The desktop's media keys and player widgets; without a session bus the program runs
    // without them and says so once.
    // A reader of its own: the tag editor's holds the file being edited.
    TagLibAudioInformation2 mprisTags;
    std::optional<MprisService> mpris;
    if (PlaybackOperations* playback = fm_main.Playback()) {
        mpris.emplace(
            *playback,
            MprisService::Hooks{[&] { fm_main.BringToFront(); },
                                [&](const QString& message) { fm_main.HandleError(message); }},
            &mprisTags);
    }
    InterruptNotifier interrupt;
    QObject::connect(&interrupt, &InterruptNotifier::Interrupted, [&] { windows.EndOnSignal(); });
    fm_main.show();
    // A box of the start-up holds the first showing; a signal that came meanwhile closed it.
    if (windows.Ended())
        return 0;
    // Neither holds up the windows' first paint: registering waits for the session bus, and
    // the schedule's passes read the settings.
    AfterFirstPaint::Run({&fm_main, &windows.fm_list}, &fm_main, [&] {
        if (mpris) {
            try {
                mpris->Register(QDBusConnection::sessionBus());
            } catch (const SonvaraError& error) {
                std::fprintf(stderr, "Sonvara: %s\n", qPrintable(error.message()));
            }
        }
        windows.Schedule().Start();
    });
    if (!files.isEmpty())
        QTimer::singleShot(0, &fm_main,
                           Reporting([&fm_main, files] { fm_main.AddFilesFromOutside(files); }));
    return app.exec();
}
