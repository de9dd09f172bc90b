#include "app/backupservice.h"
#include "app/runningtotal.h"
#include "app/tform1.h"
#include "dbctrls/tdbedit.h"
#include "namedchild.h"
#include "platform/settingsstore.h"
#include "scripteddialogs.h"
#include "seedjobs.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

void setAutomaticBackups(bool on)
{
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    settings->setValue(QStringLiteral("Backups/Automatic"), on);
    settings->sync();
}

QAction *menuAction(const TForm1 &form, const char *name)
{
    return namedChild<QAction>(&form, name);
}

QStringList backupNames()
{
    return QDir(QStringLiteral("backups")).entryList({QStringLiteral("kelvara-backup-*.db")}, QDir::Files);
}

// Answers the next window the program runs: selects its first row and presses the named button.
std::function<int(QDialog &)> pressInFirstRow(const char *button)
{
    return [button](QDialog &dialog) {
        auto *list = namedChild<QTableWidget>(&dialog, "list");
        if (list->rowCount() == 0)
            return int(QDialog::Rejected);
        list->setCurrentCell(0, 0);
        namedChild<QPushButton>(&dialog, button)->click();
        return dialog.result();
    };
}

}  // namespace

// The window's safety net: its menus, backups made and restored, deleted jobs put back.
class SafetyNetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void menusAndTheirKeys();
    void pagesKeepTheirSize();
    void backUpNowThenRestore();
    void deletedJobComesBackWithItsTime();
    void damagedTableAtStartOffersTheBackup_data();
    void damagedTableAtStartOffersTheBackup();
    void automaticBackupsAtStartAndClose();
    void failedBackupIsSaidOnce();
    void backupFolderIsChosen();
};

void SafetyNetTest::menusAndTheirKeys()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QStringList items;
    for (QAction *menu : form.menuBar()->actions()) {
        items << menu->text();
        for (QAction *action : menu->menu()->actions()) {
            if (!action->isSeparator())
                items << QStringLiteral("  ") + action->text();
        }
    }
    QCOMPARE(items,
             (QStringList{"&File", "  &Open Data Folder...", "  &Export...", "  &Print Job Sheet...",
                          "  S&tatistics...", "  Back &Up Now", "  &Restore From Backup...", "  &Deleted Jobs...",
                          "  Backup &Folder...", "  Back Up &Automatically", "  E&xit", "&Help", "  &About Kelvara"}));
    // Alt+F in a box opens the File menu and types nothing.
    auto *firstName = namedChild<TDBEdit>(&form, "DBEdit2");
    firstName->setFocus();
    QTest::keyClick(firstName, Qt::Key_F, Qt::AltModifier);
    auto *file = namedChild<QMenu>(&form, "FileMenu");
    QTRY_VERIFY(file->isVisible());
    QCOMPARE(firstName->text(), QString());
    file->close();

    // Open Data Folder asks for a folder; cancelled, the window stays as it is.
    menuAction(form, "OpenDataFolder")->trigger();
    QCOMPARE(dialogs->folderRequests.size(), 1);
    QVERIFY(form.isVisible());
    QCOMPARE(namedChild<QLabel>(&form, "DataFolderStatus")->text(),
             QStringLiteral("Data folder: %1").arg(QDir::toNativeSeparators(QDir::currentPath())));

    menuAction(form, "About")->trigger();
    const QString about = dialogs->texts(ScriptedDialogs::Kind::Information).value(0);
    for (const QString &part :
         {QDir::toNativeSeparators(QDir::currentPath()), QDir::toNativeSeparators(workspace.settingsFile()),
          QDir::toNativeSeparators(QDir::current().filePath(QStringLiteral("backups")))})
        QVERIFY2(about.contains(part), qPrintable(about));
}

void SafetyNetTest::pagesKeepTheirSize()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // The window grew by the bars above and below the pages, which keep their designed size.
    const int bars = form.menuBar()->height() + form.statusBar()->height();
    QCOMPARE(form.frameGeometry().size(), QSize(997, 723 + bars));
    QCOMPARE(namedChild<QTabWidget>(&form, "PageControl1")->size(), QSize(form.width(), form.height() - bars));
}

void SafetyNetTest::backUpNowThenRestore()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedJobs({{QStringLiteral("Ødegård"), 90}, {QStringLiteral("Müller"), 30}});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    Table *table = form.table();

    // What is typed but not saved goes into the backup too: Back Up Now saves it first.
    QTest::keyClicks(namedChild<TDBEdit>(&form, "DBEdit2"), QStringLiteral("Kari"));
    menuAction(form, "BackUpNow")->trigger();
    QTRY_COMPARE(dialogs->texts(ScriptedDialogs::Kind::Information).size(), 1);
    QVERIFY2(dialogs->texts().first().startsWith(QStringLiteral("The backup was made and verified: 2 jobs")),
             qPrintable(dialogs->texts().first()));
    QCOMPARE(backupNames().size(), 1);

    // A mistake: one job deleted, another changed.
    table->first();
    table->deleteRecord();
    table->edit();
    table->fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("wrong"));
    table->post();
    dialogs->clear();

    dialogs->onExec = pressInFirstRow("restore");
    menuAction(form, "RestoreFromBackup")->trigger();
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Confirm).size(), 1);
    QVERIFY(dialogs->texts(ScriptedDialogs::Kind::Confirm).first().contains(QLatin1String("with 2 jobs and 0 photos")));
    QCOMPARE(table->recordCount(), 2);
    QStringList names;
    for (table->first(); !table->eof(); table->next())
        names << table->fieldByName(QStringLiteral("Lastname"))->asString();
    names.sort();
    QCOMPARE(names, (QStringList{QStringLiteral("Müller"), QStringLiteral("Ødegård")}));
    table->first();
    QCOMPARE(table->fieldByName(QStringLiteral("Firstname"))->asString(), QStringLiteral("Kari"));
    // The table as it was is kept beside; the total is the restored jobs'.
    const QString told = dialogs->texts(ScriptedDialogs::Kind::Information).value(0);
    QVERIFY2(told.contains(QLatin1String("kelvara-before-restore-")), qPrintable(told));
    QCOMPARE(QDir().entryList({QStringLiteral("kelvara-before-restore-*.db")}, QDir::Files).size(), 1);
    QCOMPARE(namedChild<QLineEdit>(&form, "Edit1")->text(), QStringLiteral("2"));
    QCOMPARE(namedChild<QLineEdit>(&form, "Edit4")->text(), QStringLiteral("0"));
}

void SafetyNetTest::deletedJobComesBackWithItsTime()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedJobs({{QStringLiteral("Berg"), 45}, {QStringLiteral("Sørum"), 75}});
    writeTotalFile(120);
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    Table *table = form.table();
    QCOMPARE(namedChild<QLineEdit>(&form, "Edit1")->text(), QStringLiteral("2"));
    table->last();
    table->deleteRecord();
    // The total counts time spent: the delete leaves it.
    QCOMPARE(namedChild<QLineEdit>(&form, "Edit1")->text(), QStringLiteral("2"));

    dialogs->onExec = [](QDialog &dialog) {
        auto *list = namedChild<QTableWidget>(&dialog, "list");
        if (list->rowCount() != 1 || list->item(0, 1)->text() != QStringLiteral("Sørum"))
            return int(QDialog::Rejected);
        list->setCurrentCell(0, 0);
        namedChild<QPushButton>(&dialog, "putBack")->click();
        return dialog.result();
    };
    menuAction(form, "DeletedJobs")->trigger();
    QCOMPARE(dialogs->execCount, 1);
    QCOMPARE(table->recordCount(), 2);
    QCOMPARE(table->fieldByName(QStringLiteral("Lastname"))->asString(), QStringLiteral("Sørum"));
    QCOMPARE(table->fieldByName(QStringLiteral("timeused"))->asInteger(), 75);
    // Its minutes count again: 120 + 75 = 3 h 15, in the file too.
    QCOMPARE(readTotalFile(), 195);
    QCOMPARE(namedChild<QLineEdit>(&form, "Edit1")->text(), QStringLiteral("3"));
    QCOMPARE(namedChild<QLineEdit>(&form, "Edit4")->text(), QStringLiteral("15"));
    QVERIFY(dialogs->texts(ScriptedDialogs::Kind::Error).isEmpty());
}

void SafetyNetTest::damagedTableAtStartOffersTheBackup_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("restored") << true;
    QTest::newRow("declined: empty table") << false;
}

void SafetyNetTest::damagedTableAtStartOffersTheBackup()
{
    QFETCH(bool, accept);
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedJobs({{QStringLiteral("Berg"), 45}, {QStringLiteral("Sørum"), 75}});
    backups::BackupFolder(QStringLiteral("backups")).make(QStringLiteral("kelvara.db"));
    {
        QFile file(QStringLiteral("kelvara.db"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(4096);
        file.write(QByteArray(4096 * 3, '\x5a'));
    }
    dialogs->confirmAnswers = {accept};
    TForm1 form;
    QVERIFY(!form.startRefused());
    const QStringList confirms = dialogs->texts(ScriptedDialogs::Kind::Confirm);
    QCOMPARE(confirms.size(), 1);
    QVERIFY2(confirms.first().contains(QLatin1String("Restore the newest backup")), qPrintable(confirms.first()));
    QVERIFY2(confirms.first().contains(QLatin1String("with 2 jobs")), qPrintable(confirms.first()));
    QVERIFY(!form.keptDamagedTable().isEmpty());
    QVERIFY(QFileInfo::exists(form.keptDamagedTable()));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.table()->recordCount(), accept ? 2 : 1);  // declined: the one blank job to type into
    QCOMPARE(namedChild<QLineEdit>(&form, "Edit1")->text(), accept ? QStringLiteral("2") : QStringLiteral("0"));
}

void SafetyNetTest::automaticBackupsAtStartAndClose()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    setAutomaticBackups(true);
    seedJobs({{QStringLiteral("Berg"), 45}});
    {
        TForm1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // No backup yet: one is made beside the window.
        QTRY_COMPARE(backupNames().size(), 1);
        QTRY_VERIFY(!form.backupService()->running());
        QVERIFY(namedChild<QLabel>(&form, "BackupStatus")->text().startsWith(QLatin1String("Backed up at")));
        // A save marks the table changed: the close backs it up again.
        form.table()->edit();
        form.table()->fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("Berge"));
        form.table()->post();
        form.close();
        QCOMPARE(backupNames().size(), 2);
    }
    {
        // Nothing changed and a fresh backup: neither the start nor the close makes another.
        TForm1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCoreApplication::processEvents();
        QVERIFY(!form.backupService()->running());
        form.close();
        QCOMPARE(backupNames().size(), 2);
    }
    {
        // A change backed up with Back Up Now needs no second backup at the close.
        TForm1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.table()->edit();
        form.table()->fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("Bergen"));
        form.table()->post();
        menuAction(form, "BackUpNow")->trigger();
        QTRY_COMPARE(backupNames().size(), 3);
        QTRY_VERIFY(!form.backupService()->running());
        form.close();
        QCOMPARE(backupNames().size(), 3);
    }
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Information).size(), 1);  // Back Up Now's report
    QCOMPARE(dialogs->texts().size(), 1);
}

void SafetyNetTest::failedBackupIsSaidOnce()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    setAutomaticBackups(true);
    seedJobs({{QStringLiteral("Berg"), 45}});
    // The chosen folder is taken by a file: no backup can go there.
    workspace.writeFile(QStringLiteral("stick"), "a file");
    BackupService(QDir::current().filePath(QStringLiteral("kelvara.db")), QStringLiteral("kelvara"))
        .setFolder(QDir::current().filePath(QStringLiteral("stick")));
    {
        TForm1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTRY_COMPARE(dialogs->texts(ScriptedDialogs::Kind::Warning).size(), 1);
        QVERIFY2(dialogs->texts().first().startsWith(QLatin1String("The backup could not be made: the folder")),
                 qPrintable(dialogs->texts().first()));
        form.close();
        // The same cause at the close is not said again; the table is untouched.
        QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Warning).size(), 1);
    }
    // It is due again at the next start.
    QVERIFY(BackupService(QDir::current().filePath(QStringLiteral("kelvara.db")), QStringLiteral("kelvara")).due());
}

void SafetyNetTest::backupFolderIsChosen()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(QDir().mkdir(QStringLiteral("stick")));
    const QString stick = QDir::current().filePath(QStringLiteral("stick"));
    // Not a folder: refused, with its name; the folder in use stays.
    dialogs->folderAnswers = {QDir::current().filePath(QStringLiteral("missing")), stick};
    menuAction(form, "BackupFolder")->trigger();
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error).size(), 1);
    QVERIFY2(dialogs->texts(ScriptedDialogs::Kind::Error).first().contains(QLatin1String("missing")),
             qPrintable(dialogs->texts(ScriptedDialogs::Kind::Error).first()));
    QCOMPARE(form.backupService()->folder(), QDir::current().filePath(QStringLiteral("backups")));
    // A folder that takes files: the backups go there from now on, also after a restart.
    menuAction(form, "BackupFolder")->trigger();
    QCOMPARE(dialogs->folderRequests.size(), 2);
    QCOMPARE(form.backupService()->folder(), stick);
    QCOMPARE(BackupService(QDir::current().filePath(QStringLiteral("kelvara.db")), QStringLiteral("kelvara")).folder(),
             stick);
    menuAction(form, "BackUpNow")->trigger();
    QTRY_VERIFY(!form.backupService()->running());
    QCOMPARE(QDir(stick).entryList({QStringLiteral("kelvara-backup-*.db")}, QDir::Files).size(), 1);
}

QTEST_MAIN(SafetyNetTest)
#include "tst_safetynet.moc"
