#pragma once

#include <QFile>
#include <QString>

#include <sys/stat.h>

namespace kelvara::test {

// What a name in the file system is, links not followed: "missing", "link", "file", "pipe",
// "socket", "device" or "other". Tests of the writers check with it that a name they were
// pointed at is still what it was.
inline QString fileKindOf(const QString &path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("missing");
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("link");
    if (S_ISREG(info.st_mode))
        return QStringLiteral("file");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("pipe");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("socket");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("device");
    return QStringLiteral("other");
}

}  // namespace kelvara::test
