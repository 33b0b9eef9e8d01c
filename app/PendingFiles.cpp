#include "app/PendingFiles.h"

#include "components/ErrorBoundary.h"

PendingFiles::PendingFiles(std::function<bool(const QStringList&)> add, int retryMs)
    : add_(std::move(add)) {
    retry_.setInterval(retryMs);
    connect(&retry_, &QTimer::timeout, this, [this] { ReportFailures([this] { Deliver(); }); });
}

void PendingFiles::Offer(const QStringList& files) {
    waiting_ += files;
    Deliver();
}

void PendingFiles::Deliver() {
    if (delivering_ || waiting_.isEmpty())
        return;
    delivering_ = true;
    const QStringList files = waiting_;
    waiting_.clear();
    bool taken = false;
    try {
        taken = add_(files);
    } catch (...) {
        delivering_ = false;
        throw;
    }
    delivering_ = false;
    if (!taken)
        waiting_ = files + waiting_;
    if (waiting_.isEmpty())
        retry_.stop();
    else if (!retry_.isActive())
        retry_.start();
}
