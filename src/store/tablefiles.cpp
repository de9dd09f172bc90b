#include "store/tablefiles.h"

#include "store/error.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace kelvara::tablefiles {

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kNameCase = Qt::CaseSensitive;
#endif

QStringList &openTables()
{
    static QStringList tables;
    return tables;
}

// The path with its folder resolved, so that "./a", "../x/a" and a linked folder compare equal.
QString resolved(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName());
}

bool sameFile(const QString &a, const QString &b)
{
#ifdef Q_OS_UNIX
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#else
    return false;
#endif
}

}  // namespace

void add(const QString &tableFile)
{
    openTables() << resolved(tableFile);
}

void remove(const QString &tableFile)
{
    openTables().removeOne(resolved(tableFile));
}

bool contains(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString candidate = resolved(path);
    for (const QString &table : std::as_const(openTables())) {
        for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
            const QString file = table + QLatin1String(suffix);
            if (candidate.compare(file, kNameCase) == 0 || sameFile(candidate, file))
                return true;
        }
    }
    return false;
}

void refuse(const QString &path)
{
    if (contains(path))
        throw Error(QStringLiteral("%1 is a file of the open record table and is not opened here; "
                                   "choose another file.")
                        .arg(QDir::toNativeSeparators(path)));
}

}  // namespace kelvara::tablefiles
