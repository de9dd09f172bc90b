#include "testworkspace.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtTest>

namespace kelvara::test {

TestWorkspace::TestWorkspace(const QLocale &locale)
    : m_previousDir(QDir::currentPath()), m_previousLocale(QLocale())
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY2(m_dir.isValid(), "cannot make a temporary directory");
    QDir::setCurrent(m_dir.path());
    QLocale::setDefault(locale);
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

QByteArray TestWorkspace::readFile(const QString &name) const
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace kelvara::test
