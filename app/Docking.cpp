#include "app/Docking.h"

#include <cstdlib>

namespace {

int Bottom(const QRect& r) {
    return r.top() + r.height();
}  // QRect::bottom() is one less

}  // namespace

void PlaceListUnderMain(const WindowFrame& main, WindowFrame& list) {
    const QRect m = main.Geometry();
    list.Move(QPoint(m.left(), Bottom(m)));
}

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
        const int gap = Bottom(m) - l.top();
        if (gap == 0) {
            main_.Move(m.topLeft() + offset);
            // Where the main window really went: the window system may have kept it on screen.
            list_.Move(QPoint(l.left() + offset.x(), Bottom(main_.Geometry())));
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
    if (std::abs(Bottom(m) - l.top()) < kSnapDistance && Bottom(m) != l.top())
        main_.Move(QPoint(m.left(), l.top() - m.height()));
}

void MainWindowDrag::FormMouseUp() {
    state_.NotDragging = true;
    state_.SkinPressed = false;
}

ListWindowDrag::ListWindowDrag(AppState& state, const WindowFrame& main, WindowFrame& list,
                               const MouseButtons& buttons)
    : state_(state), main_(main), list_(list), buttons_(buttons) {}

void ListWindowDrag::FormMouseDown(int x, int y) {
    if (state_.SkinPressed) {
        dragDisabled_ = true;
        return;
    }
    dragDisabled_ = false;
    origin_ = QPoint(x, y);
}

void ListWindowDrag::FormMouseMove(int x, int y) {
    if (dragDisabled_ || !buttons_.LeftDown())
        return;
    const QPoint offset = QPoint(x, y) - origin_;
    const int dockTop = Bottom(main_.Geometry());
    QRect l = list_.Geometry();
    const int distance = std::abs(l.top() - dockTop);
    if (distance != 0 && distance < kSnapDistance) {
        list_.Move(QPoint(l.left(), dockTop));
        state_.SkinPressed = true;  // the snapped state outlives this move
        l = list_.Geometry();
    }
    if (!state_.SkinPressed) {
        list_.Move(l.topLeft() + offset);
        return;
    }
    if (std::abs(offset.y()) < kSnapDistance && offset.x() != 0) {
        list_.Move(QPoint(l.left() + offset.x(), dockTop));
    } else if (std::abs(l.top() + offset.y() - dockTop) > kSnapDistance) {
        list_.Move(l.topLeft() + offset);
        state_.SkinPressed = false;
    }
}

void ListWindowDrag::FormMouseUp() {
    dragDisabled_ = true;
    state_.SkinPressed = false;
    state_.NotDragging = true;  // a release over the list ends the main window's drag too
}
