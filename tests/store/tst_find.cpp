// Finding jobs by any word and between dates: with the word index, by a scan where there is
// none, after another program changed the file, and with input that looks like query syntax.

#include "store/findwords.h"
#include "store/kelvaratable.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QtTest>

#include <sqlite3.h>

using namespace kelvara;
using namespace kelvara::test;

namespace {

using Job = QList<QPair<const char *, QVariant>>;

const QList<Job> &knownJobs()
{
    static const QList<Job> jobs = {
        {{"Lastname", QStringLiteral("Ødegård")},
         {"Firstname", QStringLiteral("Kari")},
         {"HomePhone", QStringLiteral("930 30 303")},
         {"notes", QStringLiteral("Swarm in the chimney, very calm")},
         {"Dato", QDate(2024, 5, 12)},
         {"Typeofbee", QStringLiteral("Buckfast")},
         {"timeused", 90},
         {"comment2", QStringLiteral("Queen on the roof tile")}},
        {{"Lastname", QStringLiteral("Müller")},
         {"Firstname", QStringLiteral("Hans")},
         {"Cellular", QStringLiteral("+47 412 34 567")},
         {"Street1", QStringLiteral("Sørumsgata 4")},
         {"notes", QStringLiteral("Bees under the porch")},
         {"Dato", QDate(2025, 6, 1)},
         {"timeused", 45},
         {"method", QStringLiteral("Bee vacuum")}},
        {{"Lastname", QStringLiteral("O'Brien")},
         {"Firstname", QStringLiteral("Ola")},
         {"Email", QStringLiteral("ola@nordmann.no")},
         {"notes", QStringLiteral("Called twice; \"NEAR\" the school (AND) - the chimney sweep knew")},
         {"Dato", QDate(2025, 7, 20)},
         {"timeused", 30},
         {"camefrom", QStringLiteral("Hollow tree")}},
        {{"Lastname", QStringLiteral("Hansen")},
         {"Firstname", QStringLiteral("Per")},
         {"WorkPhone", QStringLiteral("22 33 44 55")},
         {"timeused", 15},
         {"comment5", QStringLiteral("Æbletræ i hagen")}},
    };
    return jobs;
}

void appendJob(Table &table, const Job &job)
{
    table.append();
    for (const auto &[field, value] : job)
        table.fieldByName(QString::fromLatin1(field))->setValue(value);
    table.post();
}

// The job table with the known jobs, opened with or without its word index.
struct JobTable
{
    explicit JobTable(bool indexed)
    {
        {
            Table maker;
            maker.setTableName(QStringLiteral("kelvara"));
            createKelvaraTable(maker);
            maker.open();
            for (const Job &job : knownJobs())
                appendJob(maker, job);
        }
        table.setTableName(QStringLiteral("kelvara"));
        table.setFindIndexed(indexed);
        table.setIndexFieldNames(QStringLiteral("Lastname"));
        table.open();
        table.completeFindIndex();
    }

    QStringList found(const QString &words, const QDate &from = QDate(), const QDate &to = QDate())
    {
        table.setFind({words, QStringLiteral("Dato"), from, to});
        current = table.isEmpty() ? QString() : table.fieldByName(QStringLiteral("Lastname"))->asString();
        return names(table, QStringLiteral("Lastname"));
    }

    QString current;  // the current job right after the last find

    TestWorkspace workspace;
    Table table;
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

}  // namespace

class FindTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void foldsAndDocuments_data();
    void foldsAndDocuments();
    void findsKnownJobs_data();
    void findsKnownJobs();
    void hostileInputIsText_data();
    void hostileInputIsText();
    void ownChangesFollowInTheirTransaction();
    void anotherProgramsChangesAreFound_data();
    void anotherProgramsChangesAreFound();
    void fileWithoutIndexGetsOne();
    void editInProgressIsSavedFirst();
    void readersOfTheShownRecordsFollowTheFind();
};

void FindTest::foldsAndDocuments_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("document");

    QTest::newRow("accents and case") << QStringLiteral("Ødegård Müller") << QStringLiteral("odegard muller ");
    QTest::newRow("letters spelt plainly")
        << QStringLiteral("Æble Straße Łódź") << QStringLiteral("aeble strasse lodz ");
    QTest::newRow("punctuation is space") << QStringLiteral("a\"b*c(d)-e") << QStringLiteral("a b c d  e ");
    QTest::newRow("digit groups joined") << QStringLiteral("930 30 303")
                                         << QStringLiteral("930 30 303 93030303 30303 ");
    QTest::newRow("joins stop at a word") << QStringLiteral("12 34 x 56") << QStringLiteral("12 34 x 56 1234 ");
    QTest::newRow("joins stay phone-sized") << QStringLiteral("1234567890 1234567890 1")
                                            << QStringLiteral("1234567890 1234567890 1 12345678901234567890 "
                                                              "12345678901 ");
    QTest::newRow("half a surrogate pair")
        << QStringLiteral("a") + QChar(0xd800) + QStringLiteral("b") << QStringLiteral("a b ");
    QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << QStringLiteral("a b ");
}

void FindTest::foldsAndDocuments()
{
    QFETCH(QString, value);
    QFETCH(QString, document);
    QString made;
    findwords::appendToDocument(made, value);
    QCOMPARE(made, document);
}

void FindTest::findsKnownJobs_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QStringList>("expected");

    const QDate none;
    const QStringList all{QStringLiteral("Hansen"), QStringLiteral("Müller"), QStringLiteral("O'Brien"),
                          QStringLiteral("Ødegård")};
    auto row = [&](const char *name, const QString &words, const QStringList &expected, QDate from = QDate(),
                   QDate to = QDate()) { QTest::newRow(name) << words << from << to << expected; };
    row("nothing typed", QString(), all);
    row("accents left out", QStringLiteral("odegard"), {QStringLiteral("Ødegård")});
    row("capitals and a prefix", QStringLiteral("ØDEG"), {QStringLiteral("Ødegård")});
    row("umlaut left out", QStringLiteral("muller"), {QStringLiteral("Müller")});
    row("umlaut typed, prefix", QStringLiteral("mül"), {QStringLiteral("Müller")});
    row("phone without spaces", QStringLiteral("93030"), {QStringLiteral("Ødegård")});
    row("phone with spaces", QStringLiteral("930 30"), {QStringLiteral("Ødegård")});
    row("mobile without country code", QStringLiteral("412345"), {QStringLiteral("Müller")});
    row("mobile with country code", QStringLiteral("4741"), {QStringLiteral("Müller")});
    row("word in notes", QStringLiteral("chimney"), {QStringLiteral("O'Brien"), QStringLiteral("Ødegård")});
    row("two words", QStringLiteral("chimney kari"), {QStringLiteral("Ødegård")});
    row("start of a street", QStringLiteral("sorum"), {QStringLiteral("Müller")});
    row("inside a word is no start", QStringLiteral("gata"), {});
    row("photo comment", QStringLiteral("roof"), {QStringLiteral("Ødegård")});
    row("last photo comment, ae", QStringLiteral("aeble"), {QStringLiteral("Hansen")});
    row("e-mail", QStringLiteral("nordmann"), {QStringLiteral("O'Brien")});
    row("pick-list field", QStringLiteral("vacuum"), {QStringLiteral("Müller")});
    row("nothing found", QStringLiteral("xyz"), {});
    row("from a date", QString(), {QStringLiteral("Müller"), QStringLiteral("O'Brien")}, QDate(2025, 1, 1));
    row("words up to a date", QStringLiteral("chimney"), {QStringLiteral("Ødegård")}, none, QDate(2024, 12, 31));
    row("one day, both ends kept", QString(), {QStringLiteral("Müller")}, QDate(2025, 6, 1), QDate(2025, 6, 1));
    row("dates that hold no job", QString(), {}, QDate(2030, 1, 1), QDate(2031, 1, 1));
}

void FindTest::findsKnownJobs()
{
    QFETCH(QString, words);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QStringList, expected);
    // The index and a scan find the same jobs.
    for (const bool indexed : {true, false}) {
        JobTable jobs(indexed);
        QCOMPARE(jobs.table.findIndexState(), indexed ? Table::FindIndexState::Ready : Table::FindIndexState::None);
        QCOMPARE(sorted(jobs.found(words, from, to)), expected);
        QCOMPARE(jobs.table.recordCount(), expected.size());
        QCOMPARE(jobs.table.narrowed(), !words.isEmpty() || from.isValid() || to.isValid());
        // Clearing shows every job again.
        QCOMPARE(jobs.found(QString()).size(), 4);
    }
}

void FindTest::hostileInputIsText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("expected");

    const QStringList all{QStringLiteral("Hansen"), QStringLiteral("Müller"), QStringLiteral("O'Brien"),
                          QStringLiteral("Ødegård")};
    const QStringList chimney{QStringLiteral("O'Brien"), QStringLiteral("Ødegård")};
    QTest::newRow("a quote alone") << QStringLiteral("\"") << all;
    QTest::newRow("a star alone") << QStringLiteral("*") << all;
    QTest::newRow("NEAR is a word") << QStringLiteral("NEAR") << QStringList{QStringLiteral("O'Brien")};
    QTest::newRow("NEAR( group") << QStringLiteral("NEAR(chimney") << QStringList{QStringLiteral("O'Brien")};
    QTest::newRow("minus is no negation") << QStringLiteral("-chimney") << chimney;
    QTest::newRow("OR is a word") << QStringLiteral("chimney OR kari") << QStringList();
    QTest::newRow("column filter") << QStringLiteral("words:chimney") << QStringList();
    QTest::newRow("unbalanced quotes") << QStringLiteral("\"chimney") << chimney;
    QTest::newRow("caret and braces") << QStringLiteral("^{chimney}") << chimney;
    QTest::newRow("NUL splits words") << QStringLiteral("ch") + QChar(0) + QStringLiteral("kari")
                                      << QStringList{QStringLiteral("Ødegård")};
    QTest::newRow("NUL between words") << QStringLiteral("chimney") + QChar(0) + QStringLiteral("kari")
                                       << QStringList{QStringLiteral("Ødegård")};
    QTest::newRow("SQL") << QStringLiteral("'; DROP TABLE kelvara; --") << QStringList();
    QTest::newRow("a megabyte of one word") << QStringLiteral("chimney ").repeated(128 * 1024) << chimney;
    QString distinct;
    for (int i = 0; i < 100000; ++i)
        distinct += QStringLiteral("w%1 ").arg(i);
    QTest::newRow("a megabyte of words") << distinct << QStringList();
}

void FindTest::hostileInputIsText()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, expected);
    for (const bool indexed : {true, false}) {
        JobTable jobs(indexed);
        QStringList found;
        QCOMPARE(errorOf([&] { found = jobs.found(typed); }), QString());
        QCOMPARE(sorted(found), expected);
        QCOMPARE(jobs.table.storedCount(), 4);
    }
}

void FindTest::ownChangesFollowInTheirTransaction()
{
    JobTable jobs(true);
    Table &table = jobs.table;
    QCOMPARE(jobs.found(QStringLiteral("hagen")), QStringList{QStringLiteral("Hansen")});

    // A photo comment typed now is found through the index, which needs no pass for it.
    jobs.found(QString());
    QVERIFY(table.locate(QStringLiteral("Lastname"), {QStringLiteral("Müller")}, {}));
    table.edit();
    table.fieldByName(QStringLiteral("comment3"))->setAsString(QStringLiteral("Drone comb by the hagen gate"));
    table.post();
    QCOMPARE(table.findIndexState(), Table::FindIndexState::Ready);
    QCOMPARE(sorted(jobs.found(QStringLiteral("hagen"))),
             (QStringList{QStringLiteral("Hansen"), QStringLiteral("Müller")}));

    // A deleted job is gone from the index, and back with its words when put back.
    table.setDeletedKeptDays(30);
    QVERIFY(table.locate(QStringLiteral("Lastname"), {QStringLiteral("Hansen")}, {}));
    table.deleteRecord();
    QCOMPARE(table.findIndexState(), Table::FindIndexState::Ready);
    QCOMPARE(jobs.found(QStringLiteral("hagen")), QStringList{QStringLiteral("Müller")});
    const QList<DeletedRecord> deleted = table.deletedRecords({QStringLiteral("Lastname")});
    QCOMPARE(deleted.size(), 1);
    table.restoreDeleted(deleted.first().rid);
    QCOMPARE(sorted(jobs.found(QStringLiteral("aeble"))), QStringList{QStringLiteral("Hansen")});

    // The index holds exactly one document per job.
    sql::Database db(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadOnly);
    sql::Statement count = db.prepare(QStringLiteral("SELECT count(*) FROM kelvara_find"));
    QVERIFY(count.step());
    QCOMPARE(count.int64(0), 4);
}

void FindTest::anotherProgramsChangesAreFound_data()
{
    QTest::addColumn<bool>("whileOpen");
    QTest::newRow("while the table is open") << true;
    QTest::newRow("while it is closed") << false;
}

void FindTest::anotherProgramsChangesAreFound()
{
    QFETCH(bool, whileOpen);
    JobTable jobs(true);
    Table &table = jobs.table;
    QCOMPARE(sorted(jobs.found(QStringLiteral("chimney"))),
             (QStringList{QStringLiteral("O'Brien"), QStringLiteral("Ødegård")}));
    if (!whileOpen)
        table.close();
    // Another program edits a job's notes, adds one and deletes one, with no word of it to us.
    foreignExec("kelvara.db",
                "UPDATE kelvara SET notes = 'Swarm in the attic' WHERE Lastname = 'Ødegård';"
                "INSERT INTO kelvara (Lastname, notes) VALUES ('Nilsen', 'Chimney pot, second swarm');"
                "DELETE FROM kelvara WHERE Lastname = 'O''Brien';");
    if (!whileOpen) {
        table.open();
        QCOMPARE(table.findIndexState(), Table::FindIndexState::Indexing);
    }
    // Before the index has looked again, the find scans; after, the index answers the same.
    const QStringList expected{QStringLiteral("Nilsen")};
    QCOMPARE(jobs.found(QStringLiteral("chimney")), expected);
    QCOMPARE(table.findIndexState(), Table::FindIndexState::Indexing);
    QCOMPARE(jobs.found(QStringLiteral("attic")), QStringList{QStringLiteral("Ødegård")});
    QTRY_COMPARE(table.findIndexState(), Table::FindIndexState::Ready);
    QCOMPARE(jobs.found(QStringLiteral("chimney")), expected);
    QCOMPARE(jobs.found(QStringLiteral("attic")), QStringList{QStringLiteral("Ødegård")});
    QCOMPARE(jobs.found(QStringLiteral("nordmann")), QStringList());
}

void FindTest::fileWithoutIndexGetsOne()
{
    JobTable jobs(false);
    Table &table = jobs.table;
    QVERIFY(!sql::Database(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadOnly)
                 .hasTable(QStringLiteral("kelvara_find")));
    table.close();
    table.setFindIndexed(true);
    table.open();
    QCOMPARE(table.findIndexState(), Table::FindIndexState::Indexing);
    QTRY_COMPARE(table.findIndexState(), Table::FindIndexState::Ready);
    QCOMPARE(jobs.found(QStringLiteral("roof")), QStringList{QStringLiteral("Ødegård")});

    // A read-only table keeps no index and scans, with the same results.
    table.close();
    table.setReadOnly(true);
    table.open();
    QCOMPARE(table.findIndexState(), Table::FindIndexState::None);
    QCOMPARE(jobs.found(QStringLiteral("roof")), QStringList{QStringLiteral("Ødegård")});
}

void FindTest::editInProgressIsSavedFirst()
{
    JobTable jobs(true);
    Table &table = jobs.table;
    QVERIFY(table.locate(QStringLiteral("Lastname"), {QStringLiteral("Hansen")}, {}));
    table.edit();
    table.fieldByName(QStringLiteral("notes"))->setAsString(QStringLiteral("Second chimney this year"));
    QCOMPARE(sorted(jobs.found(QStringLiteral("chimney"))),
             (QStringList{QStringLiteral("Hansen"), QStringLiteral("O'Brien"), QStringLiteral("Ødegård")}));
    QCOMPARE(table.state(), dsBrowse);
    // The job that was current stays current while it is shown, and when the find is cleared.
    QCOMPARE(jobs.current, QStringLiteral("Hansen"));
    // Walked to the end meanwhile: the last job shown is the current one as the find is cleared.
    const QString last = table.fieldByName(QStringLiteral("Lastname"))->asString();
    table.prior();
    const QString kept = table.fieldByName(QStringLiteral("Lastname"))->asString();
    QVERIFY(kept != last);
    jobs.found(QString());
    QCOMPARE(jobs.current, kept);
    // A job the find hides gives its place to the first one shown.
    QCOMPARE(jobs.found(QStringLiteral("roof")), QStringList{QStringLiteral("Ødegård")});
    QCOMPARE(jobs.current, QStringLiteral("Ødegård"));
}

void FindTest::readersOfTheShownRecordsFollowTheFind()
{
    JobTable jobs(true);
    Table &table = jobs.table;
    const Field *timeused = table.fieldByName(QStringLiteral("timeused"));
    jobs.found(QStringLiteral("chimney"));
    QCOMPARE(table.sumOf(timeused, Table::Scope::Shown), 120);
    QCOMPARE(table.sumOf(timeused), 180);
    QCOMPARE(table.storedCount(), 4);
    sql::Statement shown = table.selectShown(QStringLiteral("\"Lastname\""), QString(), Table::ShownOrder::AsShown);
    QStringList listed;
    while (shown.step())
        listed << shown.text(0);
    QCOMPARE(listed, (QStringList{QStringLiteral("O'Brien"), QStringLiteral("Ødegård")}));
    // Query by form's range and the find narrow together.
    table.setRangeStart();
    table.fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("O'Brien"));
    table.setRangeEnd();
    table.fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("O'Brien"));
    table.applyRange();
    QCOMPARE(names(table, QStringLiteral("Lastname")), QStringList{QStringLiteral("O'Brien")});
    table.cancelRange();
    QCOMPARE(table.recordCount(), 2);
}

QTEST_GUILESS_MAIN(FindTest)
#include "tst_find.moc"
