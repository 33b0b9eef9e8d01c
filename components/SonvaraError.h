#pragma once

#include <QString>
#include <stdexcept>

// The one exception type of the program: its message is meant for the user and says which
// file or device failed and why. The application-wide handler shows it.
class SonvaraError : public std::runtime_error {
public:
    explicit SonvaraError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}

    const QString& message() const { return message_; }

private:
    QString message_;
};
