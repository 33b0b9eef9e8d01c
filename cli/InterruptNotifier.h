#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, so that a long command can
// finish its work cleanly instead of dying half way. One instance at a time.
class InterruptNotifier : public QObject {
    Q_OBJECT

public:
    InterruptNotifier();
    ~InterruptNotifier() override;

signals:
    void Interrupted();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
