#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QThread>

#include "components/PulseContext.h"
#include "support/PrivatePulseServer.h"

TEST(PulseContext, ConnectsToTheServerAndNamesIt) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.IsRunning());
    PulseContext pulse;
    ASSERT_TRUE(pulse.IsConnected()) << pulse.ErrorText().toStdString();
    EXPECT_TRUE(pulse.ServerName().startsWith(QStringLiteral("PulseAudio 16")))
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
