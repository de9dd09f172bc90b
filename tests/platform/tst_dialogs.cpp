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
#include <QFileSystemModel>
#include <QtTest>

#include <stdexcept>


using namespace kelvara;

namespace {

// Cancels a file dialog as soon as it has listed a folder. The dialog lists a folder on a thread
// of its own, asking for each file's icon and type there, and tells its model when it is done;
// that news arrives through the event loop, so a model found when the dialog shows hears it.
class ListingWatch : public QObject
{
public:
    explicit ListingWatch(const QString &folder) : m_folder(QFileInfo(folder).canonicalFilePath())
    {
        qApp->installEventFilter(this);
        // Should the news never come, the dialog still closes, and the test fails.
        m_giveUp.setSingleShot(true);
        m_giveUp.setInterval(30000);
        connect(&m_giveUp, &QTimer::timeout, this, [] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
                dialog->reject();
        });
    }

    bool loaded() const { return m_loaded; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<QFileDialog *>(watched);
        if (event->type() != QEvent::Show || !dialog)
            return false;
        auto *model = dialog->findChild<QFileSystemModel *>();
        if (!model)
            qFatal("the file dialog has no file system model");
        connect(model, &QFileSystemModel::directoryLoaded, dialog, [this, dialog](const QString &path) {
            if (QFileInfo(path).canonicalFilePath() != m_folder)
                return;
            m_loaded = true;
            dialog->reject();
        });
        m_giveUp.start();
        return false;
    }

private:
    QString m_folder;
    QTimer m_giveUp;
    bool m_loaded = false;
};

}  // namespace

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
    ListingWatch listing(workspace.path());
    const QStringList filters{QStringLiteral("All (*.jpg;*.jpeg) (*.gif *.jpg *.jpeg)")};
    QtDialogs qt;
    const QString chosen = open ? qt.openFileName(nullptr, QStringLiteral("Load"), workspace.path(), filters)
                                : qt.saveFileName(nullptr, QStringLiteral("Save"), workspace.path(), filters);
    QVERIFY2(listing.loaded(), "the dialog did not list the folder");
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
