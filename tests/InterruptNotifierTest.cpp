#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>

#include "components/InterruptNotifier.h"

namespace {

// Each signal that ends a session arrives as one Qt signal on the event loop, not as the end
// of the process.
TEST(InterruptNotifier, TurnsEachEndingSignalIntoAnEventLoopSignal) {
    InterruptNotifier notifier;
    int interrupted = 0;
    QObject::connect(&notifier, &InterruptNotifier::Interrupted, [&] { ++interrupted; });
    int expected = 0;
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        ASSERT_EQ(std::raise(signal), 0);
        ++expected;
        QElapsedTimer clock;
        clock.start();
        while (interrupted < expected && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(interrupted, expected) << "signal " << signal;
    }
}

}  // namespace
