#pragma once

// A dbus-daemon of the test's own, so that stand-ins for system services (logind, the
// notification service) answer without the machine's buses ever being asked.

#include <QProcess>
#include <QStandardPaths>
#include <QString>

class PrivateBus {
public:
    // Empty Address() when dbus-daemon is missing or does not start.
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        daemon_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address"),
                               QStringLiteral("--address=unix:tmpdir=/tmp")});
        if (!daemon_.waitForStarted(5000))
            return;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& Address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};
