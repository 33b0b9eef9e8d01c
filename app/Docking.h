#pragma once

#include "components/WindowFrame.h"
#include "join/ListDocking.h"

// Dragging of the main window, which carries the list window along while it is docked.

// The main window is dragged by its background; when its bottom edge comes within snapping
// distance of the list's top it snaps onto the list, and once docked the list moves with it.
class MainWindowDrag {
public:
    MainWindowDrag(DragState& drag, WindowFrame& main, WindowFrame& list,
                   const MouseButtons& buttons);

    // Client coordinates of the main window.
    void FormMouseDown(int x, int y);
    void FormMouseMove(int x, int y);
    void FormMouseUp();

private:
    void SnapOntoList();

    DragState& drag_;
    WindowFrame& main_;
    WindowFrame& list_;
    const MouseButtons& buttons_;
};
