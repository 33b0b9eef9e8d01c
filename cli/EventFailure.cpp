#include "cli/EventFailure.h"

#include <QCoreApplication>

namespace {

std::exception_ptr kept;

}  // namespace

void KeepEventFailure(std::exception_ptr failure) {
    if (!kept)
        kept = failure;
    QCoreApplication::exit(1);
}

std::exception_ptr TakeEventFailure() {
    return std::exchange(kept, nullptr);
}
