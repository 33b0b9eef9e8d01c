#include "record/SleepInhibitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDebug>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusUnixFileDescriptor>

namespace {

// A recording must not wait on a missing or stuck logind.
constexpr int kCallTimeoutMs = 1000;

}  // namespace

LogindSleepInhibitor::LogindSleepInhibitor(LazyBus bus, QString what)
    : bus_(std::move(bus)), what_(std::move(what)) {}

LogindSleepInhibitor::~LogindSleepInhibitor() {
    Release();
}

void LogindSleepInhibitor::Acquire(const QString& why) {
    if (IsHeld())
        return;
    QDBusConnection& bus = bus_.Get();
    if (!bus.isConnected()) {
        qWarning() << "Sleep is not held off: no system bus" << bus.lastError().message();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << what_ << QStringLiteral("Sonvara") << why << QStringLiteral("block");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qWarning() << "Sleep is not held off:" << reply.errorMessage();
        return;
    }
    const auto lock = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
    if (!lock.isValid()) {
        qWarning() << "Sleep is not held off: logind returned no lock";
        return;
    }
    // Our own copy, so the lock's lifetime is ours alone and not that of any Qt value.
    fd_ = ::fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
}

void LogindSleepInhibitor::Release() {
    if (!IsHeld())
        return;
    ::close(fd_);
    fd_ = -1;
}
