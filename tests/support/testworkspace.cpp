#include "testworkspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kelvara::test {

TestWorkspace::TestWorkspace(const QLocale &locale) : m_previousDir(QDir::currentPath()), m_previousLocale(QLocale())
{
    QStandardPaths::setTestModeEnabled(true);
    // A test that went on without its own folder would work in, and leave files in, the folder
    // it was started from: it stops here instead.
    if (!m_dir.isValid() || !m_settingsDir.isValid())
        qFatal("cannot make a temporary directory: %s",
               qPrintable(m_dir.isValid() ? m_settingsDir.errorString() : m_dir.errorString()));
    if (!QDir::setCurrent(m_dir.path()))
        qFatal("cannot work in %s", qPrintable(m_dir.path()));
    QLocale::setDefault(locale);
    // A window under test makes no backup of its own accord: the tests that check backups turn
    // them on. Every other test finds the folder and the settings as it left them.
    QFile settings(settingsFile());
    if (!settings.open(QIODevice::WriteOnly) || settings.write("[Backups]\nAutomatic=false\n") <= 0)
        qFatal("cannot write the test's settings file %s", qPrintable(settingsFile()));
}

TestWorkspace::~TestWorkspace()
{
    QDir::setCurrent(m_previousDir);
    QLocale::setDefault(m_previousLocale);
}

QString TestWorkspace::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(name));
    return file.fileName();
}

SharedProgramCopy::SharedProgramCopy()
{
    const QString program = QCoreApplication::applicationFilePath();
    const QString copy = m_dir.filePath(QFileInfo(program).fileName());
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    if (m_dir.isValid() && QFile::setPermissions(m_dir.path(), everyone) && QFile::copy(program, copy)
        && QFile::setPermissions(copy, everyone))
        m_path = copy;
}

QByteArray TestWorkspace::readFile(const QString &name) const
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

}  // namespace kelvara::test
