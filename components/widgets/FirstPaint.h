#pragma once

#include <QObject>
#include <QWidget>
#include <functional>
#include <initializer_list>

// Runs a job once the given shown windows have been drawn for the first time, so that work
// which can follow the first paint (bus registration, disk scans) does not hold it up. A window
// that is never drawn (minimised, hidden again) lets the job run after kFallbackMs all the same.
// The job is dropped when the context object goes first; what it throws goes to the failure
// handler.
class AfterFirstPaint : public QObject {
public:
    static void Run(std::initializer_list<QWidget*> windows, QObject* context,
                    std::function<void()> job);

    static constexpr int kFallbackMs = 1000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AfterFirstPaint(QObject* context, std::function<void()> job);
    void Finish();

    std::function<void()> job_;
    int waiting_ = 0;
};
