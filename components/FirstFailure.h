#pragma once

#include <exception>

// Steps that must all run whatever fails before them (closing files, leaving the program idle)
// share one keeper; the first failure is the one reported once they have all run.
template <typename Step>
void KeepFirstFailure(std::exception_ptr& first, Step&& step) {
    try {
        step();
    } catch (...) {
        if (!first)
            first = std::current_exception();
    }
}

// What step threw, or null.
template <typename Step>
std::exception_ptr Caught(Step&& step) {
    std::exception_ptr failure;
    KeepFirstFailure(failure, step);
    return failure;
}
