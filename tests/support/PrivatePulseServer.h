#pragma once

// A PulseAudio server of the test's own, in a temporary folder, with a 440 Hz sine source and
// a null sink. Tests that need sound create one; no test touches the user's real server.
// While it lives, PULSE_SERVER (and PULSE_COOKIE) of this process point at it, so a
// PulseContext created afterwards connects to it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "support/Wait.h"

class PrivatePulseServer {
public:
    // Starts the server and waits until it accepts connections. A failure (pulseaudio not
    // installed, server not starting) is reported as a test failure; IsRunning() is false then.
    PrivatePulseServer();
    ~PrivatePulseServer();
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    bool IsRunning() const;
    // Why the server is not running (empty while it is).
    QString ErrorText() const { return error_; }

    // Kills the server at once (SIGKILL), as a crash would; clients see the connection break.
    void Kill();
    // Starts a killed server again on the same address, as a restarted sound service. Its
    // modules load in another order, so the sources come back under other numbers.
    bool Restart();
    // Stops the server (SIGSTOP) and lets it go on (SIGCONT): a server that hangs, with its
    // connections open.
    void Pause();
    void Resume();

    // "unix:<folder>/native", as PULSE_SERVER holds it.
    QString Address() const;
    static QString SineSource() { return QStringLiteral("sonvara_sine"); }
    static QString NullSink() { return QStringLiteral("sonvara_null"); }
    static QString NullSinkMonitor() { return QStringLiteral("sonvara_null.monitor"); }

    // Runs pactl against this server; returns its standard output, or a null string (and a
    // test failure) when pactl fails.
    QString Pactl(const QStringList& arguments) const;

private:
    bool Start(bool restart);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> process_;
    QString error_;
    QByteArray oldServer_, oldCookie_;
    bool hadServer_ = false, hadCookie_ = false;
};
