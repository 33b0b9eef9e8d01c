#include "support/PrivateSessionBus.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QElapsedTimer>
#include <QStandardPaths>

#include "support/Wait.h"

PrivateSessionBus::PrivateSessionBus() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        error_ = QStringLiteral("dbus-daemon is not installed (scripts/setup installs it)");
        return;
    }
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    daemon_.start(daemon,
                  {"--session", "--nofork", "--print-address", "--address=unix:tmpdir=/tmp"});
    QElapsedTimer clock;
    clock.start();
    while (!daemon_.canReadLine() && daemon_.state() != QProcess::NotRunning &&
           clock.elapsed() < 10000)
        daemon_.waitForReadyRead(500);
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty())
        error_ =
            QStringLiteral("dbus-daemon did not start: %1 %2")
                .arg(daemon_.errorString(), QString::fromLocal8Bit(daemon_.readAllStandardError()));
}

PrivateSessionBus::~PrivateSessionBus() {
    StopProcess(daemon_);
}
