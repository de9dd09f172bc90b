#pragma once

#include <QString>
#include <stdexcept>

namespace kelvara {

// The one exception type of the program: a failure carrying the text the user is shown.
class Error : public std::runtime_error
{
public:
    explicit Error(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) { }

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

// A file that is no sound table: SQLite finds it corrupt or no database, or it holds no table
// this program made. Only such a file may be set aside as damaged; a full disk, a file that may
// not be read or a missing folder say nothing about the file's content.
class DamagedError : public Error
{
public:
    using Error::Error;
};

}  // namespace kelvara
