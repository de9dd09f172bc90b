#include "app/commandline.h"
#include "app/datafolder.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "platform/datafolderlock.h"
#include "scripteddialogs.h"
#include "testworkspace.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <optional>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// A user's home and XDG_DATA_HOME of the test's own, with the standard locations the system's
// rules give rather than the toolkit's test folders; all put back when it goes.
class UserScope
{
public:
    explicit UserScope(const std::optional<QString> &dataHome)
        : m_home(qgetenv("HOME")), m_dataHome(qgetenv("XDG_DATA_HOME")),
          m_hadDataHome(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        QStandardPaths::setTestModeEnabled(false);
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        if (dataHome)
            qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(*dataHome)));
        else
            qunsetenv("XDG_DATA_HOME");
    }
    ~UserScope()
    {
        qputenv("HOME", m_home);
        if (m_hadDataHome)
            qputenv("XDG_DATA_HOME", m_dataHome);
        else
            qunsetenv("XDG_DATA_HOME");
        QStandardPaths::setTestModeEnabled(true);
    }
    UserScope(const UserScope &) = delete;
    UserScope &operator=(const UserScope &) = delete;

    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_home;
    QByteArray m_dataHome;
    bool m_hadDataHome;
};

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

TForm1 *shownForm()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *form = qobject_cast<TForm1 *>(widget); form && form->isVisible())
            return form;
    }
    return nullptr;
}

}  // namespace

// Which folder the program keeps its records in, how it is made ready, and the switch from one
// to another.
class DataFolderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choosesTheFolder_data();
    void choosesTheFolder();
    void unusableFolderIsNamedAndAnotherChosen_data();
    void unusableFolderIsNamedAndAnotherChosen();
    void readsTheCommandLine_data();
    void readsTheCommandLine();
    void switchesFoldersOneAtATime();
};

void DataFolderTest::choosesTheFolder_data()
{
    QTest::addColumn<bool>("tableInStart");  // the start folder holds kelvara.db
    QTest::addColumn<QString>("named");      // --data's folder, relative to the start folder
    QTest::addColumn<bool>("remembered");    // a folder was used before
    QTest::addColumn<QString>("dataHome");   // XDG_DATA_HOME below the home folder; empty: unset
    QTest::addColumn<QString>("expected");   // start, named, remembered, or a folder below home
    QTest::newRow("terminal in a folder with a table") << true << "" << true << ""
                                                       << "start";
    QTest::newRow("no table, first time, XDG_DATA_HOME unset") << false << "" << false << ""
                                                               << ".local/share/Kelvara";
    QTest::newRow("no table, first time, XDG_DATA_HOME set") << false << "" << false << "data"
                                                             << "data/Kelvara";
    QTest::newRow("no table, a folder used before") << false << "" << true << "data"
                                                    << "remembered";
    QTest::newRow("--data over a table in the start folder") << true << "elsewhere/records" << true << ""
                                                             << "named";
    QTest::newRow("--data relative to the start folder") << false << "records" << false << ""
                                                         << "named";
}

// The folder chosen, made when missing; the start folder is left as it was unless it is the one.
void DataFolderTest::choosesTheFolder()
{
    QFETCH(bool, tableInStart);
    QFETCH(QString, named);
    QFETCH(bool, remembered);
    QFETCH(QString, dataHome);
    QFETCH(QString, expected);
    TestWorkspace workspace;
    const QTemporaryDir elsewhere;
    const UserScope user(dataHome.isEmpty() ? std::nullopt : std::optional<QString>(dataHome));
    ScriptedDialogsScope dialogs;
    if (tableInStart)
        workspace.writeFile(QStringLiteral("kelvara.db"), QByteArray());
    const QString usedBefore = elsewhere.filePath(QStringLiteral("used before"));
    if (remembered) {
        QVERIFY(QDir().mkpath(usedBefore));
        DataFolder::remember(usedBefore);
        QCOMPARE(DataFolder::remembered(), usedBefore);
    }
    const QString namedFolder = named.startsWith(QLatin1String("elsewhere/"))
        ? elsewhere.filePath(named.mid(int(qstrlen("elsewhere/"))))
        : named;
    const QStringList startBefore = entriesOf(workspace.path());

    const QString chosen = DataFolder::choose(namedFolder, workspace.path());
    QString wanted;
    if (expected == QLatin1String("start"))
        wanted = workspace.path();
    else if (expected == QLatin1String("named"))
        wanted = QDir(workspace.path()).absoluteFilePath(namedFolder);
    else if (expected == QLatin1String("remembered"))
        wanted = usedBefore;
    else
        wanted = user.filePath(expected);
    QCOMPARE(QDir::cleanPath(chosen), QDir::cleanPath(wanted));

    const QString settled = DataFolder::settle(chosen);
    QCOMPARE(settled, QDir(wanted).absolutePath());
    QVERIFY(QFileInfo(settled).isDir());
    QCOMPARE(dialogs->texts(), QStringList());
    // Readying the folder leaves nothing in it, and nothing in the folder started from.
    if (expected != QLatin1String("named") || named.startsWith(QLatin1String("elsewhere/")))
        QCOMPARE(entriesOf(workspace.path()), startBefore);
    if (settled != workspace.path())
        QCOMPARE(entriesOf(settled), QStringList());
}

void DataFolderTest::unusableFolderIsNamedAndAnotherChosen_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<bool>("giveUp");
    QTest::newRow("a file in the folder's place") << "file"
                                                  << "it is a file, not a folder" << false;
    QTest::newRow("below a file") << "below a file"
                                  << "it cannot be made (Not a directory)" << false;
    // A folder even the superuser cannot write a file in.
    QTest::newRow("a folder that takes no file") << "no files"
                                                 << "no file can be written in it" << false;
    QTest::newRow("the user gives up") << "below a file"
                                       << "it cannot be made" << true;
}

// The message names the folder and why; the user chooses another folder, or ends.
void DataFolderTest::unusableFolderIsNamedAndAnotherChosen()
{
    QFETCH(QString, kind);
    QFETCH(QString, cause);
    QFETCH(bool, giveUp);
    TestWorkspace workspace;
    const QTemporaryDir other;
    workspace.writeFile(QStringLiteral("notes"), "a file");
    QString folder;
    if (kind == QLatin1String("file"))
        folder = workspace.filePath(QStringLiteral("notes"));
    else if (kind == QLatin1String("below a file"))
        folder = workspace.filePath(QStringLiteral("notes/Kelvara"));
    else
        folder = QStringLiteral("/proc");
    ScriptedDialogsScope dialogs;
    dialogs->confirmAnswers = {!giveUp};
    dialogs->folderAnswers = {other.path()};

    const QString settled = DataFolder::settle(folder);
    QCOMPARE(settled, giveUp ? QString() : other.path());
    const QStringList asked = dialogs->texts(ScriptedDialogs::Kind::Confirm);
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.first().startsWith(QStringLiteral("Kelvara cannot keep its records in the folder %1: %2")
                                          .arg(QDir::toNativeSeparators(folder), cause)),
             qPrintable(asked.first()));
    QVERIFY2(asked.first().endsWith(QStringLiteral("Cancel ends Kelvara.")), qPrintable(asked.first()));
    QCOMPARE(dialogs->folderRequests.size(), giveUp ? 0 : 1);
    if (!giveUp)
        QCOMPARE(dialogs->folderRequests.first().directory,
                 kind == QLatin1String("no files") ? folder : workspace.path());
    QCOMPARE(entriesOf(workspace.path()), QStringList{QStringLiteral("notes")});
}

void DataFolderTest::readsTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("nothing") << QStringList() << "" << false << 0;
    QTest::newRow("--data DIR") << QStringList{"--data", "/srv/bees"} << "/srv/bees" << false << 0;
    QTest::newRow("--data=DIR") << QStringList{"--data=bees"} << "bees" << false << 0;
    // run.sh names the folder it was started in; one named after it wins.
    QTest::newRow("--data twice: the last") << QStringList{"--data", "/a", "--data", "/b"} << "/b" << false << 0;
    QTest::newRow("--help") << QStringList{"--help"} << "" << true << 0;
    QTest::newRow("--version") << QStringList{"--version"} << "" << true << 0;
    QTest::newRow("an unknown option") << QStringList{"--colour"} << "" << true << 1;
    QTest::newRow("--data without a folder") << QStringList{"--data"} << "" << true << 1;
    QTest::newRow("--data with an empty folder") << QStringList{"--data", ""} << "" << true << 1;
    QTest::newRow("a stray argument") << QStringList{"jobs.db"} << "" << true << 1;
}

void DataFolderTest::readsTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, folder);
    QFETCH(bool, answered);
    QFETCH(int, exitCode);
    const CommandLine line = readCommandLine(QStringList{QStringLiteral("kelvara")} + arguments);
    QCOMPARE(line.dataFolder, folder);
    QCOMPARE(line.answered, answered);
    QCOMPARE(line.exitCode, exitCode);
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral(KELVARA_VERSION));
}

// A switch closes the window and lets go of the folder before the next folder's window opens;
// a folder that another copy holds, or that cannot be used, leaves the window as it was.
void DataFolderTest::switchesFoldersOneAtATime()
{
    TestWorkspace workspace;
    const QTemporaryDir others;
    const QString first = workspace.filePath(QStringLiteral("first"));
    const QString second = others.filePath(QStringLiteral("second"));
    const QString held = others.filePath(QStringLiteral("held"));
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(held));
    DataFolderLock otherCopy(held);
    QVERIFY(otherCopy.tryLock());
    workspace.writeFile(QStringLiteral("notes"), "a file");
    ScriptedDialogsScope dialogs;
    dialogs->confirmAnswers = {false};  // a folder that cannot be used: keep the one open

    QStringList steps;
    const QDeadlineTimer giveUp(60000);
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        TForm1 *form = shownForm();
        if (giveUp.hasExpired()) {
            steps << QStringLiteral("gave up");
            QApplication::closeAllWindows();
            return;
        }
        if (!form)
            return;
        const QString here = QDir::currentPath();
        if (here == first && steps.isEmpty()) {
            steps << QStringLiteral("first");
            DataFolderLock probe(first);
            if (probe.tryLock())
                steps << QStringLiteral("first not held");
            if (switchDataFolder(*form, held) || !form->isVisible())
                steps << QStringLiteral("switched to a held folder");
            if (switchDataFolder(*form, workspace.filePath(QStringLiteral("notes"))) || !form->isVisible())
                steps << QStringLiteral("switched to a file");
            if (!switchDataFolder(*form, second))
                steps << QStringLiteral("switch refused");
        } else if (here == QFileInfo(second).canonicalFilePath() && !steps.contains(QStringLiteral("second"))) {
            steps << QStringLiteral("second");
            DataFolderLock probe(first);
            if (!probe.tryLock())
                steps << QStringLiteral("first still held");
            if (!QFileInfo::exists(QDir(second).filePath(QStringLiteral("kelvara.db"))))
                steps << QStringLiteral("no table in second");
            if (DataFolder::remembered() != QFileInfo(second).canonicalFilePath())
                steps << QStringLiteral("second not remembered");
            form->close();
        }
    });
    driver.start();
    const int code = runInDataFolders(first);
    driver.stop();
    QCOMPARE(code, 0);
    QCOMPARE(steps, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    const QStringList warnings = dialogs->texts(ScriptedDialogs::Kind::Warning);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(QDir::toNativeSeparators(QFileInfo(held).canonicalFilePath())),
             qPrintable(warnings.first()));
    const QStringList asked = dialogs->texts(ScriptedDialogs::Kind::Confirm);
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.first().endsWith(QStringLiteral("Cancel keeps the folder that is open now.")),
             qPrintable(asked.first()));
    // Each folder has its own table; nothing of the program landed in the folder started from.
    QVERIFY(QFileInfo::exists(QDir(first).filePath(QStringLiteral("kelvara.db"))));
    QCOMPARE(entriesOf(workspace.path()), (QStringList{QStringLiteral("first"), QStringLiteral("notes")}));
}

QTEST_MAIN(DataFolderTest)
#include "tst_datafolder.moc"
