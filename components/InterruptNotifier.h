#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl-C, a shutdown or logout, a closed terminal) into a
// Qt signal on the event loop, so that the work under way can end cleanly instead of dying
// half way. One instance at a time.
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
