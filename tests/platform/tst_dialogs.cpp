#include "dialogs.h"
#include "error.h"
#include "errorreport.h"
#include "scripteddialogs.h"
#include "testworkspace.h"

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

    QCOMPARE(scripted->texts(), (QStringList{"careful", "Delete record?", "Delete record?", "Delete record?", "broken"}));
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

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
