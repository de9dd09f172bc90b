#pragma once

#include "platform/settingsstore.h"

#include <QLocale>
#include <QString>
#include <QTemporaryDir>

namespace kelvara::test {

// A test's own working directory, settings file and locale, undone when it goes.
// The locale is British by default: day before month, '/' between, '.' as decimal point.
class TestWorkspace
{
public:
    explicit TestWorkspace(const QLocale &locale = QLocale(QLocale::English, QLocale::UnitedKingdom));
    ~TestWorkspace();
    TestWorkspace(const TestWorkspace &) = delete;
    TestWorkspace &operator=(const TestWorkspace &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // The per-user settings store of the test, kept outside the working directory.
    QString settingsFile() const { return m_settingsDir.filePath(QStringLiteral("Kelvara.ini")); }

    // Writes bytes to a file in the workspace and gives its path.
    QString writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_settingsDir;
    SettingsFileScope m_settings{settingsFile()};
    QString m_previousDir;
    QLocale m_previousLocale;
};

// A copy of the running test program that another user can start, whatever the permissions
// of the folder it was built in. The copy lives in its own temporary folder.
class SharedProgramCopy
{
public:
    SharedProgramCopy();
    QString path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

}  // namespace kelvara::test
