#include "app/Docking.h"

#include <cstdlib>

MainWindowDrag::MainWindowDrag(AppState& state, WindowFrame& main, WindowFrame& list,
                               const MouseButtons& buttons)
    : state_(state), main_(main), list_(list), buttons_(buttons) {}

void MainWindowDrag::FormMouseDown(int x, int y) {
    // The skin reports a press on a command element before the window sees it; such a press
    // belongs to the element, not to a drag.
    if (state_.SkinPressed) {
        state_.NotDragging = true;
        return;
    }
    state_.NotDragging = false;
    state_.DragOrigin = QPoint(x, y);
}

void MainWindowDrag::FormMouseMove(int x, int y) {
    if (!state_.NotDragging && buttons_.LeftDown()) {
        const QPoint offset = QPoint(x, y) - state_.DragOrigin;
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
    state_.NotDragging = true;
    state_.SkinPressed = false;
}
