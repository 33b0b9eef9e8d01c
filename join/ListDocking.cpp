#include "join/ListDocking.h"

#include <cstdlib>

void PlaceListUnderMain(const WindowFrame& main, WindowFrame& list) {
    const QRect m = main.Geometry();
    list.Move(QPoint(m.left(), BottomEdge(m)));
}

ListWindowDrag::ListWindowDrag(DragState& drag, const WindowFrame& main, WindowFrame& list,
                               const MouseButtons& buttons)
    : drag_(drag), main_(main), list_(list), buttons_(buttons) {}

void ListWindowDrag::FormMouseDown(int x, int y) {
    if (drag_.skinPressed) {
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
    const int dockTop = BottomEdge(main_.Geometry());
    QRect l = list_.Geometry();
    const int distance = std::abs(l.top() - dockTop);
    if (distance != 0 && distance < kSnapDistance) {
        list_.Move(QPoint(l.left(), dockTop));
        drag_.skinPressed = true;  // the snapped state outlives this move
        l = list_.Geometry();
    }
    if (!drag_.skinPressed) {
        list_.Move(l.topLeft() + offset);
        return;
    }
    if (std::abs(offset.y()) < kSnapDistance && offset.x() != 0) {
        list_.Move(QPoint(l.left() + offset.x(), dockTop));
    } else if (std::abs(l.top() + offset.y() - dockTop) > kSnapDistance) {
        list_.Move(l.topLeft() + offset);
        drag_.skinPressed = false;
    }
}

void ListWindowDrag::FormMouseUp() {
    dragDisabled_ = true;
    drag_.skinPressed = false;
    drag_.notDragging = true;  // a release over the list ends the main window's drag too
}
