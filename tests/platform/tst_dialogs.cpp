#include "folderwatch.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "scripteddialogs.h"
#include "store/error.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QFileDialog>
#include <QtTest>

#include <stdexcept>


using namespace kelvara;

class DialogsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scriptedDialogsRecordAndAnswer();
    void scopePutsThePreviousDialogsBack();
    void guardedReportsWhatTheBodyThrows_data();
    void guardedReportsWhatTheBodyThrows();
    void fileDialogLeavesTheTableFilesAlone_data();
    void fileDialogLeavesTheTableFilesAlone();
};

void DialogsTest::scriptedDialogsRecordAndAnswer()
{
    test::TestWorkspace workspace;
    ScriptedDialogsScope scripted;
    scripted->confirmAnswers = {false, true};
    scripted->defaultConfirm = false;
    scripted->openAnswers = {QStringLiteral("a.jpg"), QString()};

    dialogs().warning(nullptr, QStringLiteral("careful"));
    QCOMPARE(dialogs().confirm(nullptr, QStringLiteral("Delete record?")), false);
    QCOMPARE(dialogs().confirm(nullptr, QStringLiteral("Delete record?")), true);
    QCOMPARE(dialogs().confirm(nullptr, QStringLiteral("Delete record?")), false);
    dialogs().error(nullptr, QStringLiteral("broken"));
    const QStringList filters{QStringLiteral("JPEG Image File (*.jpg)")};
    QCOMPARE(dialogs().openFileName(nullptr, QString(), QString(), filters), QStringLiteral("a.jpg"));
    QCOMPARE(dialogs().openFileName(nullptr, QString(), QString(), filters), QString());
    QCOMPARE(dialogs().openFileName(nullptr, QString(), QString(), filters), QString());

    QCOMPARE(scripted->texts(),
             (QStringList{"careful", "Delete record?", "Delete record?", "Delete record?", "broken"}));
    QCOMPARE(scripted->texts(ScriptedDialogs::Kind::Error), QStringList{"broken"});
    QCOMPARE(scripted->texts(ScriptedDialogs::Kind::Confirm).size(), 3);
    QCOMPARE(scripted->openRequests.size(), 3);
    QCOMPARE(scripted->openRequests.first().filters, filters);
    scripted->clear();
    QVERIFY(scripted->texts().isEmpty());
}

void DialogsTest::scopePutsThePreviousDialogsBack()
{
    test::TestWorkspace workspace;
    Dialogs *before = &dialogs();
    {
        ScriptedDialogsScope outer;
        QCOMPARE(&dialogs(), &*outer);
        {
            ScriptedDialogsScope inner;
            dialogs().warning(nullptr, QStringLiteral("inner"));
            QCOMPARE(inner->texts(), QStringList{"inner"});
        }
        QCOMPARE(&dialogs(), &*outer);
        QVERIFY(outer->texts().isEmpty());
    }
    QVERIFY(dynamic_cast<QtDialogs *>(&dialogs()));
    Q_UNUSED(before);
}

void DialogsTest::guardedReportsWhatTheBodyThrows_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("reported");
    QTest::newRow("nothing thrown") << 0 << QStringList{};
    QTest::newRow("our error") << 1 << QStringList{"'x' is not a valid date"};
    QTest::newRow("standard exception") << 2 << QStringList{"standard failure"};
    QTest::newRow("out of memory") << 3 << QStringList{"Out of memory"};
}

void DialogsTest::guardedReportsWhatTheBodyThrows()
{
    QFETCH(int, kind);
    QFETCH(QStringList, reported);
    test::TestWorkspace workspace;
    ScriptedDialogsScope scripted;
    bool ranToEnd = false;
    guarded(nullptr, [&] {
        switch (kind) {
        case 1: throw Error(QStringLiteral("'x' is not a valid date"));
        case 2: throw std::runtime_error("standard failure");
        case 3: throw std::bad_alloc();
        default: break;
        }
        ranToEnd = true;
    });
    QCOMPARE(ranToEnd, kind == 0);
    QCOMPARE(scripted->texts(ScriptedDialogs::Kind::Error), reported);
}

void DialogsTest::fileDialogLeavesTheTableFilesAlone_data()
{
    QTest::addColumn<bool>("open");
    QTest::newRow("open dialog") << true;
    QTest::newRow("save dialog") << false;
}

void DialogsTest::fileDialogLeavesTheTableFilesAlone()
{
    QFETCH(bool, open);
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        QSKIP("needs the sqlite3 shell");
    test::TestWorkspace workspace;
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    table.insertRecord({QVariant(), QStringLiteral("Ada")});
    const QString file = table.fileName();
    QVERIFY(QFile::exists(file + QStringLiteral("-wal")));

    test::FolderWatch watch(workspace.path(), test::FolderWatch::Opened);
    QVERIFY(watch.works());
    watch.names();

    // The dialog lists the folder with every file's icon and type, then the user cancels.
    bool seen = false;
    QTimer poll;
    QElapsedTimer shown;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (!seen) {
            seen = true;
            shown.start();
        }
        if (shown.elapsed() > 1500)
            dialog->reject();
    });
    poll.start(20);
    const QStringList filters{QStringLiteral("All (*.jpg;*.jpeg) (*.gif *.jpg *.jpeg)")};
    QtDialogs qt;
    const QString chosen = open ? qt.openFileName(nullptr, QStringLiteral("Load"), workspace.path(), filters)
                                : qt.saveFileName(nullptr, QStringLiteral("Save"), workspace.path(), filters);
    poll.stop();
    QVERIFY(seen);
    QVERIFY(chosen.isEmpty());

    const QStringList opened = watch.names();
    for (const QString &name : opened)
        QVERIFY2(!name.startsWith(QStringLiteral("kelvara.db")), qPrintable(name + QStringLiteral(" was opened")));

    // With our locks intact, a reader beside us leaves the log alone and sees what we save next.
    QCOMPARE(test::recordsSeenByAnotherProgram(file), 1);
    QVERIFY(QFile::exists(file + QStringLiteral("-wal")));
    table.insertRecord({QVariant(), QStringLiteral("Bob")});
    QCOMPARE(test::recordsSeenByAnotherProgram(file), 2);
}

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
