#include "components/ErrorBoundary.h"

#include <utility>

namespace {
FailureHandler& Handler() {
    static FailureHandler handler;
    return handler;
}
}  // namespace

FailureHandler SetFailureHandler(FailureHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

void ReportFailures(const std::function<void()>& step) {
    try {
        step();
    } catch (...) {
        if (!Handler())
            throw;
        Handler()(std::current_exception());
    }
}
