#include "app/jobexport.h"
#include "app/tform1.h"
#include "dbctrls/tdbedit.h"
#include "dbctrls/tdbmemo.h"
#include "errorof.h"
#include "namedchild.h"
#include "platform/settingsstore.h"
#include "scripteddialogs.h"
#include "seedjobs.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <optional>
#include <vector>

using namespace kelvara;
using namespace kelvara::test;

namespace {

using Rows = QList<QStringList>;

const QByteArray kBom("\xEF\xBB\xBF");

// The file as Python's csv module reads it (strict: a stray quote is an error); none when
// Python is not installed.
std::optional<Rows> readByPython(const QString &fileName)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return std::nullopt;
    static const char script[] = "import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                                 "    rows = list(csv.reader(f, strict=True))\n"
                                 "sys.stdout.write(json.dumps(rows))\n";
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromLatin1(script), fileName});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s", process.readAllStandardError().constData());
        return Rows{{QStringLiteral("python could not read the file")}};
    }
    Rows rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(process.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

#define READ_BY_PYTHON(rows, fileName)                                                                                 \
    const std::optional<Rows> rows = readByPython(fileName);                                                           \
    if (!rows)                                                                                                         \
        QSKIP("python3 is not installed");

// The jobs table of the working directory, one job per SQL expression list given, written by
// SQL as another program would: "col = expr, ...".
void makeJobs(Table &table, const QStringList &assignments)
{
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    for (int i = 0; i < assignments.size(); ++i) {
        table.append();
        table.post();
    }
    table.close();
    {
        sql::Database db(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadWrite);
        qint64 rid = 0;
        sql::Statement ids = db.prepare(QStringLiteral("SELECT rowid FROM kelvara ORDER BY rowid"));
        for (const QString &assignment : assignments) {
            QVERIFY(ids.step());
            rid = ids.int64(0);
            if (!assignment.isEmpty())
                db.exec(QStringLiteral("UPDATE kelvara SET %1 WHERE rowid = %2").arg(assignment).arg(rid));
        }
    }
    table.open();
}

// Every exported field under its own name.
QList<jobexport::Column> namedColumns(const Table &table)
{
    QList<jobexport::Column> columns;
    for (const Field *field : jobexport::exportedFields(table))
        columns << jobexport::Column{field->fieldName(), field->fieldName()};
    return columns;
}

QAction *exportAction(const TForm1 &form)
{
    return namedChild<QAction>(&form, "ExportJobs");
}

}  // namespace

class JobExportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valuesAsSpreadsheetsRead_data();
    void valuesAsSpreadsheetsRead();
    void fileLayout();
    void emptyTableGivesTheHeadingsAlone();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();
    void menuExportsUnderTheSheetsCaptions();
    void queryAsksWhichJobs_data();
    void queryAsksWhichJobs();

private:
    QList<jobexport::Column> m_valueColumns;
    std::optional<Rows> m_valueRows;
};

namespace {

// A field, the value stored there (an SQL expression, as any program may have stored it) and
// the cell a spreadsheet program reads back.
struct StoredValue
{
    const char *name;
    const char *field;
    const char *stored;
    const char *cell;
};

const std::vector<StoredValue> &storedValues()
{
    static const std::vector<StoredValue> values{
        {"plain", "Lastname", "'Berg'", "Berg"},
        {"comma", "Firstname", "'Berg, Kari'", "Berg, Kari"},
        {"quotes", "Lastname", "'The \"Old\" Hive'", "The \"Old\" Hive"},
        {"quote and comma first", "Street1", "'\",\"'", "\",\""},
        {"line breaks in notes", "notes", "'Roof,' || char(13, 10) || 'ladder' || char(10) || 'done'",
         "Roof,\r\nladder\ndone"},
        {"non-ASCII", "Lastname", "'Ødegård Æøå'", "Ødegård Æøå"},
        {"photo comment", "comment3", "'Svermen på grenen'", "Svermen på grenen"},
        {"empty", "Firstname", "NULL", ""},
        {"formula =", "Firstname", "'=HYPERLINK(\"http://x\")'", "'=HYPERLINK(\"http://x\")"},
        {"formula +", "HomePhone", "'+47 912 34 567'", "'+47 912 34 567"},
        {"formula -", "camefrom", "'-2+3'", "'-2+3"},
        {"formula @", "Email", "'@SUM(A1)'", "'@SUM(A1)"},
        {"TAB first", "comment1", "char(9) || '=1'", "'\t=1"},
        {"CR first", "notes", "char(13) || '=1'", "'\r=1"},
        {"sign inside is text", "Street4", "'Vei 3-5'", "Vei 3-5"},
        {"minutes", "timeused", "150", "150"},
        {"negative minutes stay a number", "timeused", "-90", "-90"},
        {"minutes stored as text", "timeused", "' 45 '", "45"},
        {"minutes stored as a whole real", "timeused", "30.0", "30"},
        {"minutes out of range as stored", "timeused", "40000", "40000"},
        {"minutes that are no number", "timeused", "'abc'", "abc"},
        {"formula in a number field", "timeused", "'=1+1'", "'=1+1"},
        {"negative number in a text field", "City1", "-7", "'-7"},
        {"integer in a text field", "Zipcode", "4321", "4321"},
        {"real in a text field", "Street2", "2.5", "2.5"},
        {"BLOB in a text field", "street3", "x'4869'", "Hi"},
        {"bytes that are no UTF-8", "city2", "CAST(x'4FFF6B' AS TEXT)", "O\uFFFDk"},
        {"date", "Dato", "'2024-05-17'", "2024-05-17"},
        {"date with a time", "Dato", "'2024-05-17T10:00:00'", "2024-05-17"},
        {"no such day", "Dato", "'2024-02-30'", ""},
        {"no date", "Dato", "'soon'", ""},
    };
    return values;
}

}  // namespace

void JobExportTest::valuesAsSpreadsheetsRead_data()
{
    QTest::addColumn<int>("job");
    for (size_t i = 0; i < storedValues().size(); ++i)
        QTest::newRow(storedValues()[i].name) << int(i);
}

void JobExportTest::valuesAsSpreadsheetsRead()
{
    QFETCH(int, job);
    // One table holds a job for each value, exported and read back once.
    if (m_valueColumns.isEmpty()) {
        TestWorkspace workspace;
        Table table;
        QStringList jobs;
        for (const StoredValue &value : storedValues())
            jobs << QStringLiteral("%1 = %2").arg(sql::quoted(QString::fromUtf8(value.field)),
                                                  QString::fromUtf8(value.stored));
        makeJobs(table, jobs);
        m_valueColumns = namedColumns(table);
        QCOMPARE(jobexport::writeCsv(table, m_valueColumns, jobexport::Rows::Shown, QStringLiteral("jobs.csv")),
                 qint64(jobs.size()));
        m_valueRows = readByPython(QStringLiteral("jobs.csv"));
    }
    if (!m_valueRows)
        QSKIP("python3 is not installed");
    QCOMPARE(m_valueRows->size(), int(storedValues().size()) + 1);
    const StoredValue &value = storedValues()[size_t(job)];
    QStringList expected(m_valueColumns.size(), QString());
    for (int i = 0; i < m_valueColumns.size(); ++i) {
        if (m_valueColumns.at(i).fieldName == QLatin1String(value.field))
            expected[i] = QString::fromUtf8(value.cell);
    }
    QCOMPARE(m_valueRows->at(job + 1), expected);
}

void JobExportTest::fileLayout()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table,
             {QStringLiteral("Lastname = 'A', notes = 'x' || char(10) || 'y'"), QStringLiteral("Lastname = 'B'")});
    const QList<jobexport::Column> columns{{QStringLiteral("Lastname"), QStringLiteral("Last, name")},
                                           {QStringLiteral("notes"), QStringLiteral("Notes")},
                                           {QStringLiteral("timeused"), QStringLiteral("Minutes")}};
    jobexport::writeCsv(table, columns, jobexport::Rows::All, QStringLiteral("jobs.csv"));
    // The mark, headings quoted where needed, records ended by CR LF, a line break inside a
    // field kept as it is.
    QCOMPARE(workspace.readFile(QStringLiteral("jobs.csv")),
             kBom + QByteArray("\"Last, name\",Notes,Minutes\r\nA,\"x\ny\",\r\nB,,\r\n"));
    // Photos are not exported, their comments are.
    QStringList names;
    for (const Field *field : jobexport::exportedFields(table))
        names << field->fieldName();
    QVERIFY(!names.contains(QStringLiteral("pic1")));
    QVERIFY(names.contains(QStringLiteral("comment5")));
    QCOMPARE(names.size(), 27);
    QCOMPARE(errorOf([&] {
                 jobexport::writeCsv(table, {{QStringLiteral("pic2"), QStringLiteral("Photo")}}, jobexport::Rows::All,
                                     QStringLiteral("photos.csv"));
             }),
             QStringLiteral("The field 'pic2' holds photos, which are not exported"));
    QVERIFY(!QFileInfo::exists(QStringLiteral("photos.csv")));
}

void JobExportTest::emptyTableGivesTheHeadingsAlone()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table, {});
    QCOMPARE(jobexport::writeCsv(table, namedColumns(table), jobexport::Rows::Shown, QStringLiteral("jobs.csv")), 0);
    const QByteArray bytes = workspace.readFile(QStringLiteral("jobs.csv"));
    QVERIFY(bytes.startsWith(kBom + "Dato,Firstname,"));
    QVERIFY(bytes.endsWith(",comment5\r\n"));
    QCOMPARE(bytes.count("\r\n"), 1);
    READ_BY_PYTHON(rows, QStringLiteral("jobs.csv"));
    QCOMPARE(rows->size(), 1);
    QCOMPARE(rows->at(0).size(), 27);
}

void JobExportTest::failedWriteKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing folder") << "missing/jobs.csv"
                                    << "the folder %1 does not exist";
    QTest::newRow("folder that is a file") << "notes.txt/jobs.csv"
                                           << "%1 is not a folder";
    QTest::newRow("name of a folder") << "exports"
                                      << "it is a folder";
    QTest::newRow("folder that takes no files") << "locked/jobs.csv"
                                                << "Kelvara may not write in the folder %1";
}

void JobExportTest::failedWriteKeepsTheOldFile()
{
    QFETCH(QString, target);
    QFETCH(QString, cause);
    TestWorkspace workspace;
    Table table;
    makeJobs(table, {QStringLiteral("Lastname = 'Berg'")});
    workspace.writeFile(QStringLiteral("notes.txt"), QByteArray("mine"));
    QVERIFY(QDir().mkpath(QStringLiteral("exports/inside")));
    QVERIFY(QDir().mkdir(QStringLiteral("locked")));
    workspace.writeFile(QStringLiteral("locked/jobs.csv"), QByteArray("old export"));
    QVERIFY(QFile::setPermissions(QStringLiteral("locked/jobs.csv"), QFile::ReadOwner));
    QVERIFY(QFile::setPermissions(QStringLiteral("locked"), QFile::ReadOwner | QFile::ExeOwner));
    const bool mayWriteAnything = QFileInfo(QStringLiteral("locked")).isWritable();
    auto unlock = qScopeGuard([] {
        QFile::setPermissions(QStringLiteral("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (target.startsWith(QLatin1String("locked")) && mayWriteAnything)
        QSKIP("this account may write in any folder");

    const QString folder = QDir::toNativeSeparators(QFileInfo(target).absolutePath());
    QCOMPARE(errorOf([&] { jobexport::writeCsv(table, namedColumns(table), jobexport::Rows::All, target); }),
             QStringLiteral("Cannot create file %1: %2\n\nThe jobs were not exported; a file of that name that was "
                            "there is unchanged.")
                 .arg(target, cause.contains(QLatin1String("%1")) ? cause.arg(folder) : cause));
    // Nothing else changed: the old files stand, no work file is left.
    QCOMPARE(workspace.readFile(QStringLiteral("notes.txt")), QByteArray("mine"));
    QCOMPARE(workspace.readFile(QStringLiteral("locked/jobs.csv")), QByteArray("old export"));
    QCOMPARE(QDir(QStringLiteral("exports")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("inside")});
    QCOMPARE(QDir(QStringLiteral("locked")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("jobs.csv")});
    QVERIFY(!QFileInfo::exists(QStringLiteral("missing")));
}

void JobExportTest::menuExportsUnderTheSheetsCaptions()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedJobs({{QStringLiteral("Ødegård"), 90}, {QStringLiteral("Berg"), -15}});
    QVERIFY(QDir().mkdir(QStringLiteral("exports")));
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // What is typed but not yet saved belongs in the file too.
    auto *memo = namedChild<TDBMemo>(&form, "DBMemo1");
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("Ask for \"Kari\", then"));
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QStringLiteral("=ladder"));
    const QString chosen = QDir::current().filePath(QStringLiteral("exports/season"));
    dialogs->saveAnswers = QStringList{chosen};
    exportAction(form)->trigger();
    QCOMPARE(dialogs->texts(), QStringList());  // no query: nothing to ask
    QCOMPARE(dialogs->saveRequests.size(), 1);
    QCOMPARE(dialogs->saveRequests.at(0).filters, QStringList{QStringLiteral("CSV files (*.csv)")});
    QVERIFY(dialogs->saveRequests.at(0).directory.endsWith(QLatin1String("/kelvara-jobs.csv")));

    READ_BY_PYTHON(rows, chosen + QStringLiteral(".csv"));
    QCOMPARE(rows->value(0),
             (QStringList{"Date",
                          "First Name",
                          "Last name",
                          "Home Phone",
                          "Work Phone",
                          "Cellular",
                          "E-Mail",
                          "Street 1",
                          "Street 2",
                          "City",
                          "Zip code",
                          "Street 1 (Where to pick up)",
                          "Street 2 (Where to pick up)",
                          "City (Where to pick up)",
                          "Came from",
                          "Went into hive",
                          "Type of bee",
                          "Method of removal",
                          "Notes",
                          "State",
                          "State (Where to pick up)",
                          "Time Used (minutes)",
                          "Comment 1",
                          "Comment 2",
                          "Comment 3",
                          "Comment 4",
                          "Comment 5"}));
    QCOMPARE(rows->size(), 3);
    const int lastname = 2, notes = 18, minutes = 21;
    QCOMPARE(rows->at(1).value(lastname), QStringLiteral("Ødegård"));
    QCOMPARE(rows->at(1).value(notes), QStringLiteral("Ask for \"Kari\", then\n=ladder"));
    QCOMPARE(rows->at(1).value(minutes), QStringLiteral("90"));
    QCOMPARE(rows->at(2).value(lastname), QStringLiteral("Berg"));
    QCOMPARE(rows->at(2).value(minutes), QStringLiteral("-15"));
    QVERIFY(form.table()->state() == dsEdit);

    // The next export starts in the folder used last; a cancelled one writes nothing.
    dialogs->saveAnswers = QStringList{QString()};
    exportAction(form)->trigger();
    QCOMPARE(dialogs->saveRequests.at(1).directory,
             QDir::current().filePath(QStringLiteral("exports/kelvara-jobs.csv")));
    QCOMPARE(QDir(QStringLiteral("exports")).entryList(QDir::Files), QStringList{QStringLiteral("season.csv")});
}

void JobExportTest::queryAsksWhichJobs_data()
{
    QTest::addColumn<bool>("onlyShown");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("the shown jobs") << true << QStringList{"Berg", "Dahl"};
    QTest::newRow("all jobs") << false << QStringList{"Aas", "Berg", "Dahl", "Eik", "Ødegård"};
}

void JobExportTest::queryAsksWhichJobs()
{
    QFETCH(bool, onlyShown);
    QFETCH(QStringList, names);
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedJobs({{QStringLiteral("Eik"), 1},
              {QStringLiteral("Dahl"), 2},
              {QStringLiteral("Ødegård"), 3},
              {QStringLiteral("Berg"), 4},
              {QStringLiteral("Aas"), 5}});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // A query orders by last name and shows those from B to D.
    Table *table = form.table();
    table->setIndexFieldNames(QStringLiteral("Lastname"));
    table->setRangeStart();
    table->fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("B"));
    table->setRangeEnd();
    table->fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("D~"));
    table->applyRange();
    QCOMPARE(table->recordCount(), 2);

    dialogs->confirmAnswers = {onlyShown};
    dialogs->saveAnswers = QStringList{QDir::current().filePath(QStringLiteral("jobs.csv"))};
    exportAction(form)->trigger();
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Confirm),
             QStringList{QStringLiteral("2 of the 5 jobs are shown.\n\nExport only the 2 shown jobs?\n"
                                        "OK exports the shown jobs, Cancel all 5.")});
    READ_BY_PYTHON(rows, QStringLiteral("jobs.csv"));
    QStringList exported;
    for (int i = 1; i < rows->size(); ++i)
        exported << rows->at(i).value(2);
    // In the order the grid shows them.
    QCOMPARE(exported, names);
    QCOMPARE(table->recordCount(), 2);
}

QTEST_MAIN(JobExportTest)
#include "tst_jobexport.moc"
