#pragma once

#include <QString>
#include <stdexcept>

namespace core {

// Base of every error the program shows to the user. The message is the exact text the
// error dialog displays (before its period rule); kind() is the error's class name, which
// the start-up failure box reports.
class Error : public std::runtime_error {
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()), message_(message) {}

    const QString &message() const noexcept { return message_; }
    virtual const char *kind() const noexcept = 0;

private:
    QString message_;
};

} // namespace core

// Declares an error kind with its class name.
#define CORE_DECLARE_ERROR(Name)                                                           \
    class Name : public ::core::Error {                                                    \
    public:                                                                                \
        using ::core::Error::Error;                                                        \
        const char *kind() const noexcept override { return #Name; }                       \
    }

namespace core {

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
