#pragma once

#include <QString>
#include "record/LazyBus.h"

// Keeps the machine awake while a recording runs. Acquire and Release pair up; acquiring twice
// holds one lock, releasing what was never acquired does nothing. Never throws.
class SleepInhibitor {
public:
    virtual ~SleepInhibitor() = default;
    virtual void Acquire(const QString& why) = 0;
    virtual void Release() = 0;
    virtual bool IsHeld() const = 0;
};

// Takes a "sleep" block lock from systemd-logind; the lock lasts as long as the file descriptor
// logind hands back stays open. Without a bus or logind it holds nothing and goes on.
class LogindSleepInhibitor : public SleepInhibitor {
public:
    explicit LogindSleepInhibitor(LazyBus bus = LazyBus(&QDBusConnection::systemBus));
    ~LogindSleepInhibitor() override;
    LogindSleepInhibitor(const LogindSleepInhibitor&) = delete;
    LogindSleepInhibitor& operator=(const LogindSleepInhibitor&) = delete;

    void Acquire(const QString& why) override;
    void Release() override;
    bool IsHeld() const override { return fd_ >= 0; }

private:
    LazyBus bus_;
    int fd_ = -1;
};
