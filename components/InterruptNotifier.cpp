#include "components/InterruptNotifier.h"

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "components/ErrorBoundary.h"

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int pipeEnds[2] = {-1, -1};

void OnSignal(int) {
    // Only async-signal-safe work here: the event loop does the rest. The interrupted code may
    // be about to read errno; a full pipe already holds a wake-up, so the byte is not needed.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
    errno = savedErrno;
}

}  // namespace

InterruptNotifier::InterruptNotifier() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pipeEnds) != 0) {
        // The work goes on; only an interrupt would end it at once instead of cleanly.
        qWarning("Sonvara: Ctrl-C and a shutdown will not end the work cleanly: %s",
                 std::strerror(errno));
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, Reporting([this] {
                char byte;
                if (::read(pipeEnds[1], &byte, 1) == 1)
                    emit Interrupted();
            }));
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

InterruptNotifier::~InterruptNotifier() {
    for (int signal : kSignals)
        std::signal(signal, SIG_DFL);
    notifier_.reset();
    for (int& end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}
