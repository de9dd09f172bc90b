#include "app/datafolder.h"

#include "platform/dialogs.h"
#include "platform/settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <memory>

namespace kelvara {

namespace {

const char kTableFile[] = "kelvara.db";

// One key whatever the program file is called: the build's Kelvara and the installed kelvara
// share their data folder.
QString rememberedKey()
{
    return SettingsStore::group(QStringLiteral("\\Software\\Kelvara\\DataFolder")) + QStringLiteral("/LastUsed");
}

bool holdsTable(const QString &folder)
{
    return QFileInfo::exists(QDir(folder).filePath(QLatin1String(kTableFile)));
}

// The nearest folder above `folder` that exists, to start a folder dialog in.
QString nearestExisting(const QString &folder)
{
    QString path = QDir(folder).absolutePath();
    while (!QFileInfo(path).isDir()) {
        const QString above = QFileInfo(path).absolutePath();
        if (above == path)
            return QDir::homePath();
        path = above;
    }
    return path;
}

}  // namespace

QString DataFolder::choose(const QString &explicitFolder, const QString &startFolder)
{
    if (!explicitFolder.isEmpty())
        return QDir::cleanPath(QDir(startFolder).absoluteFilePath(explicitFolder));
    if (holdsTable(startFolder))
        return QDir(startFolder).absolutePath();
    const QString last = remembered();
    return last.isEmpty() ? standardFolder() : last;
}

QString DataFolder::standardFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Kelvara");
}

QString DataFolder::remembered()
{
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    return settings->value(rememberedKey()).toString();
}

void DataFolder::remember(const QString &folder)
{
    // A store that cannot be written is the window's to report when it saves its own settings.
    if (!SettingsStore::refusal().isEmpty())
        return;
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    if (settings->value(rememberedKey()).toString() == folder)
        return;
    settings->setValue(rememberedKey(), folder);
    settings->sync();
}

QString DataFolder::unusable(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("it is a file, not a folder");
    if (!info.exists()) {
        errno = 0;
        if (!QDir().mkpath(folder)) {
            return errno != 0 ? QStringLiteral("it cannot be made (%1)").arg(qt_error_string(errno))
                              : QStringLiteral("it cannot be made");
        }
    }
    if (holdsTable(folder))
        return QString();
    // Asked of the system by trying: permissions alone do not tell (a read-only medium, a
    // folder of the system's own, access lists).
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".kelvara-probe-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("no file can be written in it (%1)").arg(probe.errorString());
    return QString();
}

QString DataFolder::settle(const QString &folder, QWidget *parent)
{
    QString candidate = folder;
    for (;;) {
        const QString problem = unusable(candidate);
        if (problem.isEmpty())
            return QDir(candidate).absolutePath();
        const QString question = QStringLiteral("Kelvara cannot keep its records in the folder %1: %2.\n\n"
                                                "Choose another folder for them? %3")
                                     .arg(QDir::toNativeSeparators(candidate), problem,
                                          parent ? QStringLiteral("Cancel keeps the folder that is open now.")
                                                 : QStringLiteral("Cancel ends Kelvara."));
        if (!dialogs().confirm(parent, question))
            return QString();
        const QString chosen = dialogs().existingFolder(
            parent, QStringLiteral("Choose the folder for Kelvara's records"), nearestExisting(candidate));
        if (chosen.isEmpty())
            return QString();
        candidate = chosen;
    }
}

QString DataFolder::current()
{
    return QDir::currentPath();
}

}  // namespace kelvara
