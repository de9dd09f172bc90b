#include "app/picklist.h"
#include "app/runningtotal.h"
#include "store/error.h"
#include "testworkspace.h"

#include <QDir>
#include <QtTest>

using namespace kelvara;

class RunningTotalTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitTruncatesTowardZero_data();
    void splitTruncatesTowardZero();
    void totalShowsItsSignOnce_data();
    void totalShowsItsSignOnce();
    void totalLine_data();
    void totalLine();
    void totalFileRoundTrip();
    void unusableTotalFileFails_data();
    void unusableTotalFileFails();
    void pickListGrowsOnlyByNewEntries();
    void pickListKeepsEntriesWhenUnreadable();
};

void RunningTotalTest::splitTruncatesTowardZero_data()
{
    QTest::addColumn<qint64>("minutes");
    QTest::addColumn<qint64>("hours");
    QTest::addColumn<qint64>("rest");
    QTest::newRow("150 -> 2 h 30") << qint64(150) << qint64(2) << qint64(30);
    QTest::newRow("59 -> 0 h 59") << qint64(59) << qint64(0) << qint64(59);
    QTest::newRow("-90 -> -1 h -30") << qint64(-90) << qint64(-1) << qint64(-30);
    QTest::newRow("-60 -> -1 h 0") << qint64(-60) << qint64(-1) << qint64(0);
    QTest::newRow("32767 -> 546 h 7") << qint64(32767) << qint64(546) << qint64(7);
}

void RunningTotalTest::splitTruncatesTowardZero()
{
    QFETCH(qint64, minutes);
    const HoursMinutes split = splitMinutes(minutes);
    QTEST(split.hours, "hours");
    QTEST(split.minutes, "rest");
}

void RunningTotalTest::totalShowsItsSignOnce_data()
{
    QTest::addColumn<qint64>("minutes");
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("rest");
    QTest::newRow("150 -> 2 h 30") << qint64(150) << "2"
                                   << "30";
    QTest::newRow("0 -> 0 h 0") << qint64(0) << "0"
                                << "0";
    QTest::newRow("-5000 -> -83 h 20") << qint64(-5000) << "-83"
                                       << "20";
    QTest::newRow("-60 -> -1 h 0") << qint64(-60) << "-1"
                                   << "0";
    QTest::newRow("-20 -> -0 h 20") << qint64(-20) << "-0"
                                    << "20";
    QTest::newRow("most negative total") << qint64(-2147483648LL) << "-35791394"
                                         << "8";
}

void RunningTotalTest::totalShowsItsSignOnce()
{
    QFETCH(qint64, minutes);
    const TotalTexts texts = totalTexts(minutes);
    QTEST(texts.hours, "hours");
    QTEST(texts.minutes, "rest");
}

void RunningTotalTest::totalLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<qint64>("value");
    QTest::newRow("plain") << "125" << qint64(125);
    QTest::newRow("negative") << "-45" << qint64(-45);
    QTest::newRow("leading blanks") << "   17" << qint64(17);
    QTest::newRow("number then letters") << "12abc" << qint64(12);
    QTest::newRow("sign not applied when cut short") << "-12abc" << qint64(12);
    QTest::newRow("empty line") << "" << qint64(0);
    QTest::newRow("letters only") << "abc" << qint64(0);
    QTest::newRow("sign only") << "-" << qint64(0);
}

void RunningTotalTest::totalLine()
{
    QFETCH(QString, line);
    QTEST(parseTotalLine(line), "value");
}

void RunningTotalTest::totalFileRoundTrip()
{
    test::TestWorkspace workspace;
    writeTotalFile(-135);
    QCOMPARE(workspace.readFile(QStringLiteral("total.txt")), QByteArray("-135\r\n"));
    QCOMPARE(readTotalFile(), qint64(-135));
    workspace.writeFile(QStringLiteral("total.txt"), "100\r\nignored 7\r\n");
    QCOMPARE(readTotalFile(), qint64(100));
    workspace.writeFile(QStringLiteral("total.txt"), "\r\n55\r\n");
    QCOMPARE(readTotalFile(), qint64(0));
}

void RunningTotalTest::unusableTotalFileFails_data()
{
    QTest::addColumn<QByteArray>("content");  // empty: no file at all
    QTest::addColumn<bool>("directory");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty file") << QByteArray("") << false;
    QTest::newRow("a folder of that name") << QByteArray() << true;
    QTest::newRow("out of 32-bit range") << QByteArray("99999999999\r\n") << false;
}

void RunningTotalTest::unusableTotalFileFails()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, directory);
    test::TestWorkspace workspace;
    if (directory)
        QVERIFY(QDir().mkdir(QStringLiteral("total.txt")));
    else if (!content.isNull())
        workspace.writeFile(QStringLiteral("total.txt"), content);
    QVERIFY_THROWS_EXCEPTION(Error, readTotalFile());
    if (directory) {
        try {
            writeTotalFile(5);
            QFAIL("writing into a folder succeeded");
        } catch (const Error &error) {
            QCOMPARE(error.message(), QStringLiteral("Cannot create file total.txt"));
        }
    }
}

void RunningTotalTest::pickListGrowsOnlyByNewEntries()
{
    test::TestWorkspace workspace;
    QStringList entries;
    QVERIFY(!loadPickList(QStringLiteral("CameFrom.txt"), entries));
    QVERIFY(addToPickList(QStringLiteral("CameFrom.txt"), entries, QStringLiteral("Chimney")));
    QCOMPARE(workspace.readFile(QStringLiteral("CameFrom.txt")), QByteArray("Chimney\r\n"));
    QVERIFY(!addToPickList(QStringLiteral("CameFrom.txt"), entries, QStringLiteral("CHIMNEY")));
    QVERIFY(!addToPickList(QStringLiteral("CameFrom.txt"), entries, QString()));
    QVERIFY(addToPickList(QStringLiteral("CameFrom.txt"), entries, QStringLiteral(" Chimney")));
    QCOMPARE(workspace.readFile(QStringLiteral("CameFrom.txt")), QByteArray("Chimney\r\n Chimney\r\n"));

    workspace.writeFile(QStringLiteral("CameFrom.txt"), "Roof\rTree\nWall\r\nShed");
    QVERIFY(loadPickList(QStringLiteral("CameFrom.txt"), entries));
    QCOMPARE(entries, QStringList({"Roof", "Tree", "Wall", "Shed"}));
}

void RunningTotalTest::pickListKeepsEntriesWhenUnreadable()
{
    test::TestWorkspace workspace;
    QStringList entries{QStringLiteral("Roof")};
    QVERIFY(QDir().mkdir(QStringLiteral("TypeOfBee.txt")));
    QVERIFY(!loadPickList(QStringLiteral("TypeOfBee.txt"), entries));
    QCOMPARE(entries, QStringList{QStringLiteral("Roof")});
    QVERIFY_THROWS_EXCEPTION(Error, addToPickList(QStringLiteral("TypeOfBee.txt"), entries, QStringLiteral("Italian")));
    QCOMPARE(entries, QStringList({"Roof", "Italian"}));
}

QTEST_GUILESS_MAIN(RunningTotalTest)
#include "tst_runningtotal.moc"
