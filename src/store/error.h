#pragma once

#include <QString>
#include <stdexcept>

namespace kelvara {

// The one exception type of the program: a failure carrying the text the user is shown.
class Error : public std::runtime_error
{
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}

    QString message() const { return m_message; }

private:
    QString m_message;
};

// A table that another program holds locked: in use, not damaged, and worth trying again.
class BusyError : public Error
{
public:
    using Error::Error;
};

} // namespace kelvara
