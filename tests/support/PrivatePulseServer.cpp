#include "support/PrivatePulseServer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <cstring>

namespace {

bool SocketAccepts(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.size() >= static_cast<int>(sizeof(address.sun_path))) {
        return false;
    }
    std::memcpy(address.sun_path, native.constData(), native.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool accepted =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return accepted;
}

}  // namespace

PrivatePulseServer::PrivatePulseServer() {
    hadServer_ = qEnvironmentVariableIsSet("PULSE_SERVER");
    oldServer_ = qgetenv("PULSE_SERVER");
    hadCookie_ = qEnvironmentVariableIsSet("PULSE_COOKIE");
    oldCookie_ = qgetenv("PULSE_COOKIE");
    if (!Start(false)) {
        ADD_FAILURE() << error_.toStdString();
        Kill();
    }
}

PrivatePulseServer::~PrivatePulseServer() {
    Kill();
    if (hadServer_) {
        qputenv("PULSE_SERVER", oldServer_);
    } else {
        qunsetenv("PULSE_SERVER");
    }
    if (hadCookie_) {
        qputenv("PULSE_COOKIE", oldCookie_);
    } else {
        qunsetenv("PULSE_COOKIE");
    }
}

bool PrivatePulseServer::Start(bool restart) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (program.isEmpty()) {
        error_ = QStringLiteral(
            "pulseaudio is not installed; the sound tests run against a private PulseAudio "
            "server (apt-get install pulseaudio).");
        return false;
    }
    if (!dir_) {
        dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                               QStringLiteral("/sonvara-pa-XXXXXX"));
    }
    if (!dir_->isValid()) {
        error_ = QStringLiteral("Could not create a folder for the test sound server: %1")
                     .arg(dir_->errorString());
        return false;
    }
    const QDir root(dir_->path());
    for (const char* sub : {"runtime", "state", "home"}) {
        root.mkpath(QString::fromLatin1(sub));
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), root.filePath("runtime"));
    environment.insert(QStringLiteral("PULSE_STATE_PATH"), root.filePath("state"));
    environment.insert(QStringLiteral("HOME"), root.filePath("home"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath("home/.config"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath("runtime"));
    // Keep it off the session: no desktop, no bus, no other server's address.
    for (const char* name : {"PULSE_SERVER", "PULSE_COOKIE", "DISPLAY", "WAYLAND_DISPLAY",
                             "DBUS_SESSION_BUS_ADDRESS"}) {
        environment.remove(QString::fromLatin1(name));
    }

    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(environment);
    process_->setProcessChannelMode(QProcess::MergedChannels);
    // A test that crashes must not leave its server behind.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    const QString socket = root.filePath("native");
    const QStringList arguments{
        QStringLiteral("-n"),
        QStringLiteral("--daemonize=no"),
        QStringLiteral("--exit-idle-time=-1"),
        QStringLiteral("--use-pid-file=no"),
        QStringLiteral("-L"),
        QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket)};
    QStringList sources{
        QStringLiteral("-L"),
        QStringLiteral("module-null-sink sink_name=%1 sink_properties=device.description=Null")
            .arg(NullSink()),
        QStringLiteral("-L"),
        QStringLiteral("module-sine-source source_name=%1 frequency=440").arg(SineSource())};
    if (restart) {  // sources numbered anew, as after a real restart
        std::rotate(sources.begin(), sources.begin() + 2, sources.end());
    }
    process_->start(program, arguments + sources);
    if (!process_->waitForStarted(5000)) {
        error_ = QStringLiteral("pulseaudio could not be started: %1").arg(process_->errorString());
        return false;
    }

    QElapsedTimer clock;
    clock.start();
    while (!SocketAccepts(socket)) {
        if (process_->state() != QProcess::Running || clock.elapsed() > 10000) {
            process_->waitForFinished(100);
            error_ = QStringLiteral("The test sound server did not come up. Its output:\n%1")
                         .arg(QString::fromLocal8Bit(process_->readAll()));
            return false;
        }
        QThread::msleep(10);
    }
    if (!restart) {
        // Not again at a restart: libpulse reads the environment on its own thread, where a
        // PulseContext may be trying to connect meanwhile.
        qputenv("PULSE_SERVER", Address().toLocal8Bit());
        // libpulse would otherwise read (or create) a cookie in the user's home.
        qputenv("PULSE_COOKIE", QFile::encodeName(root.filePath("cookie")));
    }
    return true;
}

bool PrivatePulseServer::IsRunning() const {
    return process_ && process_->state() == QProcess::Running;
}

void PrivatePulseServer::Kill() {
    if (process_)
        StopProcess(*process_, Ending::Crash);
}

bool PrivatePulseServer::Restart() {
    Kill();
    error_.clear();
    if (!Start(true)) {
        ADD_FAILURE() << error_.toStdString();
        return false;
    }
    return true;
}

void PrivatePulseServer::Pause() {
    if (IsRunning()) {
        ::kill(static_cast<pid_t>(process_->processId()), SIGSTOP);
    }
}

void PrivatePulseServer::Resume() {
    if (IsRunning()) {
        ::kill(static_cast<pid_t>(process_->processId()), SIGCONT);
    }
}

QString PrivatePulseServer::Address() const {
    return dir_ ? QStringLiteral("unix:") + QDir(dir_->path()).filePath("native") : QString();
}

QString PrivatePulseServer::Pactl(const QStringList& arguments) const {
    QProcess pactl;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), Address());
    if (dir_) {
        environment.insert(QStringLiteral("PULSE_COOKIE"), QDir(dir_->path()).filePath("cookie"));
    }
    pactl.setProcessEnvironment(environment);
    pactl.start(QStringLiteral("pactl"), arguments);
    if (!pactl.waitForFinished(10000) || pactl.exitStatus() != QProcess::NormalExit ||
        pactl.exitCode() != 0) {
        ADD_FAILURE() << "pactl " << arguments.join(QLatin1Char(' ')).toStdString()
                      << " failed: " << pactl.readAllStandardError().toStdString();
        return QString();
    }
    return QString::fromUtf8(pactl.readAllStandardOutput());
}
