// The program's entry: one copy per user session, the windows created once, the event loop.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <csignal>

#include "app/ProgramWindows.h"
#include "app/SingleInstance.h"
#include "app/TestProbe.h"
#include "components/InterruptNotifier.h"
#include "components/PulseContext.h"
#include "components/SonvaraError.h"
#include "config/AppState.h"

namespace {

// Every exception that escapes an event handler ends up here and goes to the error handler,
// so the program goes on instead of ending.
class SonvaraApplication : public QApplication {
public:
    using QApplication::QApplication;

    void SetErrorHandler(std::function<void(const QString&)> handler) {
        handler_ = std::move(handler);
    }

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const SonvaraError& error) {
            Report(error.message());
        } catch (const std::exception& error) {
            Report(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            Report(QStringLiteral("An unexpected error occurred."));
        }
        return false;
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

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit makes a write fail, which ends a recording with its file finished,
    // instead of killing the program halfway through a frame.
    std::signal(SIGXFSZ, SIG_IGN);
    SingleInstance instance(SingleInstance::DefaultFolder());
    if (!instance.TryAcquire())
        return 0;
    PreferX11();
    SonvaraApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Sonvara"));
    app.setApplicationDisplayName(QStringLiteral("Sonvara V1.02"));
    app.setQuitOnLastWindowClosed(false);

    AppState state;
    PulseContext pulse;
    const QString skinFile = QCoreApplication::applicationDirPath() + QStringLiteral("/mp3enc.dll");
    ProgramWindows windows(state, pulse, skinFile);
    Tfm_main& fm_main = windows.fm_main;
    // Only the end-to-end tests ask for it.
    const auto probe = TestProbe::StartFromEnvironment();
    app.SetErrorHandler([&](const QString& message) { fm_main.HandleError(message); });
    InterruptNotifier interrupt;
    QObject::connect(&interrupt, &InterruptNotifier::Interrupted, [&] { windows.EndOnSignal(); });
    fm_main.show();
    windows.Schedule().Start();
    return app.exec();
}
