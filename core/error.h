#pragma once

#include <QString>
#include <exception>
#include <stdexcept>

namespace core {

// Base of every error the program shows to the user. The message is the exact text the
// error dialog displays (before its period rule).
class Error : public std::runtime_error {
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()), message_(message)
    { }

    const QString &message() const noexcept { return message_; }

private:
    QString message_;
};

} // namespace core

// Declares an error kind; its class name is what errorClassName() reports.
#define CORE_DECLARE_ERROR(Name)                                                                   \
    class Name : public ::core::Error {                                                            \
    public:                                                                                        \
        using ::core::Error::Error;                                                                \
    }

namespace core {

// The class name of any error, as the start-up failure box reports it: "EFOpenError",
// "std::bad_alloc".
QString errorClassName(const std::exception &error);

// Removes trailing blanks, control characters and periods, as the texts of system and
// control errors are shown inside longer messages.
inline QString trimErrorTail(QString text)
{
    while (!text.isEmpty()) {
        const QChar c = text.back();
        if (c == u'.' || c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7F)
            text.chop(1);
        else
            break;
    }
    return text;
}

} // namespace core
