#include "schedule/DesktopNotifier.h"

#include <QVariantMap>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCallWatcher>
#include <QtDBus/QDBusPendingReply>
#include <cstdio>

namespace {

void Print(const QString& summary, const QString& body) {
    std::fprintf(stderr, "Sonvara: %s: %s\n", qPrintable(summary), qPrintable(body));
}

}  // namespace

DesktopNotifier::DesktopNotifier(LazyBus bus) : bus_(std::move(bus)) {}

void DesktopNotifier::Notify(const QString& summary, const QString& body) {
    QDBusConnection& bus = bus_.Get();
    if (!bus.isConnected()) {
        Print(summary, body);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Sonvara") << 0u << QStringLiteral("audio-input-microphone") << summary
         << body << QStringList() << QVariantMap() << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [summary, body](QDBusPendingCallWatcher* done) {
                         if (QDBusPendingReply<uint>(*done).isError())
                             Print(summary, body);
                         done->deleteLater();
                     });
}
