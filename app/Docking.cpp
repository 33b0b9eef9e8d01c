#include "app/Docking.h"

#include <cstdlib>

MainWindowDrag::MainWindowDrag(DragState& drag, WindowFrame& main, WindowFrame& list,
                               const MouseButtons& buttons)
    : drag_(drag), main_(main), list_(list), buttons_(buttons) {}

void MainWindowDrag::FormMouseDown(int x, int y) {
    // The skin reports a press on a command element before the window sees it; such a press
    // belongs to the element, not to a drag.
    if (drag_.skinPressed) {
        drag_.notDragging = true;
        return;
    }
    drag_.notDragging = false;
    drag_.origin = QPoint(x, y);
}

void MainWindowDrag::FormMouseMove(int x, int y) {
    if (!drag_.notDragging && buttons_.LeftDown()) {
        const QPoint offset = QPoint(x, y) - drag_.origin;
        const QRect m = main_.Geometry();
        const QRect l = list_.Geometry();
        const int gap = BottomEdge(m) - l.top();
        if (gap == 0) {
            main_.Move(m.topLeft() + offset);
            // Where the main window really went: the window system may have kept it on screen.
            list_.Move(QPoint(l.left() + offset.x(), BottomEdge(main_.Geometry())));
        } else if (std::abs(gap) < kSnapDistance) {
            // Snaps without following the mouse on this move.
            main_.Move(QPoint(m.left(), l.top() - m.height()));
        } else {
            main_.Move(m.topLeft() + offset);
        }
    }
    // Also without a drag: any move over a main window that has come near the list snaps it.
    SnapOntoList();
}

void MainWindowDrag::SnapOntoList() {
    const QRect m = main_.Geometry();
    const QRect l = list_.Geometry();
    if (std::abs(BottomEdge(m) - l.top()) < kSnapDistance && BottomEdge(m) != l.top())
        main_.Move(QPoint(m.left(), l.top() - m.height()));
}

void MainWindowDrag::FormMouseUp() {
    drag_.notDragging = true;
    drag_.skinPressed = false;
}
