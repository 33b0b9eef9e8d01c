#pragma once

#include <QPoint>
#include <QRect>

// What the docking of the skinned windows asks of the window system.

// A top-level window's outer rectangle in screen coordinates.
class WindowFrame {
public:
    virtual ~WindowFrame() = default;
    virtual QRect Geometry() const = 0;
    virtual void Move(QPoint topLeft) = 0;
};

// The mouse as the system sees it now, not as the last event reported it: a release outside
// both windows must still end a drag.
class MouseButtons {
public:
    virtual ~MouseButtons() = default;
    virtual bool LeftDown() const = 0;
};
