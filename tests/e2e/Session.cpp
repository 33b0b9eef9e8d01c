#include "e2e/Session.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStandardPaths>
#include <cstdio>
#include <stdexcept>

const SkinWindow kMainWindow{QStringLiteral("Sonvara V1.02"), QStringLiteral("kelvox")};
const SkinWindow kListWindow{QStringLiteral("List"), QStringLiteral("listwin")};
const QString kClockedSource = QStringLiteral("sonvara_clocked");

namespace {

[[noreturn]] void Fail(const QString& why) {
    throw std::runtime_error(why.toStdString());
}

QString Quoted(const QStringList& fields) {
    return u'"' + fields.join(QStringLiteral("\" \"")) + u'"';
}

// A test that crashes must not leave the display or the program behind.
void DieWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

QRect SkinElementRect(const QString& form, const QString& element) {
    QFile file(QStringLiteral(SONVARA_SKIN_DESCRIPTION));
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot read %1").arg(file.fileName()));
    const QJsonObject forms = QJsonDocument::fromJson(file.readAll())[u"forms"].toObject();
    for (const QJsonValue& item : forms[form][u"elements"].toArray()) {
        const QJsonArray rect = item[u"rect"].toArray();
        if (item[u"name"].toString() == element && rect.size() == 4)
            return QRect(rect[0].toInt(), rect[1].toInt(), rect[2].toInt(), rect[3].toInt());
    }
    Fail(QStringLiteral("the skin has no element \"%1\" in form \"%2\"").arg(element, form));
}

// "x y w h ..." as the probe answers; "none" and a missing answer are nothing.
std::optional<QRect> ParseRect(const QStringList& fields) {
    if (fields.size() < 4)
        return std::nullopt;
    return QRect(fields[0].toInt(), fields[1].toInt(), fields[2].toInt(), fields[3].toInt());
}

std::optional<Placed> ParsePlaced(const QString& answer) {
    const QStringList fields = answer.split(u' ');
    const auto rect = ParseRect(fields);
    if (!rect || fields.size() < 5)
        return std::nullopt;
    return Placed{*rect, fields[4] == u"1", fields.value(5) == u"1", fields.value(6) == u"1"};
}

}  // namespace

Session::Session() : root_(QDir::tempPath() + QStringLiteral("/sonvara-e2e-XXXXXX")) {
    for (const char* name : {"home", "config", "runtime"})
        QDir(root_.path()).mkpath(QString::fromLatin1(name));
    QFile::setPermissions(Path("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

Session::~Session() {
    StopProcess(program_);
    pulse_.reset();
    bus_.reset();
    StopProcess(xvfb_);
}

QString Session::Path(const char* name) const {
    return QDir(root_.path()).filePath(QString::fromLatin1(name));
}

void Session::UseSessionBus() {
    bus_ = std::make_unique<PrivateSessionBus>();
    if (!bus_->IsRunning())
        Fail(bus_->ErrorText());
}

void Session::Start() {
    StartDisplay();
    pulse_ = std::make_unique<PrivatePulseServer>();
    if (!pulse_->IsRunning())
        Fail(pulse_->ErrorText());
    AddClockedSource();
    MakeDesktopOpener();
    StartProgram();
}

// The sine source renders two seconds ahead and hands a new recording about a second of sound
// at once; a null source is clocked as a sound card is, so a recording lasts as long as the
// user records.
void Session::AddClockedSource() {
    pulse_->Pactl({"load-module", "module-null-source", "source_name=" + kClockedSource,
                   "description=Clocked"});
    pulse_->Pactl({"set-default-source", kClockedSource});
}

void Session::KillSoundServer() {
    pulse_->Kill();
}

void Session::RestartSoundServer() {
    if (!pulse_->Restart())
        Fail(QStringLiteral("the sound server did not start again: ") + pulse_->ErrorText());
    AddClockedSource();
}

// Xvfb picks a free display itself and writes its number to the descriptor -displayfd names.
void Session::StartDisplay() {
    xvfb_.setStandardErrorFile(Path("xvfb.log"));
    xvfb_.setChildProcessModifier(DieWithParent);
    xvfb_.start(QStringLiteral("Xvfb"),
                {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    QElapsedTimer clock;
    clock.start();
    while (!xvfb_.canReadLine() && xvfb_.state() != QProcess::NotRunning && clock.elapsed() < 20000)
        xvfb_.waitForReadyRead(500);
    if (!xvfb_.canReadLine()) {
        QFile log(Path("xvfb.log"));
        log.open(QIODevice::ReadOnly);
        Fail(QStringLiteral("Xvfb did not start (%1): %2")
                 .arg(xvfb_.errorString(), QString::fromLocal8Bit(log.readAll())));
    }
    display_ = u':' + QString::fromLatin1(xvfb_.readLine()).trimmed();
}

bool Session::SignalAndWaitForExit(int signal, std::chrono::milliseconds limit) {
    if (program_.state() != QProcess::Running || ::kill(program_.processId(), signal) != 0)
        return false;
    return program_.waitForFinished(static_cast<int>(limit.count())) &&
           program_.exitStatus() == QProcess::NormalExit && program_.exitCode() == 0;
}

QProcessEnvironment Session::ProgramEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Nothing of the machine's own session: no desktop, bus or session manager.
    for (const char* name : {"WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER",
                             "XAUTHORITY", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), Home());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigHome());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path("runtime"));
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // PrivatePulseServer has set this process's PULSE_COOKIE to its own.
    if (pulse_)
        env.insert(QStringLiteral("PULSE_SERVER"), pulse_->Address());
    if (bus_)
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_->Address());
    env.insert(QStringLiteral("SONVARA_TEST_PROBE"), Path("probe"));
    // The desktop's opener only notes what it was asked to show.
    env.insert(QStringLiteral("PATH"), Path("bin") + u':' + env.value(QStringLiteral("PATH")));
    return env;
}

void Session::MakeDesktopOpener() const {
    QDir().mkpath(Path("bin"));
    QFile opener(Path("bin/xdg-open"));
    opener.open(QIODevice::WriteOnly);
    opener.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(Path("opened")) +
                 "'\n");
    opener.close();
    opener.setPermissions(opener.permissions() | QFile::ExeOwner);
}

QStringList Session::OpenedOnTheDesktop() const {
    QFile opened(Path("opened"));
    if (!opened.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(opened.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

void Session::StartProgram() {
    program_.setProcessEnvironment(ProgramEnvironment());
    program_.setProcessChannelMode(QProcess::MergedChannels);
    // A file, not a pipe: nobody reads a pipe while the test waits, and a full one would block
    // the program.
    program_.setStandardOutputFile(Path("program.log"));
    program_.setChildProcessModifier(DieWithParent);
    if (launcher_.isEmpty())
        program_.start(QStringLiteral(SONVARA_PROGRAM), {});
    else
        program_.start(launcher_[0], launcher_.mid(1) + QStringList{SONVARA_PROGRAM});
    if (!program_.waitForStarted(10000))
        Fail(QStringLiteral("the program did not start: ") + program_.errorString());
    // Start-up ends with the list window shown beside the main window.
    if (!Eventually([&] { return Shown(kListWindow.title); }, 30s))
        Fail(QStringLiteral("the program's windows did not appear"));
}

QString Session::Ask(const QStringList& request) const {
    QLocalSocket socket;
    socket.connectToServer(Path("probe"));
    if (!socket.waitForConnected(2000))
        return {};
    socket.write(request.join(u'\t').toUtf8() + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine() && clock.elapsed() < 10000) {
        if (!socket.waitForReadyRead(1000) && socket.state() != QLocalSocket::ConnectedState)
            return {};
    }
    if (!socket.canReadLine())
        return {};
    // The probe writes line breaks as \n and backslashes doubled.
    const QString line = QString::fromUtf8(socket.readLine()).chopped(1);
    QString answer;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'\\' && i + 1 < line.size())
            answer += line[++i] == u'n' ? QChar(u'\n') : line[i];
        else
            answer += line[i];
    }
    return answer;
}

std::optional<Placed> Session::Window(const QString& title) const {
    return ParsePlaced(Ask({QStringLiteral("window"), title}));
}

std::optional<Placed> Session::Widget(const QString& title, const QString& name) const {
    return ParsePlaced(Ask({QStringLiteral("widget"), title, name}));
}

std::optional<QRect> Session::Item(const QString& title, const QString& view,
                                   const QString& text) const {
    return ParseRect(Ask({QStringLiteral("item"), title, view, text}).split(u' '));
}

QString Session::Text(const QString& title, const QString& name) const {
    return Ask({QStringLiteral("text"), title, name});
}

bool Session::Shown(const QString& title) const {
    const auto window = Window(title);
    return window && window->visible;
}

int Session::Count(const QString& title) const {
    return Ask({QStringLiteral("count"), title}).toInt();
}

void Session::WaitForWindow(const QString& title, bool visible) const {
    if (!Eventually([&] { return Shown(title) == visible; }))
        Fail(QStringLiteral("window \"%1\" did not %2").arg(title, visible ? "appear" : "go"));
}

void Session::WaitForWidget(const QString& title, const QString& name, bool visible) const {
    if (!Eventually([&] {
            const auto widget = Widget(title, name);
            return visible ? widget && widget->visible && widget->enabled
                           : !widget || !widget->visible;
        }))
        Fail(QStringLiteral("%1 in \"%2\" did not %3")
                 .arg(name, title, visible ? "become usable" : "go"));
}

void Session::WaitForFocus(const QString& title, const QString& name) const {
    const QString expected = title + u'\t' + name;
    if (!Eventually([&] { return Ask({QStringLiteral("focus")}) == expected; }))
        Fail(QStringLiteral("%1 in \"%2\" did not take the keyboard (it is with %3)")
                 .arg(name, title, Ask({QStringLiteral("focus")}).replace(u'\t', u' ')));
}

void Session::ClickSkin(const SkinWindow& window, const QString& element) {
    const QRect place = SkinElementRect(window.form, element);
    WaitForWindow(window.title);
    ClickAt(Window(window.title)->rect.topLeft() + place.center());
}

void Session::ClickWidget(const QString& title, const QString& name, int button) {
    ClickWidgetAt(title, name, 0.5, button);
}

void Session::ClickWidgetAt(const QString& title, const QString& name, double fractionX,
                            int button) {
    WaitForWidget(title, name);
    const QRect rect = Widget(title, name)->rect;
    ClickAt(QPoint(rect.left() + qRound(fractionX * (rect.width() - 1)), rect.center().y()),
            button);
}

void Session::ClickItem(const QString& title, const QString& view, const QString& text, int count) {
    std::optional<QRect> item;
    if (!Eventually([&] { return (item = Item(title, view, text)).has_value(); }))
        Fail(QStringLiteral("no item \"%1\" shown in %2 of \"%3\"").arg(text, view, title));
    ClickAt(item->center(), 1, count);
}

// "mousemove --sync" waits for the pointer to move, which it never does when it is there
// already (a second click on the same button): it first steps aside, unsynced.
void Session::ClickAt(QPoint point, int button, int count) {
    RunTool(QStringLiteral("xdotool"),
            {"mousemove", QString::number(point.x() + 1), QString::number(point.y()), "mousemove",
             "--sync", QString::number(point.x()), QString::number(point.y()), "click", "--repeat",
             QString::number(count), "--delay", "80", QString::number(button)});
}

void Session::Drag(QPoint from, QPoint to) {
    RunTool(
        QStringLiteral("xdotool"),
        {"mousemove", QString::number(from.x() + 1), QString::number(from.y()), "mousemove",
         "--sync", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
         "mousemove", "--sync", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
}

void Session::Key(const QString& keys) {
    RunTool(QStringLiteral("xdotool"), {"key", keys});
}

void Session::Type(const QString& text) {
    RunTool(QStringLiteral("xdotool"), {"type", "--delay", "30", text});
}

QString Session::RunTool(const QString& tool, const QStringList& arguments) const {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    process.setProcessEnvironment(env);
    process.start(tool, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        Fail(QStringLiteral("%1 %2 failed: %3%4")
                 .arg(tool, Quoted(arguments), process.errorString(),
                      QString::fromLocal8Bit(process.readAllStandardError())));
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

void Session::Report(const QString& name) const {
    QFile log(Path("program.log"));
    log.open(QIODevice::ReadOnly);
    const QString state = program_.state() == QProcess::Running
                              ? QStringLiteral("still running")
                              : QStringLiteral("ended, status %1").arg(program_.exitCode());
    std::fprintf(stderr, "--- program output (%s) ---\n%s\n---\n", qPrintable(state),
                 log.readAll().constData());
    if (display_.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
        return;
    const QString picture = QStringLiteral(SONVARA_E2E_ARTIFACTS "/e2e-%1.png").arg(name);
    try {
        RunTool(QStringLiteral("import"), {"-window", "root", picture});
        std::fprintf(stderr, "screenshot: %s\n", qPrintable(picture));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "no screenshot: %s\n", error.what());
    }
}
