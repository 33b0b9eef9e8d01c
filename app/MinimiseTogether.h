#pragma once

#include <QObject>

class QWidget;

// The main and list windows go to the task bar and come back as one: whichever is minimised or
// restored, by its own button or by the desktop, the other follows while it is shown; a closed
// list stays closed.
class MinimiseTogether : public QObject {
public:
    MinimiseTogether(QWidget& main, QWidget& list);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& main_;
    QWidget& list_;
};
