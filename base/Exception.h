// The general failure of lyremap: every failure the program raises carries a message text and
// derives from Exception, so a caller that reports failures needs to catch only this (and
// std::exception for the standard library's own, such as std::bad_alloc).
#pragma once

#include <QString>
#include <exception>
#include <string>

namespace lyremap {

class Exception : public std::exception {
public:
    explicit Exception(QString message);

    // The message as shown to the user.
    const QString& message() const noexcept { return message_; }
    // The message in UTF-8, for std::exception's callers.
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// The message of any failure: Exception's own text, or the what() of a standard exception.
QString failureMessage(const std::exception& failure);

} // namespace lyremap
