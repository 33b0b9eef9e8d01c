#include "components/widgets/FirstPaint.h"

#include <QEvent>
#include <QTimer>
#include <QWindow>

#include "components/ErrorBoundary.h"

AfterFirstPaint::AfterFirstPaint(QObject* context, std::function<void()> job)
    : QObject(context), job_(std::move(job)) {}

void AfterFirstPaint::Run(std::initializer_list<QWidget*> windows, QObject* context,
                          std::function<void()> job) {
    auto* waiter = new AfterFirstPaint(context, std::move(job));
    for (QWidget* window : windows) {
        QWindow* handle = window ? window->windowHandle() : nullptr;
        if (!handle || handle->isExposed())
            continue;
        handle->installEventFilter(waiter);
        ++waiter->waiting_;
    }
    QTimer::singleShot(waiter->waiting_ ? kFallbackMs : 0, waiter, &AfterFirstPaint::Finish);
}

// An expose event is answered by painting and showing the window at once; the job is queued
// behind that.
bool AfterFirstPaint::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
        watched->removeEventFilter(this);
        if (--waiting_ == 0)
            QTimer::singleShot(0, this, &AfterFirstPaint::Finish);
    }
    return false;
}

void AfterFirstPaint::Finish() {
    if (!job_)
        return;
    const std::function<void()> job = std::move(job_);
    job_ = nullptr;
    deleteLater();
    ReportFailures(job);
}
