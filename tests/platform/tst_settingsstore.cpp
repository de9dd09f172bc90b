#include "printerlist.h"
#include "settingsstore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvara;

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keyPathsBecomeGroups_data();
    void keyPathsBecomeGroups();
    void aKeyPathLandsAsASectionOfTheFile();
    void aScopeGivesTheUsersStoreBack();
    void printerListCanBeReplaced();
};

void SettingsStoreTest::keyPathsBecomeGroups_data()
{
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<QString>("group");
    QTest::newRow("registry form") << "\\Software\\Kelvara\\TForm1" << "Software/Kelvara/TForm1";
    QTest::newRow("no leading backslash") << "Software\\EnhancedGrid" << "Software/EnhancedGrid";
    QTest::newRow("trailing backslash") << "\\Software\\EnhancedGrid\\" << "Software/EnhancedGrid";
    QTest::newRow("root") << "\\" << "";
}

void SettingsStoreTest::keyPathsBecomeGroups()
{
    QFETCH(QString, keyPath);
    QFETCH(QString, group);
    QCOMPARE(SettingsStore::group(keyPath), group);
}

void SettingsStoreTest::aKeyPathLandsAsASectionOfTheFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Kelvara.ini"));
    SettingsFileScope scope(file);
    {
        auto settings = SettingsStore::open();
        settings->beginGroup(SettingsStore::group(QStringLiteral("\\Software\\Kelvara\\TForm1")));
        settings->setValue(QStringLiteral("Visible"), QStringLiteral("1"));
        settings->endGroup();
        settings->sync();
        QCOMPARE(settings->status(), QSettings::NoError);
    }
    QFile ini(file);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    // Qt writes the first level as the section and the rest of the path in the value's name.
    QCOMPARE(text, QByteArray("[Software]\nKelvara\\TForm1\\Visible=1\n"));
    auto again = SettingsStore::open();
    QCOMPARE(again->value(QStringLiteral("Software/Kelvara/TForm1/Visible")).toString(), QStringLiteral("1"));
}

void SettingsStoreTest::aScopeGivesTheUsersStoreBack()
{
    QStandardPaths::setTestModeEnabled(true);
    const QString users = SettingsStore::open()->fileName();
    {
        QTemporaryDir dir;
        SettingsFileScope scope(dir.filePath(QStringLiteral("own.ini")));
        QCOMPARE(SettingsStore::open()->fileName(), dir.filePath(QStringLiteral("own.ini")));
    }
    QCOMPARE(SettingsStore::open()->fileName(), users);
    QVERIFY(users.endsWith(QStringLiteral("Kelvara/Kelvara.ini")));
}

void SettingsStoreTest::printerListCanBeReplaced()
{
    const QStringList system = PrinterList::names();
    {
        PrinterListScope none(QStringList{});
        QCOMPARE(PrinterList::count(), 0);
        PrinterListScope two({QStringLiteral("Office"), QStringLiteral("Shed")});
        QCOMPARE(PrinterList::count(), 2);
    }
    QCOMPARE(PrinterList::names(), system);
}

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
