// The column chooser: the check list of the record set's fields, its drawing, moving entries by
// dragging, and what Ok, Cancel and Esc write back; also as the grid opens it.

#include "grid/gridcompanions.h"
#include "grid/tcolumn.h"
#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "gridwin/gridwindows.h"
#include "gridwin/tcolselectform.h"
#include "installedwindows.h"
#include "platform/colorvalues.h"
#include "scripteddialogs.h"
#include "store/field.h"

#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <functional>

using namespace kelvara;
using namespace kelvara::test;

namespace {

const QString kRefusal = QStringLiteral("You Cannot Hide All The Columns.");

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// The table "jobs" (Name, City, Count, Notes, three records) under an enhanced grid, and a
// chooser for that grid, shown and so filled.
struct Chooser
{
    // prepare changes the table before the grid is made, beforeShow the window before it fills.
    explicit Chooser(const std::function<void(Table &)> &prepare = {},
                     const std::function<void(TColSelectForm &, DataSource &)> &beforeShow = {})
    {
        if (prepare)
            prepare(data.table);
        grid = data.makeGrid<TEnhancedGrid>();
        form = std::make_unique<TColSelectForm>(grid.get());
        form->setGrid(grid.get());
        form->setDataSource(&data.source);
        if (beforeShow)
            beforeShow(*form, data.source);
        form->show();
        list = form->findChild<QListWidget *>(QStringLiteral("ColList"));
    }

    QStringList labels() const
    {
        QStringList result;
        for (int i = 0; i < list->count(); ++i)
            result << list->item(i)->text();
        return result;
    }
    // "+" for a checked entry, "-" for an unchecked one, in list order.
    QString marks() const
    {
        QString result;
        for (int i = 0; i < list->count(); ++i)
            result += list->item(i)->checkState() == Qt::Checked ? QLatin1Char('+') : QLatin1Char('-');
        return result;
    }
    // The fields' visibility in field order, as marks.
    QString visibility() const
    {
        QString result;
        for (const Field *field : data.table.fields())
            result += field->visible() ? QLatin1Char('+') : QLatin1Char('-');
        return result;
    }
    void setMarks(const QString &marks)
    {
        for (int i = 0; i < marks.size(); ++i)
            list->item(i)->setCheckState(marks.at(i) == QLatin1Char('+') ? Qt::Checked : Qt::Unchecked);
    }
    QPoint entryCenter(int row) const { return list->visualItemRect(list->item(row)).center(); }
    void clickOk() { form->findChild<QPushButton *>(QStringLiteral("Okbtn"))->click(); }

    GridFixture data{3};
    ScriptedDialogsScope dialogs;
    std::unique_ptr<TEnhancedGrid> grid;
    std::unique_ptr<TColSelectForm> form;
    QListWidget *list = nullptr;
};

// A drag in the list by mouse: press at the first point, move through the others, release at the last.
void drag(QListWidget *list, const QList<QPoint> &path)
{
    QWidget *viewport = list->viewport();
    sendMouse(viewport, QEvent::MouseButtonPress, path.first(), Qt::LeftButton);
    for (const QPoint &pos : path.mid(1))
        sendMouse(viewport, QEvent::MouseMove, pos, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, path.last(), Qt::NoButton);
}

}  // namespace

Q_DECLARE_METATYPE(std::function<void(Table &)>)

class tst_ColSelectForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listsLabelsAndVisibility_data();
    void listsLabelsAndVisibility();
    void windowAsCreated();
    void activatingAgainAddsNothing();
    void okWritesEachMark();
    void okWithNothingCheckedRefuses_data();
    void okWithNothingCheckedRefuses();
    void closingOtherwiseWritesNothing_data();
    void closingOtherwiseWritesNothing();
    void draggingMovesAnEntry_data();
    void draggingMovesAnEntry();
    void draggedEntriesKeepTheirFields();
    void entriesAreDrawnWithRaisedEdges_data();
    void entriesAreDrawnWithRaisedEdges();
    void gridOpensTheChooser_data();
    void gridOpensTheChooser();
    void customizeHidesTheGridsColumn();
};

void tst_ColSelectForm::listsLabelsAndVisibility_data()
{
    QTest::addColumn<std::function<void(Table &)>>("prepare");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("marks");

    QTest::newRow("names, all visible") << std::function<void(Table &)>()
                                        << QStringList{"Name", "City", "Count", "Notes"} << "++++";
    QTest::newRow("labels and hidden fields") << std::function<void(Table &)>([](Table &table) {
        table.field(0)->setDisplayLabel(QStringLiteral("Customer"));
        table.field(1)->setVisible(false);
        table.field(3)->setVisible(false);
    }) << QStringList{"Customer", "City", "Count", "Notes"}
                                              << "+-+-";
    QTest::newRow("<NO DISPLAY> in any case is left out") << std::function<void(Table &)>([](Table &table) {
        table.field(1)->setDisplayLabel(QStringLiteral("<No Display>"));
        table.field(2)->setDisplayLabel(QStringLiteral("<NO DISPLAY>"));
    }) << QStringList{"Name", "Notes"} << "++";
    QTest::newRow("a label that only contains it stays") << std::function<void(Table &)>([](Table &table) {
        table.field(1)->setDisplayLabel(QStringLiteral(" <NO DISPLAY>"));
    }) << QStringList{"Name", " <NO DISPLAY>", "Count", "Notes"}
                                                         << "++++";
    QTest::newRow("field order, not design order")
        << std::function<void(Table &)>([](Table &table) { table.field(3)->setIndex(0); })
        << QStringList{"Notes", "Name", "City", "Count"} << "++++";
}

void tst_ColSelectForm::listsLabelsAndVisibility()
{
    QFETCH(std::function<void(Table &)>, prepare);
    QFETCH(QStringList, labels);
    QFETCH(QString, marks);
    Chooser chooser(prepare);
    QCOMPARE(chooser.labels(), labels);
    QCOMPARE(chooser.marks(), marks);
    QCOMPARE(chooser.list->currentRow(), 0);
}

void tst_ColSelectForm::windowAsCreated()
{
    Chooser chooser;
    QCOMPARE(chooser.form->windowTitle(), QStringLiteral("Customize"));
    QCOMPARE(chooser.form->findChild<QPushButton *>(QStringLiteral("Okbtn"))->text(), QStringLiteral("&Ok"));
    QCOMPARE(chooser.form->findChild<QPushButton *>(QStringLiteral("Cancelbtn"))->text(), QStringLiteral("&Cancel"));
    QVERIFY(chooser.form->windowFlags() & Qt::Tool);
    QCOMPARE(chooser.form->glyphWidth(), chooser.form->style()->pixelMetric(QStyle::PM_IndicatorWidth));
    QCOMPARE(chooser.list->visualItemRect(chooser.list->item(0)).height(), TColSelectForm::ItemHeight);
    // The buttons sit on the bar along the bottom edge.
    auto *bar = chooser.form->findChild<QWidget *>(QStringLiteral("ButtonStatusBar1"));
    QVERIFY(bar->isAncestorOf(chooser.form->findChild<QPushButton *>(QStringLiteral("Okbtn"))));
    QCOMPARE(bar->geometry().bottom(), chooser.form->rect().bottom());
}

void tst_ColSelectForm::activatingAgainAddsNothing()
{
    Chooser chooser;
    QCOMPARE(chooser.list->count(), 4);
    chooser.form->hide();
    chooser.form->show();
    QEvent activation(QEvent::ActivationChange);
    QApplication::sendEvent(chooser.form.get(), &activation);
    QApplication::setActiveWindow(chooser.form.get());
    QCOMPARE(chooser.list->count(), 4);
}

void tst_ColSelectForm::okWritesEachMark()
{
    Chooser chooser([](Table &table) {
        table.field(1)->setVisible(false);
        table.field(2)->setDisplayLabel(QStringLiteral("<no display>"));
        table.field(2)->setVisible(false);
    });
    QCOMPARE(chooser.marks(), QStringLiteral("+-+"));
    chooser.setMarks(QStringLiteral("-++"));
    chooser.clickOk();
    QCOMPARE(chooser.form->result(), TColSelectForm::mrOk);
    QVERIFY(!chooser.form->isVisible());
    // Count was not listed and keeps its flag.
    QCOMPARE(chooser.visibility(), QStringLiteral("-+-+"));
    QVERIFY(chooser.dialogs->texts().isEmpty());
}

void tst_ColSelectForm::okWithNothingCheckedRefuses_data()
{
    QTest::addColumn<QString>("missing");
    QTest::addColumn<bool>("noDisplayLabels");
    QTest::addColumn<int>("entries");

    QTest::newRow("every entry unchecked") << QString() << false << 4;
    QTest::newRow("every label <NO DISPLAY>, in any case") << QString() << true << 0;
    QTest::newRow("no grid") << "grid" << false << 0;
    QTest::newRow("no data source") << "data source" << false << 0;
    QTest::newRow("no record set") << "record set" << false << 0;
}

void tst_ColSelectForm::okWithNothingCheckedRefuses()
{
    QFETCH(QString, missing);
    QFETCH(bool, noDisplayLabels);
    QFETCH(int, entries);
    Chooser chooser(
        [&](Table &table) {
            table.field(1)->setVisible(false);
            table.field(3)->setVisible(false);
            for (Field *field : table.fields()) {
                if (noDisplayLabels)
                    field->setDisplayLabel(field->index() % 2 ? QStringLiteral("<No Display>")
                                                              : QStringLiteral("<NO DISPLAY>"));
            }
        },
        [&](TColSelectForm &form, DataSource &source) {
            if (missing == QLatin1String("grid"))
                form.setGrid(nullptr);
            else if (missing == QLatin1String("data source"))
                form.setDataSource(nullptr);
            else if (missing == QLatin1String("record set"))
                source.setDataSet(nullptr);
        });
    QCOMPARE(chooser.list->count(), entries);
    chooser.setMarks(QString(entries, QLatin1Char('-')));
    chooser.clickOk();

    QCOMPARE(chooser.dialogs->texts(ScriptedDialogs::Kind::Warning), QStringList{kRefusal});
    QCOMPARE(chooser.dialogs->texts().size(), 1);
    QCOMPARE(chooser.form->result(), TColSelectForm::mrOk);
    QVERIFY(!chooser.form->isVisible());
    QCOMPARE(chooser.visibility(), QStringLiteral("+-+-"));
}

void tst_ColSelectForm::closingOtherwiseWritesNothing_data()
{
    QTest::addColumn<std::function<void(TColSelectForm &)>>("close");

    QTest::newRow("Cancel") << std::function<void(TColSelectForm &)>(
        [](TColSelectForm &form) { form.findChild<QPushButton *>(QStringLiteral("Cancelbtn"))->click(); });
    QTest::newRow("Esc in the list") << std::function<void(TColSelectForm &)>([](TColSelectForm &form) {
        QTest::keyClick(form.findChild<QListWidget *>(QStringLiteral("ColList")), Qt::Key_Escape);
    });
    QTest::newRow("Esc on the window") << std::function<void(TColSelectForm &)>(
        [](TColSelectForm &form) { QTest::keyClick(&form, Qt::Key_Escape); });
    QTest::newRow("title bar close") << std::function<void(TColSelectForm &)>(
        [](TColSelectForm &form) { form.close(); });
}

Q_DECLARE_METATYPE(std::function<void(TColSelectForm &)>)

void tst_ColSelectForm::closingOtherwiseWritesNothing()
{
    QFETCH(std::function<void(TColSelectForm &)>, close);
    Chooser chooser([](Table &table) { table.field(2)->setVisible(false); });
    chooser.setMarks(QStringLiteral("-+++"));
    drag(chooser.list, {chooser.entryCenter(3), chooser.entryCenter(2), chooser.entryCenter(0)});
    QCOMPARE(chooser.labels(), (QStringList{"Notes", "Name", "City", "Count"}));

    close(*chooser.form);
    QCOMPARE(chooser.form->result(), TColSelectForm::mrCancel);
    QVERIFY(!chooser.form->isVisible());
    QCOMPARE(chooser.visibility(), QStringLiteral("++-+"));
    QVERIFY(chooser.dialogs->texts().isEmpty());
}

void tst_ColSelectForm::draggingMovesAnEntry_data()
{
    // A path is a list of entries the pointer passes, pressed at the first and released at the
    // last; -1 is a point below the last entry, -2 one outside the list.
    QTest::addColumn<QList<int>>("path");
    QTest::addColumn<QStringList>("order");

    const QStringList unchanged{"Name", "City", "Count", "Notes"};
    QTest::newRow("third onto first") << QList<int>{2, 1, 0} << QStringList{"Count", "Name", "City", "Notes"};
    QTest::newRow("first onto fourth") << QList<int>{0, 1, 3} << QStringList{"City", "Count", "Notes", "Name"};
    QTest::newRow("onto itself") << QList<int>{1, 2, 1} << unchanged;
    QTest::newRow("below the last entry") << QList<int>{0, 3, -1} << unchanged;
    QTest::newRow("outside the list") << QList<int>{1, 3, -2} << unchanged;
    QTest::newRow("out and back in: the entry under the pointer on coming back moves")
        << QList<int>{0, -2, 2, 3} << QStringList{"Name", "City", "Notes", "Count"};
    QTest::newRow("out and back in below the entries moves nothing") << QList<int>{0, -2, -1, 2} << unchanged;
}

void tst_ColSelectForm::draggingMovesAnEntry()
{
    QFETCH(QList<int>, path);
    QFETCH(QStringList, order);
    Chooser chooser;
    QList<QPoint> points;
    for (int entry : path) {
        if (entry >= 0)
            points << chooser.entryCenter(entry);
        else if (entry == -1)
            points << QPoint(chooser.entryCenter(0).x(), chooser.list->viewport()->height() - 3);
        else
            points << QPoint(chooser.list->viewport()->width() + 40, chooser.entryCenter(1).y());
    }
    drag(chooser.list, points);
    QCOMPARE(chooser.labels(), order);
    // A drag toggles no check mark, even when it starts on the box.
    QCOMPARE(chooser.marks(), QStringLiteral("++++"));
}

void tst_ColSelectForm::draggedEntriesKeepTheirFields()
{
    Chooser chooser;
    chooser.setMarks(QStringLiteral("+-++"));
    drag(chooser.list, {chooser.entryCenter(2), chooser.entryCenter(0)});
    QCOMPARE(chooser.labels(), (QStringList{"Count", "Name", "City", "Notes"}));
    QCOMPARE(chooser.marks(), QStringLiteral("++-+"));
    chooser.list->item(0)->setCheckState(Qt::Unchecked);
    chooser.clickOk();
    // Each field gets the mark shown beside its own label; the field order is not written.
    QCOMPARE(chooser.visibility(), QStringLiteral("+--+"));
    QCOMPARE(chooser.data.table.field(0)->fieldName(), QStringLiteral("Name"));
}

void tst_ColSelectForm::entriesAreDrawnWithRaisedEdges_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("selected");
    QTest::newRow("selected entry") << 0 << true;
    QTest::newRow("other entry") << 2 << false;
}

void tst_ColSelectForm::entriesAreDrawnWithRaisedEdges()
{
    QFETCH(int, row);
    QFETCH(bool, selected);
    Chooser chooser;
    chooser.list->clearFocus();
    const QImage image = chooser.list->viewport()->grab().toImage();
    const QRect item = chooser.list->visualItemRect(chooser.list->item(row));
    const int glyph = chooser.form->glyphWidth();
    const int left = item.left() + glyph + 2;  // the text rectangle's left edge
    const int right = item.right() + 1;
    const int top = item.top();
    const int bottom = item.bottom() + 1;
    const int x0 = item.left();
    const QPalette palette = chooser.form->palette();
    const QRgb window = systemColor(SystemColor::Window, palette).rgb();
    const QRgb shadow = systemColor(SystemColor::BtnShadow, palette).rgb();
    const QRgb fill = systemColor(selected ? SystemColor::Highlight : SystemColor::BtnFace, palette).rgb();
    QVERIFY(window != shadow && shadow != fill && fill != window);
    auto at = [&](int x, int y) { return image.pixel(x, y); };

    // The text rectangle: light top, dark bottom and right, or the selection frame over them.
    QCOMPARE(at(left + 8, top), selected ? fill : window);
    QCOMPARE(at(left + 8, bottom - 1), selected ? fill : shadow);
    QCOMPARE(at(right - 1, top + 5), selected ? fill : shadow);
    QCOMPARE(at(left, top + 5), fill);
    // The check area: light top and left, dark bottom.
    QCOMPARE(at(x0 + 3, top), window);
    QCOMPARE(at(x0, top + 5), window);
    QCOMPARE(at(x0 + 3, bottom - 1), shadow);
    // The text begins four pixels in; the area right of it holds only the brush.
    QCOMPARE(at(right - 4, top + 8), fill);
}

void tst_ColSelectForm::gridOpensTheChooser_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("Ok") << "Okbtn" << true;
    QTest::newRow("Cancel") << "Cancelbtn" << false;
}

void tst_ColSelectForm::gridOpensTheChooser()
{
    QFETCH(QString, button);
    QFETCH(bool, confirmed);
    GridFixture data(2);
    ScriptedDialogsScope dialogs;
    InstalledWindows windows;
    auto grid = data.makeGrid<TEnhancedGrid>();

    QWidget *owner = nullptr;
    TDBGrid *seenGrid = nullptr;
    DataSource *source = nullptr;
    dialogs->onExec = [&](QDialog &dialog) {
        auto *form = qobject_cast<TColSelectForm *>(&dialog);
        owner = dialog.parentWidget();
        seenGrid = form ? form->grid() : nullptr;
        source = form ? form->dataSource() : nullptr;
        dialog.show();
        dialog.findChild<QListWidget *>(QStringLiteral("ColList"))->item(1)->setCheckState(Qt::Unchecked);
        dialog.findChild<QPushButton *>(button)->click();
        return dialog.result();
    };
    const bool result = gridCompanions().chooseColumns(*grid);

    QCOMPARE(result, confirmed);
    QCOMPARE(dialogs->execCount, 1);
    QCOMPARE(owner, grid.get());
    QCOMPARE(seenGrid, grid.get());
    QCOMPARE(source, &data.source);
    QCOMPARE(data.table.field(1)->visible(), !confirmed);
}

void tst_ColSelectForm::customizeHidesTheGridsColumn()
{
    // The grid's own Customize command, through the program's windows.
    GridFixture data(2);
    ScriptedDialogsScope dialogs;
    InstalledWindows windows;
    auto grid = data.makeGrid<TEnhancedGrid>();
    addColumn(*grid, QStringLiteral("Name"));
    addColumn(*grid, QStringLiteral("City"));
    addColumn(*grid, QStringLiteral("Count"));
    dialogs->onExec = [&](QDialog &dialog) {
        dialog.show();
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("ColList"));
        list->findItems(QStringLiteral("City"), Qt::MatchExactly).constFirst()->setCheckState(Qt::Unchecked);
        dialog.findChild<QPushButton *>(QStringLiteral("Okbtn"))->click();
        return dialog.result();
    };
    grid->customize();

    QCOMPARE(dialogs->execCount, 1);
    QVERIFY(dialogs->texts().isEmpty());
    QVERIFY(grid->columns()->items(0)->visible());
    QVERIFY(!grid->columns()->items(1)->visible());
    QVERIFY(grid->columns()->items(2)->visible());
}

QTEST_MAIN(tst_ColSelectForm)
#include "tst_colselectform.moc"
