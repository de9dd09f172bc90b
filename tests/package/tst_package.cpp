#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kAppId = QStringLiteral("org.kelvara.Kelvara");

// Every file below a folder, by its path relative to the folder.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// The value of a key in a desktop entry's [Desktop Entry] group.
QString desktopEntryValue(const QString &file, const QString &key)
{
    QFile entry(file);
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool inGroup = false;
    while (!entry.atEnd()) {
        const QString line = QString::fromUtf8(entry.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == QLatin1String("[Desktop Entry]");
        else if (inGroup && line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return QString();
}

}  // namespace

// What `cmake --install` lays out, as the desktop and the package tools expect it, and the
// installed program started the way the desktop's menu starts it.
class PackageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void installsItsFiles();
    void validatorsAcceptTheEntryAndMetadata_data();
    void validatorsAcceptTheEntryAndMetadata();
    void answersVersionWithoutADisplay();
    void startsFromItsMenuEntryWithItsDataInTheUsersFolder();

private:
    QString installed(const QString &path) const { return m_root.filePath(QStringLiteral("usr/") + path); }
    QProcessEnvironment newUser(const QString &home) const;

    QTemporaryDir m_root;
};

void PackageTest::initTestCase()
{
    QVERIFY(m_root.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(KELVARA_CMAKE),
                  {QStringLiteral("--install"), QStringLiteral(KELVARA_BUILD_DIR), QStringLiteral("--prefix"),
                   m_root.filePath(QStringLiteral("usr"))});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, install.readAll().constData());
}

void PackageTest::installsItsFiles()
{
    const QStringList expected = {
        QStringLiteral("usr/bin/kelvara"),
        QStringLiteral("usr/share/applications/%1.desktop").arg(kAppId),
        QStringLiteral("usr/share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId),
        QStringLiteral("usr/share/metainfo/%1.metainfo.xml").arg(kAppId),
    };
    QCOMPARE(filesBelow(m_root.path()), expected);
    QVERIFY(QFileInfo(installed(QStringLiteral("bin/kelvara"))).isExecutable());
    // The entry names the installed program and icon; the metadata its entry and a screenshot.
    const QString entry = installed(QStringLiteral("share/applications/%1.desktop").arg(kAppId));
    QCOMPARE(desktopEntryValue(entry, QStringLiteral("Exec")), QStringLiteral("kelvara"));
    QCOMPARE(desktopEntryValue(entry, QStringLiteral("Icon")), kAppId);
    QFile metainfo(installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId)));
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    const QByteArray metadata = metainfo.readAll();
    QVERIFY(metadata.contains(
        QStringLiteral("<launchable type=\"desktop-id\">%1.desktop</launchable>").arg(kAppId).toUtf8()));
    QVERIFY(metadata.contains("<image>https://"));
    QVERIFY(!metadata.contains('@'));
}

void PackageTest::validatorsAcceptTheEntryAndMetadata_data()
{
    QTest::addColumn<QString>("validator");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::newRow("desktop entry") << "desktop-file-validate" << QStringList()
                                   << QStringLiteral("share/applications/%1.desktop").arg(kAppId);
    // Without the network: the screenshot's web address is checked for its form, not fetched.
    QTest::newRow("AppStream metadata") << "appstreamcli" << QStringList{"validate", "--no-net"}
                                        << QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId);
}

void PackageTest::validatorsAcceptTheEntryAndMetadata()
{
    QFETCH(QString, validator);
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    const QString program = QStandardPaths::findExecutable(validator);
    if (program.isEmpty())
        QSKIP(qPrintable(validator + QStringLiteral(" is not installed (scripts/packages.sh installs it)")));
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(program, arguments << installed(file));
    QVERIFY(check.waitForFinished(60000));
    const QByteArray said = check.readAll();
    QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0, said.constData());
    // desktop-file-validate passes an entry with hints; none is wanted.
    QVERIFY2(validator != QLatin1String("desktop-file-validate") || said.trimmed().isEmpty(), said.constData());
}

QProcessEnvironment PackageTest::newUser(const QString &home) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("PATH"),
                       installed(QStringLiteral("bin")) + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    return environment;
}

// A terminal over a remote login has no display: --version and --help answer all the same.
void PackageTest::answersVersionWithoutADisplay()
{
    const QTemporaryDir home;
    QProcessEnvironment environment = newUser(home.path());
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(home.path());
    program.start(installed(QStringLiteral("bin/kelvara")), {QStringLiteral("--version")});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardOutput(), QByteArray("Kelvara " KELVARA_VERSION "\n"));
    QCOMPARE(filesBelow(home.path()), QStringList());
}

// A new user starts Kelvara from the menu: the records go to ~/.local/share/Kelvara, nothing to
// the folder the desktop started it in, and a request to end (as a logout sends) closes it as
// the user would, its settings saved.
void PackageTest::startsFromItsMenuEntryWithItsDataInTheUsersFolder()
{
    const QTemporaryDir home;
    const QTemporaryDir startedIn;
    QStringList exec = desktopEntryValue(installed(QStringLiteral("share/applications/%1.desktop").arg(kAppId)),
                                         QStringLiteral("Exec"))
                           .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QVERIFY(!exec.isEmpty());
    exec.erase(std::remove_if(exec.begin(), exec.end(), [](const QString &word) { return word.startsWith('%'); }),
               exec.end());
    const QProcessEnvironment environment = newUser(home.path());
    const QString command = QStandardPaths::findExecutable(exec.takeFirst(), {installed(QStringLiteral("bin"))});
    QCOMPARE(command, installed(QStringLiteral("bin/kelvara")));

    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(startedIn.path());
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(command, exec);
    QVERIFY(program.waitForStarted());
    const QString data = home.filePath(QStringLiteral(".local/share/Kelvara"));
    const QString settingsFile = home.filePath(QStringLiteral(".config/Kelvara/Kelvara.ini"));
    // The folder is remembered once the window has opened its table there.
    auto remembered = [&] {
        return QSettings(settingsFile, QSettings::IniFormat)
            .value(QStringLiteral("Software/Kelvara/DataFolder/LastUsed"));
    };
    QTRY_COMPARE_WITH_TIMEOUT(remembered().toString(), data, 30000);
    QVERIFY(QFileInfo::exists(data + QStringLiteral("/kelvara.db")));
    QVERIFY(QFileInfo::exists(data + QStringLiteral("/total.txt")));

    program.terminate();
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(filesBelow(startedIn.path()), QStringList());
    // The window's settings were saved as it closed; their key is the program file's name.
    QVERIFY(
        QSettings(settingsFile, QSettings::IniFormat).contains(QStringLiteral("Software/kelvara/TForm1/FormVersion")));
}

QTEST_MAIN(PackageTest)
#include "tst_package.moc"
