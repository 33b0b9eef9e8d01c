#pragma once

#include <QString>

#include "record/LazyBus.h"

// Tells the user something that needs no answer: a notification through the desktop's
// notification service on the session bus, or a line on stderr where there is none or it
// refuses. Never throws, never waits for the service.
class DesktopNotifier {
public:
    explicit DesktopNotifier(LazyBus bus = LazyBus(&QDBusConnection::sessionBus));

    void Notify(const QString& summary, const QString& body);

    static constexpr int kAnswerMs = 5000;

private:
    LazyBus bus_;
};
