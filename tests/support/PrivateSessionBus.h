#pragma once

// A D-Bus session bus of the test's own (dbus-daemon --session), so that no test reaches the
// desktop's bus. It ends with the object, and with the test process if that dies first.

#include <QProcess>
#include <QString>

class PrivateSessionBus {
public:
    // Starts the daemon and waits for its address; when dbus-daemon is missing or does not
    // start, IsRunning() is false and ErrorText() says why.
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool IsRunning() const { return !address_.isEmpty(); }
    QString ErrorText() const { return error_; }
    // As DBUS_SESSION_BUS_ADDRESS holds it.
    QString Address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
    QString error_;
};
