#pragma once

#include "config/Activity.h"

// What else runs in the program, as a test sets it.
struct FakeActivity : Activity {
    bool recording = false;
    bool playing = false;
    bool joining = false;
    bool Recording() const override { return recording; }
    bool Playing() const override { return playing; }
    bool Joining() const override { return joining; }
};
