#pragma once

#include <QString>
#include <QtGlobal>

namespace kelvara::test {

// Makes SQLite's files fail as a troubled disk does, for the scope's life: it stands in for
// the default file layer of SQLite and hands everything else to it. Portable where mounting a
// small file system is not (tests often run unprivileged or in a sandbox).
class FailingDisk
{
public:
    enum class Fault {
        Full,       // room for `bytes` more bytes; beyond that, growing a file fails as a full disk does
        NoAccess,   // opening `file` fails as for a file the user may not read (EACCES)
        ReadError,  // reading `file` fails as a failing medium does (EIO)
    };

    FailingDisk(Fault fault, const QString &file = QString(), qint64 bytes = 0);
    ~FailingDisk();
    FailingDisk(const FailingDisk &) = delete;
    FailingDisk &operator=(const FailingDisk &) = delete;
};

}  // namespace kelvara::test
