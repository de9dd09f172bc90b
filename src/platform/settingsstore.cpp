#include "settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

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

} // namespace

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
    if (!fileInUse().isEmpty())
        return std::make_unique<QSettings>(fileInUse(), QSettings::IniFormat);
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER"), QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kelvara"),
                                       QStringLiteral("Kelvara"));
#endif
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

} // namespace kelvara
