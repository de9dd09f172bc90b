#include "settingsstore.h"

#include <QSettings>

namespace kelvara {

namespace {

QString &fileInUse()
{
    static QString file;
    return file;
}

} // namespace

std::unique_ptr<QSettings> SettingsStore::open()
{
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
