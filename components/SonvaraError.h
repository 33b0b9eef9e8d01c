#pragma once

#include <QString>
#include <exception>
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

// The text to show for a caught failure: a SonvaraError's message, another exception's
// what(), or a generic text for anything else.
inline QString ErrorMessage(std::exception_ptr error) {
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const SonvaraError& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    return QStringLiteral("An unexpected error occurred.");
}
