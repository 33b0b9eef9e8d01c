#include "support/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

bool WaitFor(const std::function<bool()>& done, int ms, int pollMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(static_cast<unsigned long>(pollMs));
    }
    return done();
}

void PumpEvents(int ms) {
    WaitFor([] { return false; }, ms);
}

void StopProcess(QProcess& process, Ending how) {
    if (process.state() == QProcess::NotRunning)
        return;
    if (how == Ending::Terminate) {
        process.terminate();
        if (process.waitForFinished(5000))
            return;
    }
    process.kill();
    process.waitForFinished(5000);
}
