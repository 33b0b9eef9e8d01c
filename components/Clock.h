#pragma once

#include <QDateTime>

// The local wall clock, behind an interface so that tests can fix the time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const = 0;
    // Whole seconds since 1970 UTC; asked for every event while a schedule runs, so the system
    // clock answers it without working out the local time.
    virtual qint64 SecondsSinceEpoch() const { return Now().toSecsSinceEpoch(); }
};

class SystemClock : public Clock {
public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
    qint64 SecondsSinceEpoch() const override { return QDateTime::currentSecsSinceEpoch(); }
};
