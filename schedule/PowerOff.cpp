#include "schedule/PowerOff.h"

#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCallWatcher>
#include <QtDBus/QDBusPendingReply>
#include <cstdio>

namespace {

void Note(const QString& text) {
    std::fprintf(stderr, "Sonvara: the computer could not be powered off: %s\n", qPrintable(text));
}

}  // namespace

LogindPowerSwitch::LogindPowerSwitch(LazyBus bus, QStringList fallback)
    : bus_(std::move(bus)), fallback_(std::move(fallback)) {}

LogindPowerSwitch::~LogindPowerSwitch() {
    // A fallback still running is left to finish its work.
    if (process_)
        process_->waitForFinished(1000);
}

void LogindPowerSwitch::PowerOff() {
    QDBusConnection& bus = bus_.Get();
    if (!bus.isConnected()) {
        RunFallback(QStringLiteral("no system bus"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    // Not interactive: nobody is asked for a password at the set time.
    call << false;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [this](QDBusPendingCallWatcher* done) {
                         const QDBusPendingReply<> reply = *done;
                         if (reply.isError())
                             RunFallback(QStringLiteral("logind: ") + reply.error().message());
                         done->deleteLater();
                     });
}

void LogindPowerSwitch::RunFallback(const QString& why) {
    if (fallback_.isEmpty()) {
        Note(why);
        return;
    }
    // A power-off under way is not started twice.
    if (process_ && process_->state() != QProcess::NotRunning)
        return;
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    const QString command = fallback_.join(u' ');
    QObject::connect(process_.get(), &QProcess::errorOccurred, process_.get(),
                     [why, command](QProcess::ProcessError) {
                         Note(why + QStringLiteral("; %1 could not be started").arg(command));
                     });
    QObject::connect(
        process_.get(), &QProcess::finished, process_.get(),
        [why, command](int code, QProcess::ExitStatus status) {
            if (status != QProcess::NormalExit || code != 0)
                Note(why + QStringLiteral("; %1 ended with %2").arg(command).arg(code));
        });
    process_->start(fallback_.first(), fallback_.mid(1));
}
