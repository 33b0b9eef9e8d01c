#pragma once

#include <QPoint>
#include <QRect>

#include "app/AppState.h"

// Dragging of the main window and the join list window, and the docking of the list under the
// main window. Only positions change here; sizes never do.

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

// Windows closer than this vertically snap together.
inline constexpr int kSnapDistance = 6;

// Puts the list window directly under the main window, left edges aligned.
void PlaceListUnderMain(const WindowFrame& main, WindowFrame& list);

// The main window is dragged by its background; when its bottom edge comes within snapping
// distance of the list's top it snaps onto the list, and once docked the list moves with it.
class MainWindowDrag {
public:
    MainWindowDrag(AppState& state, WindowFrame& main, WindowFrame& list,
                   const MouseButtons& buttons);

    // Client coordinates of the main window.
    void FormMouseDown(int x, int y);
    void FormMouseMove(int x, int y);
    void FormMouseUp();

private:
    void SnapOntoList();

    AppState& state_;
    WindowFrame& main_;
    WindowFrame& list_;
    const MouseButtons& buttons_;
};

// The list window is dragged by its background. Coming within snapping distance of the main
// window's bottom it jumps there and then only slides sideways until the mouse pulls it more
// than the snapping distance away vertically.
class ListWindowDrag {
public:
    ListWindowDrag(AppState& state, const WindowFrame& main, WindowFrame& list,
                   const MouseButtons& buttons);

    // Client coordinates of the list window.
    void FormMouseDown(int x, int y);
    void FormMouseMove(int x, int y);
    void FormMouseUp();

private:
    AppState& state_;
    const WindowFrame& main_;
    WindowFrame& list_;
    const MouseButtons& buttons_;
    QPoint origin_;
    // Disabled until the first background press, for the same reason AppState::NotDragging
    // starts true: a move before any press must not drag from a made-up origin.
    bool dragDisabled_ = true;
};
