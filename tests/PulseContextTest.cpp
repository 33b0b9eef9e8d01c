#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include "components/PulseContext.h"
#include "support/PrivatePulseServer.h"

TEST(PulseContext, ConnectsToTheServerAndNamesIt) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.IsRunning());
    PulseContext pulse;
    ASSERT_TRUE(pulse.IsConnected()) << pulse.ErrorText().toStdString();
    EXPECT_TRUE(pulse.ServerName().startsWith(QStringLiteral("PulseAudio ")))
        << pulse.ServerName().toStdString();
    EXPECT_TRUE(pulse.ServerName().contains(QStringLiteral(" on ")))
        << pulse.ServerName().toStdString();
    EXPECT_TRUE(pulse.ErrorText().isEmpty());
}

TEST(PulseContext, ReportsALostServerOnceOnTheUiThread) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.IsRunning());
    PulseContext pulse;
    ASSERT_TRUE(pulse.IsConnected());
    QSignalSpy lost(&pulse, &PulseContext::ConnectionLost);
    QThread* emittedOn = nullptr;
    QObject::connect(&pulse, &PulseContext::ConnectionLost,
                     [&] { emittedOn = QThread::currentThread(); });
    server.Kill();
    EXPECT_TRUE(WaitFor([&] { return lost.count() > 0; }, 3000));
    PumpEvents(200);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(emittedOn, QThread::currentThread());
    EXPECT_FALSE(pulse.IsConnected());
    EXPECT_FALSE(pulse.ErrorText().isEmpty());
}

// PipeWire and PulseAudio are restarted in normal use; the program must not need to be.
TEST(PulseContext, ConnectsAgainOnceTheServerIsBackAndReportsEachLoss) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.IsRunning());
    PulseContext pulse;
    ASSERT_TRUE(pulse.IsConnected());
    QSignalSpy lost(&pulse, &PulseContext::ConnectionLost);
    for (int loss = 1; loss <= 2; ++loss) {
        server.Kill();
        ASSERT_TRUE(WaitFor([&] { return lost.count() == loss; }, 3000));
        EXPECT_FALSE(pulse.IsConnected());
        EXPECT_TRUE(pulse.ServerName().isEmpty());
        ASSERT_TRUE(server.Restart());
        ASSERT_TRUE(WaitFor([&] { return pulse.IsConnected(); }, 10000))
            << pulse.ErrorText().toStdString();
        EXPECT_TRUE(pulse.ServerName().startsWith(QStringLiteral("PulseAudio ")));
        EXPECT_TRUE(pulse.ErrorText().isEmpty());
    }
    PumpEvents(200);
    EXPECT_EQ(lost.count(), 2);
}

TEST(PulseContext, AServerThatDoesNotAnswerIsNoServerUntilItDoes) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.IsRunning());
    server.Pause();
    QElapsedTimer clock;
    clock.start();
    PulseContext pulse;
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_FALSE(pulse.IsConnected());
    EXPECT_TRUE(pulse.ErrorText().contains(QStringLiteral("did not answer")))
        << pulse.ErrorText().toStdString();
    server.Resume();
    EXPECT_TRUE(WaitFor([&] { return pulse.IsConnected(); }, 10000));
}
