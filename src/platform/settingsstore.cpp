#include "platform/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kelvara {

namespace {

QString &fileInUse()
{
    static QString file;
    return file;
}

// The INI file the store reads and writes: the test's own, or Qt's user-scope file (none where
// the store is the registry).
QString iniFile()
{
    if (!fileInUse().isEmpty())
        return fileInUse();
#ifdef Q_OS_WIN
    return QString();
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Kelvara/Kelvara.ini");
#endif
}

// Removes the lock file of a save that was killed: Qt's lock waits half a minute for a lock file
// whose holder it cannot tell, as one is between being made and being written. A holder keeps
// an exclusive lock on the file from the moment it made it, so a file nobody holds that names
// no process, or one that has ended, is left over.
void removeStaleLock(const QString &lockFile)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(lockFile).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        char text[64] = {};
        const ssize_t size = ::read(fd, text, sizeof text - 1);
        const QByteArray firstLine = QByteArray(text, size > 0 ? int(size) : 0).split('\n').value(0);
        bool number = false;
        const qint64 pid = firstLine.toLongLong(&number);
        const bool ended = !number || pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
        if (ended)
            QFile::remove(lockFile);
    }
    ::close(fd);
#else
    Q_UNUSED(lockFile);
#endif
}

// Removes what a save that was killed left beside the file it replaces: the new file it had not
// yet renamed ("Kelvara.ini.qgjzQp"). Only while holding the store's lock: a save of another
// copy of the program writes such a file under that lock.
void removeLeftovers(const QString &file)
{
    removeStaleLock(file + QStringLiteral(".lock"));
    QLockFile lock(file + QStringLiteral(".lock"));
    if (!lock.tryLock(0))
        return;
    const QFileInfo target(QFileInfo(file).isSymLink() ? QFileInfo(file).canonicalFilePath() : file);
    const QRegularExpression leftover(QRegularExpression::anchoredPattern(QRegularExpression::escape(target.fileName())
                                                                          + QStringLiteral("\\.[A-Za-z]{6}")));
    const QDir folder = target.absoluteDir();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        // Qt's six random letters, small and capital; six small letters are more likely a word of
        // the user's ("Kelvara.ini.backup") and stay, as do the few leftovers named so.
        const QString tail = name.right(6);
        const bool random = std::any_of(tail.begin(), tail.end(), [](QChar c) { return c.isUpper(); });
        if (leftover.match(name).hasMatch() && random && !QFileInfo(folder.filePath(name)).isSymLink())
            QFile::remove(folder.filePath(name));
    }
}

}  // namespace

QString SettingsStore::refusal()
{
    const QString file = iniFile();
    if (file.isEmpty())
        return QString();
    const QFileInfo name(file);
    QString target = file;
    if (name.isSymLink()) {
        target = name.canonicalFilePath();
        if (target.isEmpty())
            return QStringLiteral("%1 is a link to a file that does not exist").arg(QDir::toNativeSeparators(file));
    } else if (!name.exists()) {
        return QString();
    }
    if (!QFileInfo(target).isFile())
        return QStringLiteral("%1 is not a regular file").arg(QDir::toNativeSeparators(file));
    return QString();
}

std::unique_ptr<QSettings> SettingsStore::open()
{
    // A save renames a new file over the old one, following links: over a device or a pipe it
    // would replace the device, and reading a pipe waits for ever. Such a store reads as empty and
    // takes no writes.
    if (!refusal().isEmpty())
        return std::make_unique<QSettings>(QString(), QSettings::IniFormat);
    if (!iniFile().isEmpty())
        removeLeftovers(iniFile());
    if (!fileInUse().isEmpty())
        return std::make_unique<QSettings>(fileInUse(), QSettings::IniFormat);
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER"), QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kelvara"),
                                       QStringLiteral("Kelvara"));
#endif
}

QString SettingsStore::location()
{
    const QString file = iniFile();
    return file.isEmpty() ? QStringLiteral("HKEY_CURRENT_USER") : QDir::toNativeSeparators(file);
}

QString SettingsStore::group(const QString &keyPath)
{
    QString path = keyPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

void SettingsStore::useFile(const QString &iniFile)
{
    fileInUse() = iniFile;
}

}  // namespace kelvara
