#include "app/MinimiseTogether.h"

#include <QEvent>
#include <QWidget>

MinimiseTogether::MinimiseTogether(QWidget& main, QWidget& list) : main_(main), list_(list) {
    main_.installEventFilter(this);
    list_.installEventFilter(this);
}

bool MinimiseTogether::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::WindowStateChange || (watched != &main_ && watched != &list_))
        return false;
    const bool minimized = static_cast<QWidget*>(watched)->isMinimized();
    QWidget& other = watched == &main_ ? list_ : main_;
    // The other's own change comes back here and ends, as the two then agree.
    if (other.isVisible() && other.isMinimized() != minimized)
        other.setWindowState(other.windowState() ^ Qt::WindowMinimized);
    return false;
}
