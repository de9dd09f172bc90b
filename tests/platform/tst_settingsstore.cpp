#include "filekind.h"
#include "platform/settingsstore.h"

#include <QDir>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kelvara;

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keyPathsBecomeGroups_data();
    void keyPathsBecomeGroups();
    void aKeyPathLandsAsASectionOfTheFile();
    void aScopeGivesTheUsersStoreBack();
    void onlyARegularFileIsReplaced_data();
    void onlyARegularFileIsReplaced();
    void whatAKilledSaveLeftGoes_data();
    void whatAKilledSaveLeftGoes();
};

void SettingsStoreTest::keyPathsBecomeGroups_data()
{
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<QString>("group");
    QTest::newRow("registry form") << "\\Software\\Kelvara\\TForm1"
                                   << "Software/Kelvara/TForm1";
    QTest::newRow("no leading backslash") << "Software\\EnhancedGrid"
                                          << "Software/EnhancedGrid";
    QTest::newRow("trailing backslash") << "\\Software\\EnhancedGrid\\"
                                        << "Software/EnhancedGrid";
    QTest::newRow("root") << "\\"
                          << "";
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

namespace {

using test::fileKindOf;

// A socket left in the file system, as a program that listens on one leaves it.
bool makeSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || size_t(name.size()) >= sizeof(address.sun_path))
        return false;
    qstrcpy(address.sun_path, name.constData());
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

}  // namespace

void SettingsStoreTest::onlyARegularFileIsReplaced_data()
{
    QTest::addColumn<QString>("target");  // what the settings name leads to
    QTest::addColumn<bool>("throughLink");
    QTest::addColumn<QString>("cause");  // empty: saved
    QTest::newRow("link to a file") << "file" << true << QString();
    QTest::newRow("link to a device") << "device" << true << "is not a regular file";
    QTest::newRow("link to a socket") << "socket" << true << "is not a regular file";
    QTest::newRow("socket") << "socket" << false << "is not a regular file";
    QTest::newRow("link to nothing") << "none" << true << "is a link to a file that does not exist";
}

// A save is written beside the file and renamed over it: that may replace a regular file, the
// one a link leads to (the link stays), and nothing else.
void SettingsStoreTest::onlyARegularFileIsReplaced()
{
    QFETCH(QString, target);
    QFETCH(bool, throughLink);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("elsewhere")));
    const QString targetFile = dir.filePath(QStringLiteral("elsewhere/target"));
    if (target == QLatin1String("file")) {
        QFile file(targetFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Software]\nOld=1\n");
    } else if (target == QLatin1String("device")) {
        // A device of the test's own that reads and writes nothing, as /dev/null does.
        if (::mknod(QFile::encodeName(targetFile).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("this account may not make device nodes");
    } else if (target == QLatin1String("socket")) {
        QVERIFY(makeSocket(targetFile));
    }
    const QString ini = throughLink ? dir.filePath(QStringLiteral("Kelvara.ini")) : targetFile;
    if (throughLink)
        QVERIFY(QFile::link(targetFile, ini));
    const QString kindBefore = fileKindOf(targetFile);
    SettingsFileScope scope(ini);

    QCOMPARE(SettingsStore::refusal(), cause.isEmpty() ? QString() : ini + QLatin1Char(' ') + cause);
    {
        auto settings = SettingsStore::open();
        settings->setValue(QStringLiteral("Software/New"), QStringLiteral("2"));
        settings->sync();
        QCOMPARE(settings->status() == QSettings::NoError, cause.isEmpty());
    }

    QCOMPARE(fileKindOf(targetFile), kindBefore);
    if (throughLink)
        QCOMPARE(fileKindOf(ini), QStringLiteral("link"));
    if (cause.isEmpty()) {
        auto again = SettingsStore::open();
        QCOMPARE(again->value(QStringLiteral("Software/Old")).toString(), QStringLiteral("1"));
        QCOMPARE(again->value(QStringLiteral("Software/New")).toString(), QStringLiteral("2"));
    }
    // Nothing is left beside the target.
    QCOMPARE(QDir(dir.filePath(QStringLiteral("elsewhere")))
                 .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             target == QLatin1String("none") ? QStringList() : QStringList{QStringLiteral("target")});
}

void SettingsStoreTest::whatAKilledSaveLeftGoes_data()
{
    QTest::addColumn<QString>("lock");     // none, empty, ended, being made, live
    QTest::addColumn<QString>("besides");  // a file beside Kelvara.ini
    QTest::addColumn<bool>("lockStays");
    QTest::addColumn<bool>("besidesStays");
    QTest::newRow("empty lock of a save killed before writing it") << "empty"
                                                                   << "" << false << false;
    QTest::newRow("lock of a save that ended") << "ended"
                                               << "" << false << false;
    QTest::newRow("new file of a save killed before the rename") << "none"
                                                                 << "Kelvara.ini.qgjzQp" << false << false;
    QTest::newRow("both") << "empty"
                          << "Kelvara.ini.AbQrcd" << false << false;
    QTest::newRow("the user's own copy") << "none"
                                         << "Kelvara.ini.backup" << false << true;
    QTest::newRow("the user's dated copy") << "none"
                                           << "Kelvara.ini.2026Dc" << false << true;
    QTest::newRow("another name") << "none"
                                  << "Kelvara.ini.AbQrcd.txt" << false << true;
    QTest::newRow("lock being made by a running save") << "being made"
                                                       << "Kelvara.ini.AbQrcd" << true << true;
    QTest::newRow("lock of a running save") << "live"
                                            << "Kelvara.ini.AbQrcd" << true << true;
}

// A save killed half-way leaves its lock file (empty when killed before writing it) or its new
// file; the next use of the store recognises them at once and removes them, never what a save
// that is running holds.
void SettingsStoreTest::whatAKilledSaveLeftGoes()
{
    QFETCH(QString, lock);
    QFETCH(QString, besides);
    QFETCH(bool, lockStays);
    QFETCH(bool, besidesStays);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Kelvara.ini"));
    const QString lockFile = ini + QStringLiteral(".lock");
    auto write = [](const QString &name, const QByteArray &bytes) {
        QFile file(name);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    QVERIFY(write(ini, "[Software]\nKept=1\n"));
    if (!besides.isEmpty())
        QVERIFY(write(dir.filePath(besides), "[Software]\nHalf"));
    QLockFile running(lockFile);
    int holder = -1;
    if (lock == QLatin1String("empty") || lock == QLatin1String("being made")) {
        QVERIFY(write(lockFile, QByteArray()));
    } else if (lock == QLatin1String("ended")) {
        // No process has a number this large.
        QVERIFY(write(lockFile, "2147483646\nKelvara\n" + QSysInfo::machineHostName().toUtf8() + "\n"));
    } else if (lock == QLatin1String("live")) {
        QVERIFY(running.tryLock(0));
    }
    if (lock == QLatin1String("being made")) {
        // A save holds its lock file from the moment it made it, before it writes its number.
        holder = ::open(QFile::encodeName(lockFile).constData(), O_RDONLY);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    SettingsFileScope scope(ini);

    auto settings = SettingsStore::open();

    QCOMPARE(QFileInfo::exists(lockFile), lockStays);
    if (!besides.isEmpty())
        QCOMPARE(QFileInfo::exists(dir.filePath(besides)), besidesStays);
    QCOMPARE(settings->value(QStringLiteral("Software/Kept")).toString(), QStringLiteral("1"));
    if (holder >= 0)
        ::close(holder);
    running.unlock();
}

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
