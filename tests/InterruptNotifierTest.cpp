#include <gtest/gtest.h>

#include <csignal>

#include "components/InterruptNotifier.h"
#include "support/Wait.h"

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
        WaitFor([&] { return interrupted >= expected; }, 5000);
        EXPECT_EQ(interrupted, expected) << "signal " << signal;
    }
}

}  // namespace
