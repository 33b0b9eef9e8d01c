#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusContext>

#include "schedule/DesktopNotifier.h"
#include "schedule/PowerOff.h"
#include "support/PrivateSessionBus.h"
#include "support/Wait.h"

namespace {

// Stands in for logind; it may refuse as logind does when the user may not power off.
class FakeLogind : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QList<bool> calls;
    bool refuse = false;

public slots:
    void PowerOff(bool interactive) {
        calls << interactive;
        if (refuse)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Access denied"));
    }
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received;

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        received << app << summary << body;
        return 1;
    }
};

// Power-off and notifications against stand-ins on a private bus; the fallback command only
// leaves a mark in a file. Nothing here can power anything off.
class DesktopServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.IsRunning()) << bus_.ErrorText().toStdString();
        service_ = QDBusConnection::connectToBus(bus_.Address(), kServiceName);
        client_ = QDBusConnection::connectToBus(bus_.Address(), kClientName);
        ASSERT_TRUE(service_.isConnected());
        ASSERT_TRUE(client_.isConnected());
    }

    void TearDown() override {
        QDBusConnection::disconnectFromBus(kClientName);
        QDBusConnection::disconnectFromBus(kServiceName);
    }

    void OfferLogind() {
        ASSERT_TRUE(service_.registerService(QStringLiteral("org.freedesktop.login1")));
        ASSERT_TRUE(service_.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind_,
                                            QDBusConnection::ExportAllSlots));
    }

    QStringList Fallback() const {
        return {QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("printf fallback > '%1'").arg(mark_)};
    }
    bool FallbackRan() const { return QFile::exists(mark_); }

    static constexpr const char* kServiceName = "sonvara-test-services";
    static constexpr const char* kClientName = "sonvara-test-program";
    PrivateSessionBus bus_;
    QDBusConnection service_{QString()};
    QDBusConnection client_{QString()};
    FakeLogind logind_;
    QTemporaryDir dir_;
    QString mark_ = dir_.filePath(QStringLiteral("fallback-ran"));
};

TEST_F(DesktopServicesTest, PowerOffAsksLogindWithoutInteractionAndNothingElse) {
    OfferLogind();
    LogindPowerSwitch power(client_, Fallback());
    power.PowerOff();
    ASSERT_TRUE(WaitFor([&] { return !logind_.calls.isEmpty(); }, 5000));
    EXPECT_EQ(logind_.calls, QList<bool>{false});
    WaitFor([&] { return FallbackRan(); }, 500);
    EXPECT_FALSE(FallbackRan());
}

TEST_F(DesktopServicesTest, PowerOffFallsBackWhenLogindRefusesOrIsMissing) {
    {
        LogindPowerSwitch power(client_, Fallback());
        power.PowerOff();
        EXPECT_TRUE(WaitFor([&] { return FallbackRan(); }, 5000));
    }
    QFile::remove(mark_);
    OfferLogind();
    logind_.refuse = true;
    LogindPowerSwitch power(client_, Fallback());
    power.PowerOff();
    EXPECT_TRUE(WaitFor([&] { return FallbackRan(); }, 5000));
    EXPECT_EQ(logind_.calls, QList<bool>{false});
}

TEST_F(DesktopServicesTest, NotificationGoesToTheDesktopsService) {
    FakeNotifications notifications;
    ASSERT_TRUE(service_.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(service_.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                        &notifications, QDBusConnection::ExportAllSlots));
    DesktopNotifier notifier(client_);
    notifier.Notify(QStringLiteral("Scheduled recording 1"), QStringLiteral("Disk full."));
    ASSERT_TRUE(WaitFor([&] { return !notifications.received.isEmpty(); }, 5000));
    EXPECT_EQ(notifications.received,
              QStringList({"Sonvara", "Scheduled recording 1", "Disk full."}));
}

}  // namespace

#include "PowerOffTest.moc"
