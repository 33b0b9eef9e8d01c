#pragma once

#include <QPoint>

#include "components/WindowFrame.h"

// The join list window's place: docked directly under the main window, or dragged freely by
// its background. Only positions change here; sizes never do.

// Windows closer than this vertically snap together.
inline constexpr int kSnapDistance = 6;

// The first row of pixels below a window; QRect::bottom() is one less.
inline int BottomEdge(const QRect& r) {
    return r.top() + r.height();
}

// What the drags of the main and list windows share.
struct DragState {
    // A press hit one of the skin's command elements, or the list window is snapped under
    // the main window during its drag; a release over either window clears it.
    bool skinPressed = false;
    // Not dragging the main window. It starts true although no mouse release has happened
    // yet: a move with the button held must not drag the window from a press that never
    // happened.
    bool notDragging = true;
    // Client coordinates of the press that began a drag of the main window.
    QPoint origin;
};

// Puts the list window directly under the main window, left edges aligned.
void PlaceListUnderMain(const WindowFrame& main, WindowFrame& list);

// The list window is dragged by its background. Coming within snapping distance of the main
// window's bottom it jumps there and then only slides sideways until the mouse pulls it more
// than the snapping distance away vertically.
class ListWindowDrag {
public:
    ListWindowDrag(DragState& drag, const WindowFrame& main, WindowFrame& list,
                   const MouseButtons& buttons);

    // Client coordinates of the list window.
    void FormMouseDown(int x, int y);
    void FormMouseMove(int x, int y);
    void FormMouseUp();

private:
    DragState& drag_;
    const WindowFrame& main_;
    WindowFrame& list_;
    const MouseButtons& buttons_;
    QPoint origin_;
    // Disabled until the first background press, for the same reason DragState::notDragging
    // starts true: a move before any press must not drag from a made-up origin.
    bool dragDisabled_ = true;
};
