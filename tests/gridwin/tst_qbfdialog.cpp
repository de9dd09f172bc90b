// The query-by-form dialog as the grid opens it: its refusals, the form of the grid's fields,
// query and sort through Ok, row dragging, Cancel and Esc, and values the store refuses.

#include "grid/gridcompanions.h"
#include "grid/tcolumn.h"
#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "gridwin/gridwindows.h"
#include "gridwin/tdlgqbf.h"
#include "installedwindows.h"
#include "scripteddialogs.h"
#include "store/field.h"

#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QtTest>

#include <functional>

using namespace kelvara;
using namespace kelvara::test;

using Mode = GridCompanions::FormMode;
using FormAction = std::function<void(TdlgQbf &, QTableWidget *)>;
using Values = QList<QPair<int, QString>>;  // value texts by form row

Q_DECLARE_METATYPE(FormAction)
Q_DECLARE_METATYPE(Values)

namespace {

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

FieldDefs fieldsOfEveryKind()
{
    return {test::fieldDef(QStringLiteral("Name"), ftString, 20), test::fieldDef(QStringLiteral("City"), ftString, 20),
            test::fieldDef(QStringLiteral("Hive"), ftString, 20), test::fieldDef(QStringLiteral("Count"), ftInteger),
            test::fieldDef(QStringLiteral("Notes"), ftMemo),      test::fieldDef(QStringLiteral("Dato"), ftDate),
            test::fieldDef(QStringLiteral("Rich"), ftFmtMemo),    test::fieldDef(QStringLiteral("Pic"), ftBlob),
            test::fieldDef(QStringLiteral("Photo"), ftGraphic)};
}

// Ten records of "jobs" (Name "Name i", City "City i mod 3", Count i) under an enhanced grid
// with the program's windows installed. The dialog runs through the scripted dialogs.
struct Qbf
{
    explicit Qbf(const QStringList &columns
                 = {QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Hive"), QStringLiteral("Count")})
    {
        grid = data.makeGrid<TEnhancedGrid>();
        for (const QString &column : columns)
            addColumn(*grid, column);
    }

    // Opens the dialog; act runs while it is shown and closes it.
    void run(Mode mode, const FormAction &act)
    {
        dialogs->onExec = [&](QDialog &dialog) {
            dialog.show();
            auto *form = qobject_cast<TdlgQbf *>(&dialog);
            caption = dialog.windowTitle();
            act(*form, form->findChild<QTableWidget *>(QStringLiteral("gridQBF")));
            result = dialog.result();
            return result;
        };
        gridCompanions().queryByForm(*grid, mode);
    }

    // Fills value texts in and presses Ok.
    void query(const Values &values)
    {
        run(Mode::Query, [&](TdlgQbf &form, QTableWidget *table) {
            for (const auto &[row, text] : values)
                table->item(row, 1)->setText(text);
            form.findChild<QPushButton *>(QStringLiteral("OKBtn"))->click();
        });
    }

    // An earlier query: the table by Count, only Count 5 to 7.
    void narrowEarlier()
    {
        data.table.setIndexFieldNames(QStringLiteral("Count"));
        data.table.setRangeStart();
        data.table.fieldByName(QStringLiteral("Count"))->setAsInteger(5);
        data.table.setRangeEnd();
        data.table.fieldByName(QStringLiteral("Count"))->setAsInteger(7);
        data.table.applyRange();
    }

    QStringList names()
    {
        QStringList result;
        data.table.first();
        while (!data.table.eof()) {
            result << data.table.fieldByName(QStringLiteral("Name"))->asString();
            data.table.next();
        }
        return result;
    }

    GridFixture data{10, fieldsOfEveryKind()};
    ScriptedDialogsScope dialogs;
    InstalledWindows windows;
    std::unique_ptr<TEnhancedGrid> grid;
    QString caption;
    int result = -1;
};

QStringList column(QTableWidget *table, int col)
{
    QStringList result;
    for (int row = 0; row < table->rowCount(); ++row)
        result << table->item(row, col)->text();
    return result;
}

QStringList numberedNames(const QList<int> &numbers)
{
    QStringList result;
    for (int n : numbers)
        result << QStringLiteral("Name %1").arg(n);
    return result;
}

void clickOk(TdlgQbf &form)
{
    form.findChild<QPushButton *>(QStringLiteral("OKBtn"))->click();
}

// Drags a form row by its field-name cell and drops it over another row (-1: below the last).
void dragRow(QTableWidget *table, int from, int to)
{
    QWidget *viewport = table->viewport();
    const QPoint start = table->visualItemRect(table->item(from, 0)).center();
    const QPoint end
        = to >= 0 ? table->visualItemRect(table->item(to, 0)).center() : QPoint(start.x(), viewport->height() - 2);
    sendMouse(viewport, QEvent::MouseButtonPress, start, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseMove, (start + end) / 2, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseMove, end, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, end, Qt::NoButton);
}

}  // namespace

class tst_QbfDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusals_data();
    void refusals();
    void formListsTheGridsFields_data();
    void formListsTheGridsFields();
    void formFollowsTheMode_data();
    void formFollowsTheMode();
    void windowIsAFixedDialogOfWholeRows_data();
    void windowIsAFixedDialogOfWholeRows();
    void queryNarrowsToTheValues_data();
    void queryNarrowsToTheValues();
    void formOfExcludedFieldsClearsOrderAndRange();
    void sortTakesEveryRowInItsOrder_data();
    void sortTakesEveryRowInItsOrder();
    void valueStillBeingTypedCounts();
    void cancelLeavesTheTable_data();
    void cancelLeavesTheTable();
    void refusalsOfTheStore_data();
    void refusalsOfTheStore();
    void gridCommandsRunTheDialog();
};

void tst_QbfDialog::refusals_data()
{
    QTest::addColumn<std::function<void(Qbf &)>>("setUp");
    QTest::addColumn<QString>("warning");

    QTest::newRow("no fields") << std::function<void(Qbf &)>([](Qbf &qbf) {
        qbf.grid->columns()->clear();
        qbf.grid->setDataSource(nullptr);
    }) << "QBF called for a Grid without any Fields";
    QTest::newRow("no data source") << std::function<void(Qbf &)>([](Qbf &qbf) { qbf.grid->setDataSource(nullptr); })
                                    << "QBF called for a Grid without a DataSource";
    QTest::newRow("data source without record set")
        << std::function<void(Qbf &)>([](Qbf &qbf) { qbf.data.source.setDataSet(nullptr); })
        << "QBF called for a Grid with a DataSource without a DataSet";
}

Q_DECLARE_METATYPE(std::function<void(Qbf &)>)

void tst_QbfDialog::refusals()
{
    QFETCH(std::function<void(Qbf &)>, setUp);
    QFETCH(QString, warning);
    for (Mode mode : {Mode::Query, Mode::Sort}) {
        // Opened directly, and through the grid's own command, which must not refuse first.
        for (const bool fromGrid : {false, true}) {
            Qbf qbf;
            setUp(qbf);
            if (!fromGrid)
                qbf.run(mode, [](TdlgQbf &, QTableWidget *) { QFAIL("the dialog was shown"); });
            else if (mode == Mode::Query)
                qbf.grid->queryByForm();
            else
                qbf.grid->sortByForm();
            QCOMPARE(qbf.dialogs->execCount, 0);
            QCOMPARE(qbf.dialogs->texts(ScriptedDialogs::Kind::Warning), QStringList{warning});
            QCOMPARE(qbf.dialogs->texts().size(), 1);
        }
    }
}

void tst_QbfDialog::formListsTheGridsFields_data()
{
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("date, memo and blob: the date only")
        << QStringList{"Dato", "Notes", "Pic"} << QStringList() << QStringList{"Dato"};
    QTest::newRow("formatted memo is listed, graphic not")
        << QStringList{"Photo", "Rich", "Count"} << QStringList() << QStringList{"Rich", "Count"};
    QTest::newRow("grid column order") << QStringList{"Count", "Name", "City"} << QStringList()
                                       << QStringList{"Count", "Name", "City"};
    QTest::newRow("hidden columns still give rows")
        << QStringList{"Name", "City", "Count"} << QStringList{"City"} << QStringList{"Name", "City", "Count"};
    QTest::newRow("a column showing no field is left out")
        << QStringList{"Name", "Nothing", "Count"} << QStringList() << QStringList{"Name", "Count"};
    QTest::newRow("field names, not labels") << QStringList{"Name"} << QStringList() << QStringList{"Name"};
    QTest::newRow("no column list: the visible fields")
        << QStringList() << QStringList{"City", "Hive"} << QStringList{"Name", "Count", "Dato", "Rich"};
}

void tst_QbfDialog::formListsTheGridsFields()
{
    QFETCH(QStringList, columns);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, rows);
    Qbf qbf(columns);
    qbf.data.table.fieldByName(QStringLiteral("Name"))->setDisplayLabel(QStringLiteral("Customer"));
    for (const QString &name : hidden) {
        if (columns.isEmpty())
            qbf.data.table.fieldByName(name)->setVisible(false);
        else
            qbf.grid->columns()->items(int(columns.indexOf(name)))->setVisible(false);
    }
    QStringList names, values;
    qbf.run(Mode::Query, [&](TdlgQbf &form, QTableWidget *table) {
        names = column(table, 0);
        values = column(table, 1);
        form.reject();
    });
    QCOMPARE(names, rows);
    QCOMPARE(values, QStringList(rows.size(), QString()));
}

void tst_QbfDialog::formFollowsTheMode_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("valueHeader");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<int>("width");
    QTest::newRow("query") << Mode::Query << "Query For Table jobs"
                           << " Value " << true << 150;
    QTest::newRow("sort") << Mode::Sort << "Sort Order For Table jobs"
                          << "" << false << 300;
}

void tst_QbfDialog::formFollowsTheMode()
{
    QFETCH(Mode, mode);
    QFETCH(QString, caption);
    QFETCH(QString, valueHeader);
    QFETCH(bool, editable);
    QFETCH(int, width);
    Qbf qbf;
    qbf.run(mode, [&](TdlgQbf &form, QTableWidget *table) {
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral(" Field "));
        QCOMPARE(table->horizontalHeaderItem(1)->text(), valueHeader);
        QCOMPARE(table->columnCount(), 2);
        QCOMPARE(table->columnWidth(0), width);
        QCOMPARE(table->columnWidth(1), width);
        QCOMPARE(table->rowHeight(0), 16);
        QCOMPARE(table->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(bool(table->item(0, 1)->flags() & Qt::ItemIsEditable), editable);
        QVERIFY(!(table->item(0, 0)->flags() & Qt::ItemIsEditable));
        QCOMPARE(form.mode(), mode);
        // The field names stay in view; the sort form's value column is beyond its edge.
        QCOMPARE(table->horizontalScrollBar()->value(), 0);
        QVERIFY(table->visualItemRect(table->item(0, 0)).left() >= 0);
        // With more fields than rows in view the vertical scroll bar takes room as well, and
        // moving to a value must still not scroll the names away.
        table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        table->setCurrentCell(1, 1);
        QCOMPARE(table->horizontalScrollBar()->value(), 0);
        form.reject();
    });
    QCOMPARE(qbf.caption, caption);
}

void tst_QbfDialog::windowIsAFixedDialogOfWholeRows_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("caption");
    QTest::newRow("query") << Mode::Query << "Query For Table jobs";
    QTest::newRow("sort") << Mode::Sort << "Sort Order For Table jobs";
}

void tst_QbfDialog::windowIsAFixedDialogOfWholeRows()
{
    QFETCH(Mode, mode);
    QFETCH(QString, caption);
    // More rows than the view holds.
    const QStringList fields = {QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Hive"),
                                QStringLiteral("Count"), QStringLiteral("Dato")};
    Qbf qbf(fields + fields);
    qbf.run(mode, [&](TdlgQbf &form, QTableWidget *table) {
        QCOMPARE(form.windowTitle(), caption);
        const Qt::WindowFlags flags = form.windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QCOMPARE(form.minimumSize(), form.maximumSize());

        QVERIFY(table->rowCount() * table->rowHeight(0) > table->viewport()->height());
        // The row at the view's lower edge ends there (with its grid line): no row is cut off.
        const int edge = table->viewport()->height();
        const auto rowEnd = [&](int row) { return table->rowViewportPosition(row) + table->rowHeight(row); };
        const int bottomRow = table->rowAt(edge - 1);
        QVERIFY(bottomRow >= 0);
        QCOMPARE(rowEnd(bottomRow), edge);
        table->scrollToBottom();
        QCOMPARE(rowEnd(table->rowCount() - 1), edge);
        // The form lies inside the dialog, as far from its foot as from its top.
        QVERIFY(form.rect().contains(table->geometry()));
        QCOMPARE(form.height() - 1 - table->geometry().bottom(), table->y());
        form.reject();
    });
    QCOMPARE(qbf.caption, caption);
}

void tst_QbfDialog::queryNarrowsToTheValues_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("one value") << Values{{1, "City 2"}} << "City" << numberedNames({2, 5, 8});
    QTest::newRow("second and fourth rows") << Values{{1, "City 1"}, {3, "4"}} << "City;Count" << numberedNames({4});
    QTest::newRow("first and fourth rows") << Values{{3, "7"}, {0, "Name 7"}} << "Name;Count" << numberedNames({7});
    QTest::newRow("a value nothing equals") << Values{{3, "99"}} << "Count" << QStringList();
    QTest::newRow("a blank is a value") << Values{{2, " "}} << "Hive" << QStringList();
    QTest::newRow("no value: default order, no range")
        << Values() << "" << numberedNames({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
}

void tst_QbfDialog::queryNarrowsToTheValues()
{
    QFETCH(Values, values);
    QFETCH(QString, index);
    QFETCH(QStringList, names);
    Qbf qbf;
    qbf.narrowEarlier();
    qbf.query(values);

    QCOMPARE(qbf.result, TdlgQbf::mrOk);
    QVERIFY(qbf.dialogs->texts().isEmpty());
    QCOMPARE(qbf.data.table.indexFieldNames(), index);
    QCOMPARE(qbf.data.table.hasRange(), !index.isEmpty());
    QCOMPARE(qbf.data.table.state(), dsBrowse);
    QCOMPARE(qbf.names(), names);
}

void tst_QbfDialog::formOfExcludedFieldsClearsOrderAndRange()
{
    Qbf qbf({QStringLiteral("Notes"), QStringLiteral("Pic"), QStringLiteral("Photo")});
    qbf.narrowEarlier();
    int rows = -1;
    qbf.run(Mode::Query, [&](TdlgQbf &form, QTableWidget *table) {
        rows = table->rowCount();
        clickOk(form);
    });
    QCOMPARE(rows, 0);
    QCOMPARE(qbf.result, TdlgQbf::mrOk);
    QCOMPARE(qbf.data.table.indexFieldNames(), QString());
    QVERIFY(!qbf.data.table.hasRange());
    QCOMPARE(qbf.data.table.recordCount(), 10);
}

void tst_QbfDialog::sortTakesEveryRowInItsOrder_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("index");
    QTest::newRow("not dragged") << 0 << 0 << "Name;City;Hive;Count";
    QTest::newRow("fourth row dragged to the top") << 3 << 0 << "Count;Name;City;Hive";
    QTest::newRow("first row dragged onto the third") << 0 << 2 << "City;Hive;Name;Count";
    QTest::newRow("dropped below the last row") << 1 << -1 << "Name;Hive;Count;City";
}

void tst_QbfDialog::sortTakesEveryRowInItsOrder()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, index);
    Qbf qbf;
    qbf.narrowEarlier();
    qbf.run(Mode::Sort, [&](TdlgQbf &form, QTableWidget *table) {
        // The value column of the sort form is never read, whatever it holds.
        table->item(1, 1)->setText(QStringLiteral("City 1"));
        if (from != to)
            dragRow(table, from, to);
        QCOMPARE(table->horizontalScrollBar()->value(), 0);
        clickOk(form);
    });
    QCOMPARE(qbf.data.table.indexFieldNames(), index);
    QVERIFY(!qbf.data.table.hasRange());
    QCOMPARE(qbf.data.table.recordCount(), 10);
    if (index.startsWith(QLatin1String("Count")))
        QCOMPARE(qbf.names(), numberedNames({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    if (index.startsWith(QLatin1String("City")))
        QCOMPARE(qbf.names(), numberedNames({3, 6, 9, 1, 10, 4, 7, 2, 5, 8}));
}

void tst_QbfDialog::valueStillBeingTypedCounts()
{
    Qbf qbf;
    qbf.run(Mode::Query, [&](TdlgQbf &form, QTableWidget *table) {
        table->editItem(table->item(3, 1));
        auto *editor = table->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("6"));
        clickOk(form);
    });
    QCOMPARE(qbf.data.table.indexFieldNames(), QStringLiteral("Count"));
    QCOMPARE(qbf.names(), numberedNames({6}));
}

void tst_QbfDialog::cancelLeavesTheTable_data()
{
    QTest::addColumn<FormAction>("close");
    QTest::newRow("Cancel") << FormAction(
        [](TdlgQbf &form, QTableWidget *) { form.findChild<QPushButton *>(QStringLiteral("CancelBtn"))->click(); });
    QTest::newRow("a click on Cancel's panel") << FormAction([](TdlgQbf &form, QTableWidget *) {
        auto *panel = form.findChild<QFrame *>(QStringLiteral("CancelPanel"));
        QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(0, 0));
    });
    QTest::newRow("Esc in the form") << FormAction(
        [](TdlgQbf &, QTableWidget *table) { QTest::keyClick(table, Qt::Key_Escape); });
    QTest::newRow("Esc while typing a value") << FormAction([](TdlgQbf &form, QTableWidget *table) {
        // The sort form has nothing to type into.
        if (form.mode() == Mode::Sort) {
            QTest::keyClick(table, Qt::Key_Escape);
            return;
        }
        table->editItem(table->item(0, 1));
        auto *editor = table->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("Name 2"));
        QTest::keyClick(editor, Qt::Key_Escape);
    });
    QTest::newRow("Esc on the dialog") << FormAction(
        [](TdlgQbf &form, QTableWidget *) { QTest::keyClick(&form, Qt::Key_Escape); });
    QTest::newRow("title bar close") << FormAction([](TdlgQbf &form, QTableWidget *) { form.close(); });
}

void tst_QbfDialog::cancelLeavesTheTable()
{
    QFETCH(FormAction, close);
    for (Mode mode : {Mode::Query, Mode::Sort}) {
        Qbf qbf;
        qbf.narrowEarlier();
        qbf.data.table.next();
        bool hidden = false;
        qbf.run(mode, [&](TdlgQbf &form, QTableWidget *table) {
            table->item(1, 1)->setText(QStringLiteral("City 1"));
            dragRow(table, 3, 0);
            close(form, table);
            hidden = !form.isVisible();
        });
        QVERIFY(hidden);
        QCOMPARE(qbf.result, TdlgQbf::mrCancel);
        QCOMPARE(qbf.data.table.indexFieldNames(), QStringLiteral("Count"));
        QVERIFY(qbf.data.table.hasRange());
        QCOMPARE(qbf.data.table.recNo(), 2);
        QCOMPARE(qbf.names(), numberedNames({5, 6, 7}));
    }
}

void tst_QbfDialog::refusalsOfTheStore_data()
{
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("index");
    QTest::addColumn<bool>("range");
    QTest::addColumn<QStringList>("names");

    const QStringList columns{"Name", "City", "Hive", "Count"};
    // The refused value leaves the new order without a range, whether it came first or last.
    QTest::newRow("a number field refuses the text")
        << columns << Values{{1, "City 1"}, {3, "four"}} << "'four' is not a valid integer value for field 'Count'"
        << "City;Count" << false << numberedNames({3, 6, 9, 1, 4, 7, 10, 2, 5, 8});
    QTest::newRow("the first value refused")
        << QStringList{"Dato", "Name"} << Values{{0, "31/02/2024"}, {1, "Name 3"}} << "'31/02/2024' is not a valid date"
        << "Dato;Name" << false << numberedNames({1, 10, 2, 3, 4, 5, 6, 7, 8, 9});
    // No order for the fields: the table keeps its order and its range.
    QTest::newRow("a formatted memo cannot order")
        << QStringList{"City", "Rich"} << Values{{0, "City 1"}, {1, "x"}} << "No index for fields 'City;Rich'"
        << "Count" << true << numberedNames({5, 6, 7});
}

void tst_QbfDialog::refusalsOfTheStore()
{
    QFETCH(QStringList, columns);
    QFETCH(Values, values);
    QFETCH(QString, error);
    QFETCH(QString, index);
    QFETCH(bool, range);
    QFETCH(QStringList, names);
    Qbf qbf(columns);
    qbf.narrowEarlier();
    bool hidden = false;
    qbf.run(Mode::Query, [&](TdlgQbf &form, QTableWidget *table) {
        for (const auto &[row, text] : values)
            table->item(row, 1)->setText(text);
        clickOk(form);
        hidden = !form.isVisible();
    });

    QCOMPARE(qbf.dialogs->texts(ScriptedDialogs::Kind::Error), QStringList{error});
    QCOMPARE(qbf.dialogs->texts().size(), 1);
    QVERIFY(hidden);
    QCOMPARE(qbf.result, TdlgQbf::mrOk);
    Table &table = qbf.data.table;
    QCOMPARE(table.state(), dsBrowse);
    QCOMPARE(table.indexFieldNames(), index);
    QCOMPARE(table.hasRange(), range);
    QCOMPARE(qbf.names(), names);
    // No half-set range waits to narrow the table later, and the table can be edited.
    if (!range) {
        table.applyRange();
        QCOMPARE(table.recordCount(), 10);
        table.cancelRange();
    }
    table.edit();
    QCOMPARE(table.state(), dsEdit);
}

void tst_QbfDialog::gridCommandsRunTheDialog()
{
    // The grid's own Query By Form and Sort By Form commands, through the program's windows.
    Qbf qbf;
    qbf.dialogs->onExec = [&](QDialog &dialog) {
        dialog.show();
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("gridQBF"));
        table->item(1, 1)->setText(QStringLiteral("City 2"));
        dialog.findChild<QPushButton *>(QStringLiteral("OKBtn"))->click();
        return dialog.result();
    };
    qbf.grid->queryByForm();
    QCOMPARE(qbf.data.table.indexFieldNames(), QStringLiteral("City"));
    QCOMPARE(qbf.names(), numberedNames({2, 5, 8}));

    qbf.grid->sortByForm();
    QCOMPARE(qbf.dialogs->execCount, 2);
    QVERIFY(qbf.dialogs->texts().isEmpty());
    QCOMPARE(qbf.data.table.indexFieldNames(), QStringLiteral("Name;City;Hive;Count"));
    QVERIFY(!qbf.data.table.hasRange());
    QCOMPARE(qbf.data.table.recordCount(), 10);
}

QTEST_MAIN(tst_QbfDialog)
#include "tst_qbfdialog.moc"
