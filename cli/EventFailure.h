#pragma once

#include <exception>

// An exception that escaped an event handler. The command-line program keeps it here and ends
// every running event loop, so the command that ran the loop finishes its files and reports it.
void KeepEventFailure(std::exception_ptr failure);
// The kept failure, if any; it is kept no longer.
std::exception_ptr TakeEventFailure();
