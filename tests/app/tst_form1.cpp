#include "app/startup.h"
#include "app/tform1.h"
#include "dbctrls/pictureview.h"
#include "dbctrls/tdateedit.h"
#include "dbctrls/tdbcombobox.h"
#include "dbctrls/tdbedit.h"
#include "dbctrls/tdbmemo.h"
#include "dbctrls/tdbnavigator.h"
#include "folderwatch.h"
#include "grid/gridcompanions.h"
#include "grid/tdbgrid.h"
#include "grid/tenhancedgrid.h"
#include "installed.h"
#include "namedchild.h"
#include "picturefixtures.h"
#include "platform/characterlimit.h"
#include "platform/photorenditions.h"
#include "scripteddialogs.h"
#include "seedjobs.h"
#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

#include <memory>

#include <grp.h>
#include <unistd.h>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// A stored copy of the table as another program would see it.
QList<QVariantList> storedRecords(const QStringList &fields)
{
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    table.setReadOnly(true);
    table.open();
    QList<QVariantList> records;
    for (table.first(); !table.eof(); table.next()) {
        QVariantList values;
        for (const QString &name : fields)
            values << table.fieldByName(name)->value();
        records << values;
    }
    return records;
}

// Shows a real box over a window and clicks OK in it. The window loses the activation to the
// box; a desktop gives it back once the box is gone, through the event queue, so that it
// arrives after the code that ran the box has gone on.
int runBoxOver(QWidget *window, const QString &text)
{
    QMessageBox box(QMessageBox::Information, QString(), text, QMessageBox::Ok | QMessageBox::Cancel, window);
    QTimer::singleShot(0, &box, [&box] {
        QVERIFY(QTest::qWaitForWindowActive(&box));
        box.button(QMessageBox::Ok)->click();
    });
    const int result = box.exec();
    window->window()->activateWindow();
    return result;
}

// Scripted dialogs whose confirmations are real boxes, answered OK.
class ShownConfirmations : public ScriptedDialogs
{
public:
    bool confirm(QWidget *parent, const QString &text) override
    {
        ScriptedDialogs::confirm(parent, text);
        return runBoxOver(parent, text) == QMessageBox::Ok;
    }
};

}  // namespace

// Drives the real window offscreen as a user would: typing, Enter, buttons, sheets.
class Form1Test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void firstRunInAnEmptyFolder();
    void tableThatCannotBeCreated();
    void totalIsResetWhenTheTableIsCreated();
    void damagedTableIsKeptAside();
    void nullTimeIsZeroAfterStart();
    void walkWithControlsDisabledShowsTheTimeItEndsOn();
    void closingSavesTypedChanges();
    void readOnlyTableIsShownAsItIs();
    void dataSheetLayout();

    void okStoresHoursAndMinutes_data();
    void okStoresHoursAndMinutes();
    void okRefusesBadTime_data();
    void okRefusesBadTime();
    void enterPressesOk_data();
    void enterPressesOk();
    void typedTimeIsTakenWhenTheJobIsLeft_data();
    void typedTimeIsTakenWhenTheJobIsLeft();
    void badTypedTimeKeepsTheJob();
    void missingTotalIsRecounted();
    void missingTotalIsShownFromTheStart_data();
    void missingTotalIsShownFromTheStart();
    void totalFileStates_data();
    void totalFileStates();
    void deletingKeepsTheTotal();
    void deleteConfirmationNamesTheJob_data();
    void deleteConfirmationNamesTheJob();
    void largeTotalShowsItsLeadingDigits();
    void negativeTotalShowsItsSignOnce();
    void longTextsAreKept_data();
    void longTextsAreKept();
    void fullBoxSaysSo();

    void pickListsGrowFromTypedValues();
    void pickListWriteFailureIsReported();

    void queryThatFindsNothingMakesNoJob();
    void refusedQueryValueKeepsTheJobEditing();

    void navigatorInsertAndDelete();
    void deletingTheOnlyRecordLeavesANewOneUnsaved();
    void gridAndNavigatorFollowEachOther();
    void navigatorFollowsEveryMoveInTheGrid();
    void dateTypedRightAfterStartIsTaken_data();
    void dateTypedRightAfterStartIsTaken();
    void incompleteDateIsRefused();
    void calendarPickStoresTheDate();

    void loadStoresAndShowsAPicture();
    void loadRefusesWhatIsNoJpeg_data();
    void loadRefusesWhatIsNoJpeg();
    void loadNeverOpensTheTablesFiles_data();
    void loadNeverOpensTheTablesFiles();
    void cutCopyAndStretch();
    void jobWithoutPhotoShowsNone_data();
    void jobWithoutPhotoShowsNone();
    void picturesKeepTheirRenditionsAndCopyThePhoto();

private:
    void startWindow();
    template <typename T> T *child(const char *name) const { return namedChild<T>(m_form.get(), name); }
    Field *field(const char *name) const { return m_form->table()->fieldByName(QString::fromLatin1(name)); }
    void typeInto(QWidget *box, const QString &text);
    // From a picture sheet to a new record (whose views are emptied) and back to the first.
    void visitNewRecordAndReturn(int sheet, PictureView *view);
    void leave(QWidget *box);
    void pressOk(const QString &hours, const QString &minutes);
    // Runs the grid's query form with values typed beside field names, and Ok.
    void query(const QList<QPair<QString, QString>> &values);

    std::unique_ptr<test::TestWorkspace> m_workspace;
    std::unique_ptr<ScriptedDialogsScope> m_dialogs;
    std::unique_ptr<TForm1> m_form;
};

void Form1Test::init()
{
    m_workspace = std::make_unique<test::TestWorkspace>();
    m_dialogs = std::make_unique<ScriptedDialogsScope>();
}

void Form1Test::cleanup()
{
    m_form.reset();
    m_dialogs.reset();
    m_workspace.reset();
}

void Form1Test::visitNewRecordAndReturn(int sheet, PictureView *view)
{
    auto *pages = child<QTabWidget>("PageControl1");
    pages->setCurrentIndex(0);
    m_form->table()->append();
    pages->setCurrentIndex(sheet);
    QVERIFY(!view->hasPicture());
    pages->setCurrentIndex(0);
    m_form->table()->first();
    pages->setCurrentIndex(sheet);
}

void Form1Test::startWindow()
{
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void Form1Test::typeInto(QWidget *box, const QString &text)
{
    box->setFocus();
    QTRY_VERIFY(box->hasFocus() || box->isAncestorOf(QApplication::focusWidget()));
    auto *edit = qobject_cast<QLineEdit *>(box);
    if (auto *combo = qobject_cast<QComboBox *>(box))
        edit = combo->lineEdit();
    if (edit) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
    }
    QTest::keyClicks(QApplication::focusWidget(), text);
}

void Form1Test::leave(QWidget *box)
{
    Q_UNUSED(box);
    child<QLineEdit>("Edit2")->setFocus();
    QTRY_VERIFY(child<QLineEdit>("Edit2")->hasFocus());
}

void Form1Test::pressOk(const QString &hours, const QString &minutes)
{
    child<QLineEdit>("Edit2")->setText(hours);
    child<QLineEdit>("Edit3")->setText(minutes);
    child<QPushButton>("BitBtn1")->click();
}

void Form1Test::query(const QList<QPair<QString, QString>> &values)
{
    const test::Installed<&GridCompanions::install> restore(nullptr);
    installGridWindows();
    (*m_dialogs)->onExec = [&values](QDialog &dialog) {
        dialog.show();
        auto *form = dialog.findChild<QTableWidget *>(QStringLiteral("gridQBF"));
        for (const auto &[name, value] : values) {
            for (int row = 0; row < form->rowCount(); ++row) {
                if (form->item(row, 0)->text() == name)
                    form->item(row, 1)->setText(value);
            }
        }
        dialog.findChild<QPushButton *>(QStringLiteral("OKBtn"))->click();
        return dialog.result();
    };
    child<TEnhancedGrid>("EnhancedGrid1")->queryByForm();
    (*m_dialogs)->onExec = nullptr;
}

void Form1Test::firstRunInAnEmptyFolder()
{
    startWindow();
    QVERIFY(QFile::exists(QStringLiteral("kelvara.db")));
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("0\r\n"));
    QVERIFY2((*m_dialogs)->messages.isEmpty(), qPrintable((*m_dialogs)->texts().join(QLatin1Char('|'))));
    Table *table = m_form->table();
    QCOMPARE(table->recordCount(), 1);
    QCOMPARE(table->state(), dsEdit);
    QCOMPARE(field("timeused")->asInteger(), 0);
    QVERIFY(field("Lastname")->isNull());
    for (const char *box : {"Edit1", "Edit2", "Edit3", "Edit4"})
        QCOMPARE(child<QLineEdit>(box)->text(), QStringLiteral("0"));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Kelvara data software"));
    QCOMPARE(child<QTabWidget>("PageControl1")->currentIndex(), 0);
    QVERIFY(child<TDBEdit>("DBEdit1")->hasFocus());
    const auto stored = storedRecords({QStringLiteral("timeused"), QStringLiteral("State2")});
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().at(0).toInt(), 0);
}

void Form1Test::tableThatCannotBeCreated()
{
    // The table's file would land in a folder that does not exist.
    QVERIFY(QFile::link(m_workspace->filePath(QStringLiteral("gone/kelvara.db")), QStringLiteral("kelvara.db")));
    m_workspace->writeFile(QStringLiteral("total.txt"), "4711\r\n");
    m_form = std::make_unique<TForm1>();
    // Told once, naming the file and the cause; the program then ends, and no file changed.
    QVERIFY(m_form->startRefused());
    QVERIFY(!m_form->table()->active());
    const QStringList errors = (*m_dialogs)->texts(ScriptedDialogs::Kind::Error);
    QCOMPARE((*m_dialogs)->texts(), errors);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.at(0).startsWith(QStringLiteral("Cannot create table")), qPrintable(errors.at(0)));
    QVERIFY2(errors.at(0).contains(QStringLiteral("kelvara.db")), qPrintable(errors.at(0)));
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("4711\r\n"));
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
             QStringList({QStringLiteral("kelvara.db"), QStringLiteral("total.txt")}));
}

void Form1Test::totalIsResetWhenTheTableIsCreated()
{
    m_workspace->writeFile(QStringLiteral("total.txt"), "125\r\n");
    startWindow();
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("0\r\n"));
}

void Form1Test::damagedTableIsKeptAside()
{
    const QByteArray garbage(8192, 'x');
    m_workspace->writeFile(QStringLiteral("kelvara.db"), garbage);
    m_workspace->writeFile(QStringLiteral("total.txt"), "300\r\n");
    startWindow();

    const QString kept = m_form->keptDamagedTable();
    QVERIFY(kept.startsWith(QStringLiteral("kelvara-damaged-")));
    QCOMPARE(m_workspace->readFile(kept), garbage);
    const QStringList warnings = (*m_dialogs)->texts(ScriptedDialogs::Kind::Warning);
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings.first().contains(kept));
    QCOMPARE(m_form->table()->recordCount(), 1);
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("0\r\n"));
}

void Form1Test::nullTimeIsZeroAfterStart()
{
    seedJobs({{QStringLiteral("First"), QVariant()}, {QStringLiteral("Second"), 45}});
    startWindow();
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("First"));
    QCOMPARE(field("timeused")->asInteger(), 0);
    m_form->table()->next();  // saves it
    const auto stored = storedRecords({QStringLiteral("timeused")});
    QCOMPARE(stored.at(0).at(0), QVariant(0));
    QCOMPARE(stored.at(1).at(0), QVariant(45));
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("45"));
}

void Form1Test::walkWithControlsDisabledShowsTheTimeItEndsOn()
{
    seedJobs({{QStringLiteral("First"), 75}, {QStringLiteral("Second"), QVariant()}, {QStringLiteral("Third"), 130}});
    startWindow();
    Table &table = *m_form->table();
    {
        DisabledControlsScope walk(table);
        while (!table.eof())
            table.next();
        // Passing a record still puts it into edit state and fills its empty time.
        table.first();
        table.next();
        QCOMPARE(field("timeused")->asInteger(), 0);
        table.last();
    }
    QCOMPARE(child<QLineEdit>("Edit2")->text(), QStringLiteral("2"));
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("10"));
    table.first();
    QCOMPARE(storedRecords({QStringLiteral("timeused")}).at(1).at(0), QVariant(0));
    QCOMPARE(child<QLineEdit>("Edit2")->text(), QStringLiteral("1"));
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("15"));
}

void Form1Test::closingSavesTypedChanges()
{
    seedJobs({{QStringLiteral("Old"), 10}});
    startWindow();
    typeInto(child<TDBEdit>("DBEdit3"), QStringLiteral("Newname"));
    QVERIFY(m_form->close());
    m_form.reset();
    QCOMPARE(storedRecords({QStringLiteral("Lastname")}).at(0).at(0).toString(), QStringLiteral("Newname"));
}

void Form1Test::readOnlyTableIsShownAsItIs()
{
    if (geteuid() == 0) {
        // Permissions do not hold back root: this check runs again as an unprivileged user.
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.setChildProcessModifier([] {
            const gid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                ::_exit(111);
        });
        child.setWorkingDirectory(QStringLiteral("/tmp"));
        const test::SharedProgramCopy program;
        child.start(program.path(), {QStringLiteral("readOnlyTableIsShownAsItIs")});
        if (!child.waitForFinished(60000) && child.error() == QProcess::FailedToStart)
            QSKIP("this test program cannot be started as an unprivileged user from here");
        QVERIFY(child.state() == QProcess::NotRunning);
        if (child.exitCode() == 111)
            QSKIP("cannot switch to an unprivileged user");
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, child.readAll().constData());
        return;
    }
    seedJobs({{QStringLiteral("A"), 30}, {QStringLiteral("B"), QVariant()}});
    QVERIFY(QFile::setPermissions(QStringLiteral("kelvara.db"), QFile::ReadOwner | QFile::ReadGroup));
    startWindow();
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Warning),
             QStringList{QStringLiteral("The record table kelvara.db is read-only: its records can be read "
                                        "but not changed.")});
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error), QStringList());
    QCOMPARE(m_form->table()->state(), dsBrowse);
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("30"));

    // Moves show each record's time, a missing one as 0, without a message.
    child<TDBNavigator>("DBNavigator1")->button(TDBNavigator::nbNext)->click();
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("B"));
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("0"));
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error), QStringList());

    // A change the user asks for is refused with the store's reason.
    pressOk(QStringLiteral("1"), QStringLiteral("0"));
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error),
             QStringList{QStringLiteral("Cannot modify a read-only dataset")});
    QVERIFY(m_form->close());
}

void Form1Test::dataSheetLayout()
{
    startWindow();
    auto *pages = child<QTabWidget>("PageControl1");
    QStringList captions;
    for (int i = 0; i < pages->count(); ++i)
        captions << pages->tabText(i);
    QCOMPARE(captions,
             QStringList({"Data Sheet", "Picture Sheet1", "Picture Sheet2", "Picture Sheet3", "Picture Sheet4",
                          "Picture Sheet5"}));
    QCOMPARE(child<QWidget>("Panel1")->size(), QSize(969, 377));
    QCOMPARE(child<QWidget>("DBNavigator1")->size(), QSize(234, 25));
    QCOMPARE(child<TDBMemo>("DBMemo1")->size(), QSize(329, 73));
    auto *limit = qobject_cast<const CharacterLimitValidator *>(child<TDBEdit>("DBEdit2")->validator());
    QVERIFY(limit);
    QCOMPARE(limit->limit(), 60);

    // Tab walks the job panel first, then the memo and the name boxes.
    const QStringList expected = {"DBComboBox1", "DBComboBox2", "DBComboBox3", "DBComboBox4", "Edit1",  "Edit2",
                                  "Edit3",       "BitBtn1",     "Edit4",       "DBMemo1",     "DBEdit2"};
    child<TDBComboBox>("DBComboBox1")->setFocus();
    QTRY_VERIFY(child<TDBComboBox>("DBComboBox1")->hasFocus());
    QStringList walked{QStringLiteral("DBComboBox1")};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        // A combo box's line edit stands for its combo box.
        if (qobject_cast<TDBComboBox *>(focus->parentWidget()))
            focus = focus->parentWidget();
        walked << focus->objectName();
    }
    QCOMPARE(walked, expected);

    auto *grid = child<TDBGrid>("EnhancedGrid1");
    QCOMPARE(grid->columns()->count(), 11);
    for (int i = 0; i < grid->columns()->count(); ++i) {
        QVERIFY(!grid->columns()->items(i)->expanded());
        QVERIFY(grid->columns()->items(i)->visible());
    }
}

void Form1Test::okStoresHoursAndMinutes_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shownHours");
    QTest::addColumn<QString>("shownMinutes");
    QTest::addColumn<QByteArray>("total");  // total.txt held 100 before
    QTest::newRow("0 h 45 over 30") << 30 << "0"
                                    << "45" << 45 << "0"
                                    << "45" << QByteArray("115\r\n");
    QTest::newRow("empty hours") << 0 << ""
                                 << "20" << 20 << "0"
                                 << "20" << QByteArray("120\r\n");
    QTest::newRow("1 h 90 -> 150") << 0 << "1"
                                   << "90" << 150 << "2"
                                   << "30" << QByteArray("250\r\n");
    QTest::newRow("-1 h 0 -> -60") << 0 << "-1"
                                   << "0" << -60 << "-1"
                                   << "0" << QByteArray("40\r\n");
    QTest::newRow("546 h 7 is the largest") << 0 << "546"
                                            << "7" << 32767 << "546"
                                            << "7" << QByteArray("32867\r\n");
    QTest::newRow("unchanged boxes") << 75 << "1"
                                     << "15" << 75 << "1"
                                     << "15" << QByteArray("100\r\n");
}

void Form1Test::okStoresHoursAndMinutes()
{
    QFETCH(int, before);
    seedJobs({{QStringLiteral("Job"), before}});
    m_workspace->writeFile(QStringLiteral("total.txt"), "100\r\n");
    startWindow();
    QFETCH(QString, hours);
    QFETCH(QString, minutes);
    pressOk(hours, minutes);
    QVERIFY2((*m_dialogs)->messages.isEmpty(), qPrintable((*m_dialogs)->texts().join(QLatin1Char('|'))));
    QTEST(field("timeused")->asInteger(), "stored");
    QTEST(child<QLineEdit>("Edit2")->text(), "shownHours");
    QTEST(child<QLineEdit>("Edit3")->text(), "shownMinutes");
    QTEST(m_workspace->readFile(QStringLiteral("total.txt")), "total");
    const qint64 total = m_workspace->readFile(QStringLiteral("total.txt")).trimmed().toLongLong();
    QCOMPARE(child<QLineEdit>("Edit1")->text(), QString::number(total / 60));
    QCOMPARE(child<QLineEdit>("Edit4")->text(), QString::number(total % 60));
}

void Form1Test::okRefusesBadTime_data()
{
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("message");
    const QString range
        = QStringLiteral(" cannot be stored: the time used on a job lies between -546 h 8 min and 546 h 7 min.");
    QTest::newRow("546 h 8 is one too many") << "546"
                                             << "8"
                                             << "546 h 8 min" + range;
    QTest::newRow("600 h") << "600"
                           << "0"
                           << "600 h 0 min" + range;
    QTest::newRow("letters") << "two"
                             << "0"
                             << "The hour box holds \"two\", which is not a whole number. Type the time used as "
                                "whole hours and minutes, such as 1 and 30 for an hour and a half.";
    QTest::newRow("a decimal comma") << "0"
                                     << "1,5"
                                     << "The minute box holds \"1,5\", which is not a whole number. Type the time "
                                        "used as whole hours and minutes, such as 1 and 30 for an hour and a half.";
    QTest::newRow("minutes out of range") << "0"
                                          << "40000"
                                          << "0 h 40000 min" + range;
}

void Form1Test::okRefusesBadTime()
{
    seedJobs({{QStringLiteral("Job"), 30}});
    m_workspace->writeFile(QStringLiteral("total.txt"), "100\r\n");
    startWindow();
    QFETCH(QString, hours);
    QFETCH(QString, minutes);
    pressOk(hours, minutes);
    QFETCH(QString, message);
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error), QStringList{message});
    QCOMPARE(field("timeused")->asInteger(), 30);
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("100\r\n"));
    QCOMPARE(child<QLineEdit>("Edit1")->text(), QStringLiteral("1"));
    QCOMPARE(child<QLineEdit>("Edit4")->text(), QStringLiteral("40"));
}

void Form1Test::enterPressesOk_data()
{
    QTest::addColumn<QString>("box");
    QTest::newRow("first-name box") << "DBEdit2";
    QTest::newRow("grid") << "EnhancedGrid1";
}

void Form1Test::enterPressesOk()
{
    QFETCH(QString, box);
    seedJobs({{QStringLiteral("Job"), 75}});
    m_workspace->writeFile(QStringLiteral("total.txt"), "500\r\n");
    startWindow();
    auto *focus = child<QWidget>(qPrintable(box));
    focus->setFocus();
    QTRY_VERIFY(focus->hasFocus());
    child<QLineEdit>("Edit2")->setText(QStringLiteral("2"));
    child<QLineEdit>("Edit3")->setText(QStringLiteral("0"));
    QTest::keyClick(focus, Qt::Key_Return);
    QCOMPARE(field("timeused")->asInteger(), 120);
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("545\r\n"));

    // Enter in the notes starts a new line instead.
    auto *notes = child<TDBMemo>("DBMemo1");
    notes->setFocus();
    QTRY_VERIFY(notes->hasFocus());
    child<QLineEdit>("Edit2")->setText(QStringLiteral("9"));
    QTest::keyClick(notes, Qt::Key_Return);
    QCOMPARE(field("timeused")->asInteger(), 120);
}

void Form1Test::typedTimeIsTakenWhenTheJobIsLeft_data()
{
    QTest::addColumn<QString>("leave");
    QTest::newRow("navigator") << "navigator";
    QTest::newRow("click in the grid") << "click";
    QTest::newRow("key in the grid") << "key";
    QTest::newRow("post") << "post";
    QTest::newRow("closing the window") << "close";
}

// Hours and minutes typed without OK count as OK would when the job is left.
void Form1Test::typedTimeIsTakenWhenTheJobIsLeft()
{
    QFETCH(QString, leave);
    seedJobs({{QStringLiteral("A"), 30}, {QStringLiteral("B"), 45}});
    m_workspace->writeFile(QStringLiteral("total.txt"), "100\r\n");
    startWindow();
    typeInto(child<QLineEdit>("Edit2"), QStringLiteral("2"));
    typeInto(child<QLineEdit>("Edit3"), QStringLiteral("0"));
    auto *grid = child<TDBGrid>("EnhancedGrid1");
    auto *navigator = child<TDBNavigator>("DBNavigator1");
    if (leave == QLatin1String("navigator")) {
        navigator->button(TDBNavigator::nbNext)->click();
    } else if (leave == QLatin1String("click")) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->cellRect(2, 2).center());
    } else if (leave == QLatin1String("key")) {
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        QTest::keyClick(grid, Qt::Key_Down);
    } else if (leave == QLatin1String("post")) {
        navigator->button(TDBNavigator::nbPost)->click();
    } else {
        QVERIFY(m_form->close());
    }
    QVERIFY2((*m_dialogs)->messages.isEmpty(), qPrintable((*m_dialogs)->texts().join(QLatin1Char('|'))));
    QCOMPARE(storedRecords({QStringLiteral("timeused")}), (QList<QVariantList>{{120}, {45}}));
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("190\r\n"));
    if (leave == QLatin1String("close"))
        return;
    QCOMPARE(child<QLineEdit>("Edit1")->text(), QStringLiteral("3"));
    QCOMPARE(child<QLineEdit>("Edit4")->text(), QStringLiteral("10"));

    // Typing taken once is not counted again when the job is left a second time.
    m_form->table()->first();
    QCOMPARE(child<QLineEdit>("Edit2")->text(), QStringLiteral("2"));
    m_form->table()->last();
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("45"));
    m_form->table()->first();
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("190\r\n"));
}

// A time the boxes cannot hold keeps the user on the job, with the typing, and says why.
void Form1Test::badTypedTimeKeepsTheJob()
{
    seedJobs({{QStringLiteral("A"), 30}, {QStringLiteral("B"), 45}});
    m_workspace->writeFile(QStringLiteral("total.txt"), "100\r\n");
    startWindow();
    typeInto(child<QLineEdit>("Edit2"), QStringLiteral("two"));
    child<TDBNavigator>("DBNavigator1")->button(TDBNavigator::nbNext)->click();
    const QStringList errors = (*m_dialogs)->texts(ScriptedDialogs::Kind::Error);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().startsWith(QStringLiteral("The hour box holds \"two\"")), qPrintable(errors.first()));
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("A"));
    QCOMPARE(child<QLineEdit>("Edit2")->text(), QStringLiteral("two"));
    QCOMPARE(storedRecords({QStringLiteral("timeused")}), (QList<QVariantList>{{30}, {45}}));
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("100\r\n"));
}

void Form1Test::missingTotalIsRecounted()
{
    seedJobs({{QStringLiteral("A"), 10}, {QStringLiteral("B"), QVariant()}, {QStringLiteral("C"), 20}});
    startWindow();
    QVERIFY(QFile::remove(QStringLiteral("total.txt")) || !QFile::exists(QStringLiteral("total.txt")));
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("A"));
    QSignalSpy moves(m_form->table(), &Table::afterScroll);
    pressOk(QStringLiteral("0"), QStringLiteral("15"));
    QVERIFY((*m_dialogs)->messages.isEmpty());
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("35\r\n"));
    QCOMPARE(child<QLineEdit>("Edit1")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLineEdit>("Edit4")->text(), QStringLiteral("35"));
    // Counted without a walk: the job the user works on stays current, its new time shown.
    QCOMPARE(moves.count(), 0);
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("A"));
    QCOMPARE(m_form->table()->state(), dsEdit);
    QCOMPARE(child<QLineEdit>("Edit2")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("15"));
    m_form->table()->next();
    QCOMPARE(storedRecords({QStringLiteral("timeused")}).at(0).at(0), QVariant(15));
}

void Form1Test::missingTotalIsShownFromTheStart_data()
{
    QTest::addColumn<QByteArray>("content");  // null: no total file
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("minutes");
    QTest::newRow("no file: counted") << QByteArray() << "1"
                                      << "30";
    QTest::newRow("empty file: counted") << QByteArray("") << "1"
                                         << "30";
    QTest::newRow("file: as it says") << QByteArray("125\r\n") << "2"
                                      << "5";
}

void Form1Test::missingTotalIsShownFromTheStart()
{
    QFETCH(QByteArray, content);
    seedJobs({{QStringLiteral("A"), 70}, {QStringLiteral("B"), QVariant()}, {QStringLiteral("C"), 20}});
    if (!content.isNull())
        m_workspace->writeFile(QStringLiteral("total.txt"), content);
    startWindow();
    QTEST(child<QLineEdit>("Edit1")->text(), "hours");
    QTEST(child<QLineEdit>("Edit4")->text(), "minutes");
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("A"));
    // Showing it writes nothing: the file changes through OK only.
    QCOMPARE(QFile::exists(QStringLiteral("total.txt")), !content.isNull());
    QVERIFY((*m_dialogs)->messages.isEmpty());
}

void Form1Test::totalFileStates_data()
{
    QTest::addColumn<QByteArray>("content");  // null: a folder stands in the file's place
    QTest::addColumn<QByteArray>("after");    // null: still a folder
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QString>("current");  // where the table stands afterwards
    // One job of 10 minutes and one of 20; the first is current and gets 0 h 15.
    QTest::newRow("number then letters") << QByteArray("12abc\r\n") << QByteArray("17\r\n") << QStringList() << "A";
    QTest::newRow("empty first line") << QByteArray("\r\n") << QByteArray("5\r\n") << QStringList() << "A";
    QTest::newRow("empty file is recounted") << QByteArray("") << QByteArray("35\r\n") << QStringList() << "A";
    QTest::newRow("unwritable: recount, then its error")
        << QByteArray() << QByteArray() << QStringList{QStringLiteral("Cannot create file total.txt")} << "A";
}

void Form1Test::totalFileStates()
{
    QFETCH(QByteArray, content);
    seedJobs({{QStringLiteral("A"), 10}, {QStringLiteral("B"), 20}});
    startWindow();
    QFile::remove(QStringLiteral("total.txt"));
    if (content.isNull())
        QVERIFY(QDir().mkdir(QStringLiteral("total.txt")));
    else
        m_workspace->writeFile(QStringLiteral("total.txt"), content);
    pressOk(QStringLiteral("0"), QStringLiteral("15"));
    QTEST((*m_dialogs)->texts(ScriptedDialogs::Kind::Error), "errors");
    QFETCH(QByteArray, after);
    if (after.isNull())
        QVERIFY(QFileInfo(QStringLiteral("total.txt")).isDir());
    else
        QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), after);
    QTEST(field("Lastname")->asString(), "current");
    m_form->table()->first();  // OK itself does not save; a move does
    QCOMPARE(storedRecords({QStringLiteral("timeused")}).at(0).at(0), QVariant(15));
}

void Form1Test::deletingKeepsTheTotal()
{
    seedJobs({{QStringLiteral("A"), 60}, {QStringLiteral("B"), 5}});
    m_workspace->writeFile(QStringLiteral("total.txt"), "65\r\n");
    startWindow();
    auto *navigator = child<TDBNavigator>("DBNavigator1");
    (*m_dialogs)->confirmAnswers = {true};
    navigator->button(TDBNavigator::nbDelete)->click();
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Confirm),
             QStringList{QStringLiteral("Delete the job for A (no date)?")});
    QCOMPARE(m_form->table()->recordCount(), 1);
    QCOMPARE(m_workspace->readFile(QStringLiteral("total.txt")), QByteArray("65\r\n"));
    QVERIFY(child<TDBEdit>("DBEdit1")->hasFocus());
}

void Form1Test::deleteConfirmationNamesTheJob_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<QString>("lastName");
    QTest::addColumn<bool>("inserting");
    QTest::addColumn<QString>("question");
    QTest::newRow("date and customer") << QDate(2026, 7, 14) << "Kari"
                                       << "Nordmann" << false << "Delete the job of 14/07/2026 for Kari Nordmann?";
    QTest::newRow("last name only") << QDate() << ""
                                    << "Nordmann" << false << "Delete the job for Nordmann (no date)?";
    QTest::newRow("date only") << QDate(2026, 7, 14) << ""
                               << "" << false << "Delete the job of 14/07/2026 (no customer's name)?";
    QTest::newRow("nothing to name it by") << QDate() << ""
                                           << "" << false << "Delete this job (no date, no customer's name)?";
    QTest::newRow("a new job being typed") << QDate() << "Kari"
                                           << "" << true << "Drop the new job that is being typed?";
}

// The confirmation names the job that would go, as the user knows it.
void Form1Test::deleteConfirmationNamesTheJob()
{
    QFETCH(QDate, date);
    QFETCH(QString, firstName);
    QFETCH(QString, lastName);
    QFETCH(bool, inserting);
    seedJobs({{QStringLiteral("Other"), 5}});
    {
        Table table;
        table.setTableName(QStringLiteral("kelvara"));
        table.open();
        table.edit();
        table.fieldByName(QStringLiteral("Dato"))->setValue(date.isValid() ? QVariant(date) : QVariant());
        table.fieldByName(QStringLiteral("Firstname"))->setAsString(firstName);
        table.fieldByName(QStringLiteral("Lastname"))->setAsString(lastName);
        table.post();
    }
    startWindow();
    auto *navigator = child<TDBNavigator>("DBNavigator1");
    if (inserting) {
        navigator->button(TDBNavigator::nbInsert)->click();
        typeInto(child<TDBEdit>("DBEdit2"), firstName);
    }
    (*m_dialogs)->confirmAnswers = {false};
    navigator->button(TDBNavigator::nbDelete)->click();
    QFETCH(QString, question);
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Confirm), QStringList{question});
    QCOMPARE(storedRecords({QStringLiteral("Lastname")}).size(), 1);
}

void Form1Test::largeTotalShowsItsLeadingDigits()
{
    seedJobs({{QStringLiteral("A"), 0}});
    m_workspace->writeFile(QStringLiteral("total.txt"), "2000000000\r\n");
    startWindow();
    auto *hours = child<QLineEdit>("Edit1");
    QCOMPARE(hours->text(), QStringLiteral("33333333"));
    QVERIFY(hours->fontMetrics().horizontalAdvance(hours->text()) > hours->width());
    QCOMPARE(hours->cursorPosition(), 0);
    pressOk(QStringLiteral("1"), QStringLiteral("0"));
    QCOMPARE(hours->text(), QStringLiteral("33333334"));
    QCOMPARE(hours->cursorPosition(), 0);
}

void Form1Test::negativeTotalShowsItsSignOnce()
{
    seedJobs({{QStringLiteral("A"), 0}});
    m_workspace->writeFile(QStringLiteral("total.txt"), "-5000\r\n");
    startWindow();
    QCOMPARE(child<QLineEdit>("Edit1")->text(), QStringLiteral("-83"));
    QCOMPARE(child<QLineEdit>("Edit4")->text(), QStringLiteral("20"));
}

void Form1Test::longTextsAreKept_data()
{
    QTest::addColumn<bool>("olderTable");  // made when every text field held 20 characters
    QTest::newRow("new table") << false;
    QTest::newRow("table made with 20 characters") << true;
}

// Real e-mail addresses and street names are longer than 20 characters; they are kept whole in
// new and older tables alike, while the columns keep the width they always had.
void Form1Test::longTextsAreKept()
{
    QFETCH(bool, olderTable);
    auto schema = [] {
        sql::Database db(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadOnly);
        // The word index the window adds beside the jobs is no part of their design.
        sql::Statement stmt = db.prepare(QStringLiteral(
            "SELECT group_concat(sql, ';') FROM sqlite_master WHERE name NOT LIKE 'kelvara\\_find%' ESCAPE '\\'"));
        return stmt.step() ? stmt.text(0) : QString();
    };
    QString schemaBefore;
    if (olderTable) {
        FieldDefs defs = kelvaraFieldDefs();
        for (FieldDef &def : defs) {
            if (def.type == ftString) {
                def.size = 20;
                def.displayWidth = 0;
            }
        }
        Table table;
        table.setTableName(QStringLiteral("kelvara"));
        table.createTable(defs);
        schemaBefore = schema();
        QVERIFY(schemaBefore.contains(QStringLiteral("\"Email\" VARCHAR(20)")));
    }
    const QString email = QStringLiteral("kari.nordmann@online.no");
    const QString street = QStringLiteral("Bjørnstjerne Bjørnsons gate 12");
    startWindow();
    for (const char *name : {"Email", "Street1", "Firstname", "Typeofbee", "State2"})
        QCOMPARE(field(name)->displayWidth(), 20);
    QCOMPARE(field("Email")->size(), 254);
    QCOMPARE(field("Street1")->size(), 60);
    typeInto(child<TDBEdit>("DBEdit7"), email);
    typeInto(child<TDBEdit>("DBEdit8"), street);
    typeInto(child<TDBComboBox>("DBComboBox3"), street);
    QCOMPARE(child<TDBEdit>("DBEdit7")->text(), email);
    QVERIFY(m_form->close());
    m_form.reset();
    const auto stored
        = storedRecords({QStringLiteral("Email"), QStringLiteral("Street1"), QStringLiteral("Typeofbee")});
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first(), QVariantList({email, street, street}));
    // Other programs read the file as before: an older table's design is left as it was.
    if (olderTable)
        QCOMPARE(schema(), schemaBefore);
}

void Form1Test::fullBoxSaysSo()
{
    startWindow();
    auto *box = child<TDBEdit>("DBEdit2");
    typeInto(box, QString(60, QLatin1Char('a')));
    QVERIFY(!QToolTip::isVisible());
    QTest::keyClicks(box, QStringLiteral("b"));
    QCOMPARE(box->text(), QString(60, QLatin1Char('a')));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QStringLiteral("This box is full: it holds at most 60 characters."));
}

void Form1Test::pickListsGrowFromTypedValues()
{
    startWindow();
    auto *cameFrom = child<TDBComboBox>("DBComboBox1");
    auto *typeOfBee = child<TDBComboBox>("DBComboBox3");
    auto *method = child<TDBComboBox>("DBComboBox4");

    typeInto(cameFrom, QStringLiteral("Chimney"));
    leave(cameFrom);
    QCOMPARE(m_workspace->readFile(QStringLiteral("CameFrom.txt")), QByteArray("Chimney\r\n"));

    typeInto(cameFrom, QStringLiteral("CHIMNEY"));
    leave(cameFrom);
    QCOMPARE(m_workspace->readFile(QStringLiteral("CameFrom.txt")), QByteArray("Chimney\r\n"));
    QCOMPARE(field("camefrom")->asString(), QStringLiteral("CHIMNEY"));

    const QString longName = QStringLiteral("A hollow oak tree by the river");
    typeInto(typeOfBee, longName);
    leave(typeOfBee);
    QCOMPARE(m_workspace->readFile(QStringLiteral("TypeOfBee.txt")), (longName + QStringLiteral("\r\n")).toUtf8());
    QCOMPARE(field("Typeofbee")->asString(), longName);
    QVERIFY(!QFile::exists(QStringLiteral("MethodOfRemoval.txt")));

    // A list edited outside the program is read again when its box is entered.
    m_workspace->writeFile(QStringLiteral("MethodOfRemoval.txt"), "Vacuum\r\nBox\r\n");
    method->setFocus();
    QTRY_VERIFY(method->hasFocus() || method->isAncestorOf(QApplication::focusWidget()));
    QCOMPARE(method->count(), 2);
    QCOMPARE(method->itemText(1), QStringLiteral("Box"));
    leave(method);
    QCOMPARE(m_workspace->readFile(QStringLiteral("MethodOfRemoval.txt")), QByteArray("Vacuum\r\nBox\r\n"));
    QVERIFY((*m_dialogs)->messages.isEmpty());
}

void Form1Test::pickListWriteFailureIsReported()
{
    startWindow();
    QVERIFY(QDir().mkdir(QStringLiteral("wentinto.txt")));
    auto *wentInto = child<TDBComboBox>("DBComboBox2");
    typeInto(wentInto, QStringLiteral("Hive 7"));
    leave(wentInto);
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error),
             QStringList{QStringLiteral("Cannot create file wentinto.txt")});
    QCOMPARE(wentInto->findText(QStringLiteral("Hive 7")), 0);
    QCOMPARE(field("wentinto")->asString(), QStringLiteral("Hive 7"));
}

// A query without a match shows no job and makes none: not at once, not on the next activation,
// not when the query is cleared.
void Form1Test::queryThatFindsNothingMakesNoJob()
{
    seedJobs({{QStringLiteral("Carnica"), 10}, {QStringLiteral("Buckfast"), 20}});
    startWindow();
    Table *table = m_form->table();
    auto *noMatch = child<QLabel>("NoMatchLabel");
    QVERIFY(!noMatch->isVisible());

    query({{QStringLiteral("Lastname"), QStringLiteral("carnica")}});
    QVERIFY2((*m_dialogs)->messages.isEmpty(), qPrintable((*m_dialogs)->texts().join(QLatin1Char('|'))));
    QCOMPARE(table->recordCount(), 0);
    QCOMPARE(storedRecords({QStringLiteral("Lastname")}).size(), 2);
    QVERIFY(table->state() != dsInsert);
    QVERIFY(noMatch->isVisible());
    QVERIFY(noMatch->text().contains(QStringLiteral("No job matches")));
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("0"));
    child<TDBNavigator>("DBNavigator1")->button(TDBNavigator::nbEdit)->click();
    QVERIFY(table->state() != dsInsert);

    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    m_form->activateWindow();
    QTRY_VERIFY(m_form->isActiveWindow());
    table->first();
    QCOMPARE(storedRecords({QStringLiteral("Lastname")}).size(), 2);

    query({});
    QCOMPARE(storedRecords({QStringLiteral("Lastname")}),
             (QList<QVariantList>{{QStringLiteral("Carnica")}, {QStringLiteral("Buckfast")}}));
    QCOMPARE(table->recordCount(), 2);
    QCOMPARE(table->state(), dsEdit);
    QVERIFY(!noMatch->isVisible());
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("Carnica"));
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("10"));
}

// A value the query refuses is told, and the job stays open for typing as after any command.
void Form1Test::refusedQueryValueKeepsTheJobEditing()
{
    seedJobs({{QStringLiteral("A"), 10}, {QStringLiteral("B"), 20}});
    startWindow();
    query({{QStringLiteral("Dato"), QStringLiteral("notadate")}});
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error).size(), 1);
    QCOMPARE(m_form->table()->recordCount(), 2);
    QCOMPARE(m_form->table()->state(), dsEdit);
    auto *navigator = child<TDBNavigator>("DBNavigator1");
    QVERIFY(!navigator->button(TDBNavigator::nbEdit)->isEnabled());
    QVERIFY(navigator->button(TDBNavigator::nbPost)->isEnabled());
}

void Form1Test::navigatorInsertAndDelete()
{
    seedJobs({{QStringLiteral("Only"), 10}});
    startWindow();
    auto *navigator = child<TDBNavigator>("DBNavigator1");
    Table *table = m_form->table();

    navigator->button(TDBNavigator::nbInsert)->click();
    QCOMPARE(table->state(), dsInsert);
    QCOMPARE(child<QLineEdit>("Edit2")->text(), QStringLiteral("0"));
    navigator->button(TDBNavigator::nbLast)->click();
    QCOMPARE(table->recordCount(), 2);
    QCOMPARE(storedRecords({QStringLiteral("timeused")}).size(), 2);

    // Deleting every record leaves a new, unsaved one being typed.
    (*m_dialogs)->defaultConfirm = true;
    navigator->button(TDBNavigator::nbDelete)->click();
    navigator->button(TDBNavigator::nbFirst)->click();
    navigator->button(TDBNavigator::nbDelete)->click();
    QCOMPARE(table->recordCount(), 0);
    QCOMPARE(table->state(), dsInsert);
    QCOMPARE(field("timeused")->asInteger(), 0);
    QVERIFY(child<TDBEdit>("DBEdit1")->hasFocus());

    // Delete while inserting drops the new record and begins a fresh one on an empty table.
    navigator->button(TDBNavigator::nbDelete)->click();
    QCOMPARE(table->state(), dsInsert);
    QCOMPARE(storedRecords({QStringLiteral("timeused")}).size(), 0);
}

void Form1Test::deletingTheOnlyRecordLeavesANewOneUnsaved()
{
    seedJobs({{QStringLiteral("Only"), 60}});
    startWindow();
    const test::Installed<&Dialogs::install> shown(std::make_unique<ShownConfirmations>());
    auto *navigator = child<TDBNavigator>("DBNavigator1");
    Table *table = m_form->table();

    // The confirmation box closes over the window before the record goes.
    navigator->button(TDBNavigator::nbDelete)->click();
    QTRY_VERIFY(m_form->isActiveWindow());
    QTRY_VERIFY(child<TDBEdit>("DBEdit1")->hasFocus());
    QCOMPARE(storedRecords({QStringLiteral("timeused")}).size(), 0);
    QCOMPARE(table->recordCount(), 0);
    QCOMPARE(table->state(), dsInsert);
    QCOMPARE(field("timeused")->asInteger(), 0);
    for (const auto which : {TDBNavigator::nbFirst, TDBNavigator::nbPrior, TDBNavigator::nbNext, TDBNavigator::nbLast})
        QVERIFY(!navigator->button(which)->isEnabled());

    // A dialog closing over the window later saves the pending record and seeds another.
    runBoxOver(m_form.get(), QStringLiteral("Later"));
    QTRY_COMPARE(storedRecords({QStringLiteral("timeused")}).size(), 2);
    QTRY_COMPARE(storedRecords({QStringLiteral("State2"), QStringLiteral("timeused")}),
                 (QList<QVariantList>{{QVariant(), 0}, {QStringLiteral("0"), 0}}));
}

void Form1Test::gridAndNavigatorFollowEachOther()
{
    seedJobs({{QStringLiteral("A"), 1}, {QStringLiteral("B"), 2}, {QStringLiteral("C"), 3}});
    startWindow();
    auto *grid = child<TDBGrid>("EnhancedGrid1");
    auto *navigator = child<TDBNavigator>("DBNavigator1");
    QVERIFY(!navigator->button(TDBNavigator::nbFirst)->isEnabled());

    navigator->button(TDBNavigator::nbLast)->click();
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("C"));
    QCOMPARE(grid->row(), 3);
    QVERIFY(!navigator->button(TDBNavigator::nbNext)->isEnabled());

    // A click on the second data row moves the table, and the navigator follows.
    const QRect cell = grid->cellRect(2, 2);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("B"));
    QVERIFY(navigator->button(TDBNavigator::nbNext)->isEnabled());
    QVERIFY(navigator->button(TDBNavigator::nbPrior)->isEnabled());
    QCOMPARE(child<QLineEdit>("Edit3")->text(), QStringLiteral("2"));
}

void Form1Test::navigatorFollowsEveryMoveInTheGrid()
{
    seedJobs({{QStringLiteral("A"), 1}, {QStringLiteral("B"), 2}, {QStringLiteral("C"), 3}});
    startWindow();
    auto *grid = child<TDBGrid>("EnhancedGrid1");
    auto *navigator = child<TDBNavigator>("DBNavigator1");
    auto moves = [navigator] {
        QString flags;
        for (const auto which :
             {TDBNavigator::nbFirst, TDBNavigator::nbPrior, TDBNavigator::nbNext, TDBNavigator::nbLast})
            flags += navigator->button(which)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return flags;
    };
    navigator->button(TDBNavigator::nbNext)->click();
    QCOMPARE(moves(), QStringLiteral("1111"));

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->cellRect(2, 1).center());
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("A"));
    QCOMPARE(moves(), QStringLiteral("0011"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->cellRect(2, 3).center());
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("C"));
    QCOMPARE(moves(), QStringLiteral("1100"));
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("B"));
    QCOMPARE(moves(), QStringLiteral("1111"));
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(moves(), QStringLiteral("0011"));
}

void Form1Test::dateTypedRightAfterStartIsTaken_data()
{
    QTest::addColumn<bool>("seeded");
    QTest::addColumn<QDate>("before");
    QTest::newRow("first run") << false << QDate();
    QTest::newRow("record without a date") << true << QDate();
    QTest::newRow("record with a date") << true << QDate(2023, 5, 10);
}

void Form1Test::dateTypedRightAfterStartIsTaken()
{
    QFETCH(bool, seeded);
    QFETCH(QDate, before);
    if (seeded) {
        seedJobs({{QStringLiteral("A"), 1}});
        Table table;
        table.setTableName(QStringLiteral("kelvara"));
        table.open();
        table.edit();
        table.fieldByName(QStringLiteral("Dato"))->setValue(before);
        table.post();
    }
    startWindow();
    auto *date = child<TDBEdit>("DBEdit1");
    QTRY_COMPARE(QApplication::focusWidget(), date);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("14072026"));
    QCOMPARE(date->text(), QStringLiteral("14/07/2026"));
    leave(date);
    QVERIFY2((*m_dialogs)->messages.isEmpty(), qPrintable((*m_dialogs)->texts().join(QLatin1Char('|'))));
    QCOMPARE(field("Dato")->value().toDate(), QDate(2026, 7, 14));
}

void Form1Test::incompleteDateIsRefused()
{
    seedJobs({{QStringLiteral("A"), 1}});
    startWindow();
    auto *date = child<TDBEdit>("DBEdit1");
    date->setFocus();
    QTRY_VERIFY(date->hasFocus());
    date->setCursorPosition(0);
    QTest::keyClicks(date, QStringLiteral("0307"));
    child<QLineEdit>("Edit2")->setFocus();
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error),
             QStringList{QStringLiteral("Invalid input value.  Use escape key to abandon changes")});
    QVERIFY(date->hasFocus());
    QTest::keyClick(date, Qt::Key_Escape);
    QTest::keyClicks(date, QStringLiteral("31022026"));
    (*m_dialogs)->clear();
    child<QLineEdit>("Edit2")->setFocus();
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error),
             QStringList{QStringLiteral("'31/02/2026' is not a valid date")});
    QTest::keyClick(date, Qt::Key_Escape);
    QVERIFY(field("Dato")->isNull());
}

void Form1Test::calendarPickStoresTheDate()
{
    seedJobs({{QStringLiteral("A"), 1}, {QStringLiteral("B"), 2}});
    startWindow();
    auto *calendar = child<TDateEdit>("DateEdit1");
    calendar->setDate(QDate(2026, 7, 14));
    Q_EMIT calendar->changed();
    QVERIFY2((*m_dialogs)->messages.isEmpty(), qPrintable((*m_dialogs)->texts().join(QLatin1Char('|'))));
    QCOMPARE(child<TDBEdit>("DBEdit1")->text(), QStringLiteral("14/07/2026"));
    QCOMPARE(storedRecords({QStringLiteral("Dato")}).at(0).at(0), QVariant(QDate(2026, 7, 14)));
    QCOMPARE(m_form->table()->state(), dsEdit);
    m_form->table()->next();
    m_form->table()->prior();
    QCOMPARE(child<TDBEdit>("DBEdit1")->text(), QStringLiteral("14/07/2026"));
}

void Form1Test::loadStoresAndShowsAPicture()
{
    startWindow();
    const QByteArray photo = jpegBytes(QSize(800, 600), Qt::darkGreen);
    const QString file = m_workspace->writeFile(QStringLiteral("hive.jpg"), photo);
    child<QTabWidget>("PageControl1")->setCurrentIndex(3);
    (*m_dialogs)->openAnswers = {file};
    child<QToolButton>("SpeedButton16")->click();
    QVERIFY2((*m_dialogs)->messages.isEmpty(), qPrintable((*m_dialogs)->texts().join(QLatin1Char('|'))));
    QCOMPARE((*m_dialogs)->openRequests.size(), 1);
    QCOMPARE((*m_dialogs)->openRequests.first().filters.first(),
             QStringLiteral("All (*.jpg;*.jpeg) (*.gif *.jpg *.jpeg)"));
    QCOMPARE(field("pic3")->blobSize(), qint64(photo.size()));
    QCOMPARE(storedRecords({QStringLiteral("pic3")}).at(0).at(0).toByteArray(), photo);
    QCOMPARE(m_form->table()->state(), dsEdit);
    auto *view = child<PictureView>("Image3");
    QVERIFY(view->hasPicture());
    QCOMPARE(view->pictureSize(), QSize(800, 600));

    // A second load on the same sheet replaces the first.
    const QByteArray second = jpegBytes(QSize(320, 200), Qt::yellow);
    (*m_dialogs)->openAnswers = {m_workspace->writeFile(QStringLiteral("second.jpg"), second)};
    child<QToolButton>("SpeedButton16")->click();
    QCOMPARE(storedRecords({QStringLiteral("pic3")}).at(0).at(0).toByteArray(), second);
    QCOMPARE(view->pictureSize(), QSize(320, 200));

    // Showing the sheet again after a visit to another record shows the record's own picture.
    visitNewRecordAndReturn(3, view);
    QVERIFY(view->hasPicture());
    QCOMPARE(view->pictureSize(), QSize(320, 200));

    // Typing a comment shows the same picture again without a new decode.
    const QImage before = view->decodedImage();
    typeInto(child<TDBMemo>("DBMemo4"), QStringLiteral("Swarm on a branch"));
    child<QToolButton>("SpeedButton16")->setFocus();
    m_form->table()->post();
    QCOMPARE(view->decodedImage().cacheKey(), before.cacheKey());
}

void Form1Test::loadNeverOpensTheTablesFiles_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("link");
    QTest::newRow("the table") << "kelvara.db"
                               << "";
    QTest::newRow("its log") << "kelvara.db-wal"
                             << "";
    QTest::newRow("by a roundabout path") << "sub/../kelvara.db"
                                          << "";
    QTest::newRow("a second name of the table") << "photo.jpg"
                                                << "hard";
    QTest::newRow("a symbolic link to the table") << "photo.jpg"
                                                  << "symbolic";
}

// Opening and closing a table file anywhere in the process drops SQLite's locks on it, after
// which a reader beside us deletes the log and what we save next is lost to other programs.
void Form1Test::loadNeverOpensTheTablesFiles()
{
    QFETCH(QString, chosen);
    QFETCH(QString, link);
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        QSKIP("needs the sqlite3 shell");
    startWindow();
    QVERIFY(QDir().mkdir(QStringLiteral("sub")));
    if (link == QLatin1String("hard"))
        QCOMPARE(::link("kelvara.db", "photo.jpg"), 0);
    else if (link == QLatin1String("symbolic"))
        QVERIFY(QFile::link(QStringLiteral("kelvara.db"), QStringLiteral("photo.jpg")));
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    (*m_dialogs)->openAnswers = {m_workspace->filePath(chosen)};
    child<QToolButton>("SpeedButton15")->click();
    const QStringList errors = (*m_dialogs)->texts(ScriptedDialogs::Kind::Error);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(QStringLiteral("is a file of the open record table")), qPrintable(errors.first()));

    QCOMPARE(recordsSeenByAnotherProgram(QStringLiteral("kelvara.db")), 1);
    QVERIFY(QFile::exists(QStringLiteral("kelvara.db-wal")));
    m_form->table()->insertRecord({QVariant(), QStringLiteral("Ada")});
    QCOMPARE(recordsSeenByAnotherProgram(QStringLiteral("kelvara.db")), 2);
}

void Form1Test::loadRefusesWhatIsNoJpeg_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("messageStart");
    QTest::newRow("a GIF") << gifBytes() << "JPEG error #";
    const QByteArray photo = jpegBytes(QSize(640, 480), Qt::red);
    QTest::newRow("cut off") << photo.left(photo.size() / 2) << "JPEG error #";
    QTest::newRow("empty file") << QByteArray("") << "JPEG error #";
    QTest::newRow("over 100 megapixels") << withDeclaredSize(photo, 20000, 20000)
                                         << "The picture is too large to show: 20000 x 20000 pixels";
}

void Form1Test::loadRefusesWhatIsNoJpeg()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, messageStart);
    startWindow();
    const QString file = m_workspace->writeFile(QStringLiteral("picture.jpg"), bytes);
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    (*m_dialogs)->openAnswers = {file};
    child<QToolButton>("SpeedButton15")->click();
    const QStringList errors = (*m_dialogs)->texts(ScriptedDialogs::Kind::Error);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().startsWith(messageStart), qPrintable(errors.first()));
    QVERIFY(field("pic1")->isNull());
    QVERIFY(storedRecords({QStringLiteral("pic1")}).at(0).at(0).isNull());

    // A file that cannot be read is reported, and nothing changes either.
    (*m_dialogs)->clear();
    (*m_dialogs)->openAnswers = {m_workspace->filePath(QStringLiteral("no such file.jpg"))};
    child<QToolButton>("SpeedButton15")->click();
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error).size(), 1);
    QVERIFY(field("pic1")->isNull());
}

void Form1Test::cutCopyAndStretch()
{
    startWindow();
    const QByteArray photo = jpegBytes(QSize(200, 100), Qt::blue);
    child<QTabWidget>("PageControl1")->setCurrentIndex(4);
    (*m_dialogs)->openAnswers = {m_workspace->writeFile(QStringLiteral("p.jpg"), photo)};
    child<QToolButton>("SpeedButton22")->click();
    auto *view = child<PictureView>("Image4");
    QVERIFY(view->hasPicture());

    // Copy on a sheet that shows nothing leaves the clipboard alone.
    QApplication::clipboard()->setText(QStringLiteral("keep me"));
    child<QToolButton>("SpeedButton2")->click();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("keep me"));

    child<QToolButton>("SpeedButton19")->click();
    QCOMPARE(QApplication::clipboard()->image().size(), QSize(200, 100));

    QApplication::clipboard()->clear();
    child<QToolButton>("SpeedButton21")->click();
    QCOMPARE(QApplication::clipboard()->image().size(), QSize(200, 100));
    QVERIFY(!view->hasPicture());
    QVERIFY(field("pic4")->isNull());
    QVERIFY(storedRecords({QStringLiteral("pic4")}).at(0).at(0).isNull());
    QCOMPARE(m_form->table()->state(), dsEdit);

    auto *stretch3 = child<QToolButton>("SpeedButton18");
    auto *view3 = child<PictureView>("Image3");
    QVERIFY(view3->stretch());
    stretch3->click();
    QVERIFY(!view3->stretch());
    QVERIFY(view->stretch());
    stretch3->click();
    QVERIFY(view3->stretch());
}

void Form1Test::jobWithoutPhotoShowsNone_data()
{
    QTest::addColumn<bool>("viaDataSheet");
    QTest::newRow("back from the data sheet") << true;
    QTest::newRow("a move while the sheet shows") << false;
}

// A picture sheet shows the current job's photo or nothing, never the job's before.
void Form1Test::jobWithoutPhotoShowsNone()
{
    QFETCH(bool, viaDataSheet);
    seedJobs({{QStringLiteral("Bare"), 1}, {QStringLiteral("Photo"), 2}});
    startWindow();
    auto *pages = child<QTabWidget>("PageControl1");
    m_form->table()->last();
    pages->setCurrentIndex(1);
    (*m_dialogs)->openAnswers = {m_workspace->writeFile(QStringLiteral("p.jpg"), jpegBytes(QSize(64, 48), Qt::red))};
    child<QToolButton>("SpeedButton15")->click();
    auto *view = child<PictureView>("Image1");
    QVERIFY(view->hasPicture());

    if (viaDataSheet)
        pages->setCurrentIndex(0);
    m_form->table()->prior();
    pages->setCurrentIndex(1);
    QCOMPARE(field("Lastname")->asString(), QStringLiteral("Bare"));
    QVERIFY(!view->hasPicture());

    m_form->table()->next();
    QVERIFY(view->hasPicture());
}

void Form1Test::picturesKeepTheirRenditionsAndCopyThePhoto()
{
    const test::Installed<&installRenditionMaker> restore(makePhotoRenditions);
    const auto renditionRows = [] {
        sql::Database db(QStringLiteral("kelvara.db"), sql::Database::Mode::ReadOnly);
        sql::Statement count
            = db.prepare(QStringLiteral("SELECT count(*) FROM \"kelvara_previews\" WHERE \"field\" = 'pic3'"));
        return count.step() ? count.int64(0) : -1;
    };
    seedJobs({{QStringLiteral("A"), 1}, {QStringLiteral("B"), 2}});
    startWindow();
    auto *pages = child<QTabWidget>("PageControl1");
    pages->setCurrentIndex(3);
    const QByteArray photo = test::withOrientation(jpegBytes(QSize(1600, 1200), Qt::darkGreen), 6);
    (*m_dialogs)->openAnswers = {m_workspace->writeFile(QStringLiteral("hive.jpg"), photo)};
    child<QToolButton>("SpeedButton16")->click();
    QVERIFY2((*m_dialogs)->messages.isEmpty(), qPrintable((*m_dialogs)->texts().join(QLatin1Char('|'))));
    QCOMPARE(storedRecords({QStringLiteral("pic3")}).at(0).at(0).toByteArray(), photo);
    QCOMPARE(renditionRows(), 2);

    // Back on the record after a new one emptied the views, the sheet draws from the preview;
    // copy still gives the photo.
    auto *view = child<PictureView>("Image3");
    visitNewRecordAndReturn(3, view);
    QVERIFY(view->showsPreview());
    QCOMPARE(view->pictureSize(), QSize(1200, 1600));
    QApplication::clipboard()->clear();
    child<QToolButton>("SpeedButton12")->click();
    QCOMPARE(QApplication::clipboard()->image().size(), QSize(1200, 1600));

    QApplication::clipboard()->clear();
    child<QToolButton>("SpeedButton14")->click();
    QCOMPARE(QApplication::clipboard()->image().size(), QSize(1200, 1600));
    QVERIFY(storedRecords({QStringLiteral("pic3")}).at(0).at(0).isNull());
    QCOMPARE(renditionRows(), 0);
}

QTEST_MAIN(Form1Test)
#include "tst_form1.moc"
