#pragma once

#include <exception>
#include <functional>
#include <utility>

// Where Qt enters the program's own code (a skin command, a timer, a component's event, a
// D-Bus call), failures end: they go to the one process-wide handler instead of on through
// Qt's event dispatch, which cannot carry them. With no handler set they go on to the caller.
using FailureHandler = std::function<void(std::exception_ptr)>;

// Returns the handler it replaces.
FailureHandler SetFailureHandler(FailureHandler handler);

// Runs step; what it throws goes to the handler.
void ReportFailures(const std::function<void()>& step);

namespace failure_boundary {

template <typename Member>
struct SlotOf;

template <typename Class, typename... Args>
struct SlotOf<void (Class::*)(Args...) const> {
    template <typename Slot>
    static auto Guard(Slot slot) {
        return [slot = std::move(slot)](Args... args) {
            ReportFailures([&] { slot(std::forward<Args>(args)...); });
        };
    }
};

}  // namespace failure_boundary

// A slot for connect that runs slot with the signal's arguments and reports what it throws:
// connect(button, &QPushButton::clicked, this, Reporting([this] { ... })).
template <typename Slot>
auto Reporting(Slot slot) {
    return failure_boundary::SlotOf<decltype(&Slot::operator())>::Guard(std::move(slot));
}

// The same for a member function: connect(button, &QPushButton::clicked, this,
// Reporting(this, &Window::OkClick)).
template <typename Object, typename Class, typename... Args>
auto Reporting(Object* object, void (Class::*slot)(Args...)) {
    return [object, slot](Args... args) {
        ReportFailures([&] { (object->*slot)(std::forward<Args>(args)...); });
    };
}
