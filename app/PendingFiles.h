#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

// Files from outside the program (its command line, a second copy) wait here until the list
// takes them, which it refuses while a recording, playback or join runs: they are offered
// again until taken, in the order given, and never dropped.
class PendingFiles : public QObject {
public:
    // add returns false when it takes none of the files now.
    explicit PendingFiles(std::function<bool(const QStringList&)> add, int retryMs = 500);

    // Tries at once; what is not taken waits for the next try.
    void Offer(const QStringList& files);
    qsizetype Waiting() const { return waiting_.size(); }

private:
    void Deliver();

    std::function<bool(const QStringList&)> add_;
    QStringList waiting_;
    QTimer retry_;
    // Adding may show a message box whose event loop runs the timer again.
    bool delivering_ = false;
};
