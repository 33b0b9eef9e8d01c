#pragma once

// The built program as a user meets it: a private X display (Xvfb), a private sound server,
// fresh home, settings and runtime folders, and the program started there with its test probe.
// Input goes through the X server (xdotool), so a window a modal dialog blocks ignores it as it
// would for a user. Whatever cannot be found or done in time throws, which fails the test.

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "support/PrivatePulseServer.h"
#include "support/PrivateSessionBus.h"
#include "support/Wait.h"

using namespace std::chrono_literals;

// A skinned window: its title and its form in skin.json.
struct SkinWindow {
    QString title;
    QString form;
};
extern const SkinWindow kMainWindow;
extern const SkinWindow kListWindow;
// The sound server's default source while the program runs: silence at a sound card's pace.
extern const QString kClockedSource;

// Where a window or control is on the screen, as the probe reports it.
struct Placed {
    QRect rect;
    bool visible = false;
    bool enabled = false;
    bool minimized = false;  // windows only
};

// WaitFor at a pace the program under test hardly feels: every question goes to its probe.
inline bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    return WaitFor(done, static_cast<int>(limit.count()), 25);
}

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Folders made here before Start() are there when the program starts.
    QString Home() const { return Path("home"); }
    QString ConfigHome() const { return Path("config"); }
    // Runs the program through this command (e.g. prlimit with its options); before Start().
    void SetLauncher(QStringList launcher) { launcher_ = std::move(launcher); }
    // Gives the program a session bus of its own, as a desktop would; before Start(). Without
    // one the program sees no session bus.
    void UseSessionBus();
    QString SessionBusAddress() const { return bus_ ? bus_->Address() : QString(); }
    // Starts the display, the sound server and the program, and waits for its windows.
    void Start();

    const PrivatePulseServer& Pulse() const { return *pulse_; }
    // As a crash would; the restarted server has the same sources under new numbers.
    void KillSoundServer();
    void RestartSoundServer();
    QProcessEnvironment ProgramEnvironment() const;
    const QProcess& Program() const { return program_; }
    // Sends the program a signal (SIGTERM as a logout would) and waits for it to end; true
    // when it ended in time and with exit code 0.
    bool SignalAndWaitForExit(int signal, std::chrono::milliseconds limit = 20s);

    // One probe request (fields as TestProbe takes them); a null string when nobody answers.
    QString Ask(const QStringList& request) const;
    std::optional<Placed> Window(const QString& title) const;
    std::optional<Placed> Widget(const QString& title, const QString& name) const;
    std::optional<QRect> Item(const QString& title, const QString& view, const QString& text) const;
    QString Text(const QString& title, const QString& name) const;
    // The window is there and visible.
    bool Shown(const QString& title) const;
    // How many windows of that title are shown (message boxes share the main window's).
    int Count(const QString& title) const;

    void WaitForWindow(const QString& title, bool visible = true) const;
    void WaitForWidget(const QString& title, const QString& name, bool visible = true) const;
    void WaitForFocus(const QString& title, const QString& name) const;

    // Each waits for its target to be shown (and enabled) first. button: 1 left, 2 middle.
    void ClickSkin(const SkinWindow& window, const QString& element);
    void ClickWidget(const QString& title, const QString& name, int button = 1);
    void ClickWidgetAt(const QString& title, const QString& name, double fractionX, int button);
    void ClickItem(const QString& title, const QString& view, const QString& text, int count = 1);
    void ClickAt(QPoint point, int button = 1, int count = 1);
    void Drag(QPoint from, QPoint to);
    // xdotool key names, e.g. "Home", "ctrl+a"; sent to the window with the keyboard.
    void Key(const QString& keys);
    void Type(const QString& text);

    // What the program asked the desktop to open (xdg-open's arguments), in order.
    QStringList OpenedOnTheDesktop() const;

    // Prints the program's output and saves a screenshot of the display into the build folder.
    void Report(const QString& name) const;

private:
    QString Path(const char* name) const;
    void StartDisplay();
    void StartProgram();
    void AddClockedSource();
    void MakeDesktopOpener() const;
    QString RunTool(const QString& tool, const QStringList& arguments) const;

    QTemporaryDir root_;
    QString display_;
    QProcess xvfb_;
    std::unique_ptr<PrivatePulseServer> pulse_;
    std::unique_ptr<PrivateSessionBus> bus_;
    QProcess program_;
    QStringList launcher_;
};
