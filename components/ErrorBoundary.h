#pragma once

#include <exception>
#include <functional>

// Where Qt enters the program's own code (a skin command, a timer, a component's event, a
// D-Bus call), failures end: they go to the one process-wide handler instead of on through
// Qt's event dispatch, which cannot carry them. With no handler set they go on to the caller.
using FailureHandler = std::function<void(std::exception_ptr)>;

// Returns the handler it replaces.
FailureHandler SetFailureHandler(FailureHandler handler);

// Runs step; what it throws goes to the handler.
void ReportFailures(const std::function<void()>& step);
