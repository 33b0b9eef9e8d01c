#pragma once

#include <QProcess>
#include <QStringList>
#include <memory>

#include "record/LazyBus.h"

// Powers the computer off without asking anyone: logind's PowerOff on the system bus, and
// where logind refuses or does not answer, the fallback command (systemctl poweroff -i, which
// does not wait for other programs' inhibitors either). A failure of both is one line on
// stderr; nothing is thrown.
class LogindPowerSwitch {
public:
    explicit LogindPowerSwitch(LazyBus bus = LazyBus(&QDBusConnection::systemBus),
                               QStringList fallback = {QStringLiteral("systemctl"),
                                                       QStringLiteral("poweroff"),
                                                       QStringLiteral("-i")});
    ~LogindPowerSwitch();
    LogindPowerSwitch(const LogindPowerSwitch&) = delete;
    LogindPowerSwitch& operator=(const LogindPowerSwitch&) = delete;

    // Returns at once; the fallback, when needed, starts from the event loop.
    void PowerOff();

    // How long logind has to answer.
    static constexpr int kAnswerMs = 5000;

private:
    void RunFallback(const QString& why);

    LazyBus bus_;
    QStringList fallback_;
    std::unique_ptr<QProcess> process_;
};
