#pragma once

#include <QtDBus/QDBusConnection>
#include <optional>

// A D-Bus connection made at its first use, so that creating the object that needs it waits
// for no bus: with no session bus, connecting runs dbus-launch, which start-up must not wait
// for. A connection given ready-made (the tests' private bus) is used as it is.
class LazyBus {
public:
    using Connector = QDBusConnection (*)();

    explicit LazyBus(Connector connect) : connect_(connect) {}
    LazyBus(QDBusConnection bus) : bus_(std::move(bus)) {}  // NOLINT: a bus is a ready LazyBus

    QDBusConnection& Get() {
        if (!bus_)
            bus_ = connect_();
        return *bus_;
    }

private:
    Connector connect_ = nullptr;
    std::optional<QDBusConnection> bus_;
};
