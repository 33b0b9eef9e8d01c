#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusUnixFileDescriptor>
#include <atomic>

#include "record/SleepInhibitor.h"
#include "support/PrivateSessionBus.h"

namespace {

TEST(SleepInhibitorTest, GoesOnWithoutSystemBus) {
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/sonvara-test/system_bus_socket");
    LogindSleepInhibitor inhibitor;
    QElapsedTimer timer;
    timer.start();
    EXPECT_NO_THROW(inhibitor.Acquire("Sonvara is recording"));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_FALSE(inhibitor.IsHeld());
    EXPECT_NO_THROW(inhibitor.Release());
    EXPECT_FALSE(inhibitor.IsHeld());
}

// Stands in for logind: each Inhibit hands out the write end of a pipe, so the test sees on
// the read end whether the lock is still open.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    explicit FakeLogind(int writeFd) : writeFd_(writeFd) {}
    std::atomic<int> calls{0};
    QStringList lastArgs;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        ++calls;
        lastArgs = {what, who, why, mode};
        QDBusUnixFileDescriptor lock(writeFd_);
        ::close(writeFd_);  // the caller's copy must be the last one
        writeFd_ = -1;
        return lock;
    }

private:
    int writeFd_;
};

class SleepInhibitorLogindTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.IsRunning()) << bus_.ErrorText().toStdString();
        const QString address = bus_.Address();

        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        readFd_ = fds[0];
        fake_ = new FakeLogind(fds[1]);
        // The client's call blocks this thread, so the service answers from another.
        fake_->moveToThread(&serviceThread_);
        serviceThread_.start();

        QDBusConnection service = QDBusConnection::connectToBus(address, kServiceName);
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(service.registerService("org.freedesktop.login1"));
        ASSERT_TRUE(service.registerObject("/org/freedesktop/login1", fake_,
                                           QDBusConnection::ExportAllSlots));
        client_ = QDBusConnection::connectToBus(address, kClientName);
        ASSERT_TRUE(client_.isConnected());
    }

    void TearDown() override {
        QDBusConnection::disconnectFromBus(kClientName);
        QDBusConnection::disconnectFromBus(kServiceName);
        serviceThread_.quit();
        serviceThread_.wait();
        delete fake_;
        if (readFd_ >= 0)
            ::close(readFd_);
    }

    // True once every copy of the handed-out lock is closed. The service thread lets go of
    // its own copy a moment after its reply went out, so a close may take a little while.
    bool LockClosed(int waitMs = 0) const {
        pollfd p{readFd_, POLLIN, 0};
        return ::poll(&p, 1, waitMs) == 1 && (p.revents & POLLHUP);
    }

    static constexpr const char* kServiceName = "sonvara-test-logind";
    static constexpr const char* kClientName = "sonvara-test-client";
    PrivateSessionBus bus_;
    QThread serviceThread_;
    FakeLogind* fake_ = nullptr;
    int readFd_ = -1;
    QDBusConnection client_{QString()};
};

TEST_F(SleepInhibitorLogindTest, HoldsTheLockUntilRelease) {
    LogindSleepInhibitor inhibitor(client_);
    inhibitor.Acquire("Sonvara is recording");
    ASSERT_TRUE(inhibitor.IsHeld());
    EXPECT_EQ(fake_->lastArgs, QStringList({"sleep", "Sonvara", "Sonvara is recording", "block"}));
    EXPECT_FALSE(LockClosed());

    inhibitor.Acquire("Sonvara is recording");
    EXPECT_EQ(fake_->calls, 1);

    inhibitor.Release();
    EXPECT_FALSE(inhibitor.IsHeld());
    EXPECT_TRUE(LockClosed(2000));
    inhibitor.Release();
}

TEST_F(SleepInhibitorLogindTest, DestructionReleasesTheLock) {
    {
        LogindSleepInhibitor inhibitor(client_);
        inhibitor.Acquire("Sonvara is recording");
        ASSERT_TRUE(inhibitor.IsHeld());
    }
    EXPECT_TRUE(LockClosed(2000));
}

}  // namespace

#include "SleepInhibitorTest.moc"
