#pragma once

#include <QString>
#include "record/LazyBus.h"

// Keeps the machine awake while a recording runs or is about to. Acquire and Release pair up;
// acquiring twice holds one lock, releasing what was never acquired does nothing. Never throws.
class SleepInhibitor {
public:
    virtual ~SleepInhibitor() = default;
    virtual void Acquire(const QString& why) = 0;
    virtual void Release() = 0;
    virtual bool IsHeld() const = 0;
};

// Takes a block lock from systemd-logind on what it is given: "sleep" refuses suspend, the
// user's own too; "idle" holds off only the suspend that comes of the machine being left alone. The
// lock lasts as long as the file descriptor logind hands back stays open. Without a bus or logind
// it holds nothing and goes on.
class LogindSleepInhibitor : public SleepInhibitor {
public:
    explicit LogindSleepInhibitor(LazyBus bus = LazyBus(&QDBusConnection::systemBus),
                                  QString what = QStringLiteral("sleep"));
    ~LogindSleepInhibitor() override;
    LogindSleepInhibitor(const LogindSleepInhibitor&) = delete;
    LogindSleepInhibitor& operator=(const LogindSleepInhibitor&) = delete;

    void Acquire(const QString& why) override;
    void Release() override;
    bool IsHeld() const override { return fd_ >= 0; }

private:
    LazyBus bus_;
    QString what_;
    int fd_ = -1;
};
