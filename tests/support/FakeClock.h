#pragma once

#include <utility>

#include "components/Clock.h"

// A clock that shows what the test set, and moves only when the test moves it.
struct FakeClock : Clock {
    FakeClock() = default;
    explicit FakeClock(QDateTime at) : now(std::move(at)) {}
    QDateTime Now() const override { return now; }

    QDateTime now;
};
