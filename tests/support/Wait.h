#pragma once

// Waiting in tests: for a condition while the Qt event loop runs, and for a child process to
// end. Every test waits through these, so a slow machine is allowed for in one place.

#include <functional>

class QProcess;

// Runs the Qt event loop (queued calls, timers, sockets) until done() is true or ms have
// passed, looking again every pollMs; returns done() at the end.
bool WaitFor(const std::function<bool()>& done, int ms, int pollMs = 2);
// Runs the Qt event loop for ms.
void PumpEvents(int ms);

enum class Ending { Terminate, Crash };
// Ends a child process and waits until it is gone. Terminate asks first (SIGTERM) and kills
// after five seconds; Crash kills at once, as a crash would end it.
void StopProcess(QProcess& process, Ending how = Ending::Terminate);
