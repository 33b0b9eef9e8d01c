#pragma once

// What runs in the program now, as its controllers tell it: a controller asks before it starts
// what must not overlap with it. Each answer covers a paused recording or playback too.
class Activity {
public:
    virtual ~Activity() = default;
    virtual bool Recording() const = 0;
    virtual bool Playing() const = 0;
    // A join runs and has not been asked to stop.
    virtual bool Joining() const = 0;
};
