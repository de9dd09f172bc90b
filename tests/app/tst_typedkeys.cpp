// Keys held with Alt or Ctrl in the program's boxes and cells, delivered through the program's own
// application object as the keyboard delivers them: a command key never types its letter, AltGr
// types the characters of its layout.

#include "app/tform1.h"
#include "dbctrls/tdbcombobox.h"
#include "dbctrls/tdbedit.h"
#include "dbctrls/tdbmemo.h"
#include "grid/tenhancedgrid.h"
#include "grid/titlesearch.h"
#include "namedchild.h"
#include "platform/errorreport.h"
#include "scripteddialogs.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QtTest>

#include <memory>

using namespace kelvara;
using namespace kelvara::test;

namespace {

enum class Box { FirstName, DateBox, PickList, Memo, GridCell, GridEditor, TitleSearchBox };

struct KeyPress
{
    const char *name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool types;
};

QString textOf(const QWidget *widget)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(widget))
        return line->text();
    if (const auto *plain = qobject_cast<const QPlainTextEdit *>(widget))
        return plain->toPlainText();
    if (const auto *rich = qobject_cast<const QTextEdit *>(widget))
        return rich->toPlainText();
    if (const auto *combo = qobject_cast<const QComboBox *>(widget))
        return combo->currentText();
    return QString();
}

}  // namespace

Q_DECLARE_METATYPE(Box)

class TypedKeysTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void commandKeysNeverTypeAltGrDoes_data();
    void commandKeysNeverTypeAltGrDoes();

private:
    template <typename T> T *child(const char *name) const { return namedChild<T>(m_form.get(), name); }
    // Gives the box the focus as a user would reach it; the widget that then takes the keys.
    QWidget *focusBox(Box box);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ScriptedDialogsScope> m_dialogs;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<TEnhancedGrid> m_grid;
};

void TypedKeysTest::init()
{
    m_workspace = std::make_unique<TestWorkspace>();
    m_dialogs = std::make_unique<ScriptedDialogsScope>();
    {
        Table table;
        table.setTableName(QStringLiteral("kelvara"));
        createKelvaraTable(table);
        table.open();
        table.append();
        table.fieldByName(QStringLiteral("Dato"))->setValue(QDate(2024, 6, 3));
        table.fieldByName(QStringLiteral("Firstname"))->setAsString(QStringLiteral("Josef"));
        table.fieldByName(QStringLiteral("camefrom"))->setAsString(QStringLiteral("Roof"));
        table.fieldByName(QStringLiteral("notes"))->setAsString(QStringLiteral("Swarm"));
        table.post();
    }
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TypedKeysTest::cleanup()
{
    m_grid.reset();
    m_form.reset();
    m_dialogs.reset();
    m_workspace.reset();
}

QWidget *TypedKeysTest::focusBox(Box box)
{
    switch (box) {
    case Box::FirstName: child<TDBEdit>("DBEdit2")->setFocus(); break;
    case Box::DateBox: child<TDBEdit>("DBEdit1")->setFocus(); break;
    case Box::PickList: child<TDBComboBox>("DBComboBox1")->setFocus(); break;
    case Box::Memo: child<TDBMemo>("DBMemo1")->setFocus(); break;
    case Box::GridCell:
    case Box::GridEditor: {
        // The data sheet's grid is read-only; an editable one over the same jobs.
        m_grid = std::make_unique<TEnhancedGrid>();
        m_grid->setDataSource(m_form->dataSource());
        m_grid->resize(600, 200);
        m_grid->show();
        m_grid->activateWindow();
        if (!QTest::qWaitForWindowActive(m_grid.get()))
            return nullptr;
        m_grid->setSelectedIndex(m_grid->fieldCount() > 1 ? 1 : 0);
        m_grid->setFocus();
        if (box == Box::GridEditor)
            QTest::keyClick(m_grid.get(), Qt::Key_F2);
        break;
    }
    case Box::TitleSearchBox: {
        auto *grid = child<TEnhancedGrid>("EnhancedGrid1");
        grid->setSearchMode(true);
        const QPoint title = grid->cellRect(grid->dataToRawColumn(1), 0).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, title);
        QLineEdit *search = grid->titleSearch()->box();
        if (!search || !search->isVisible())
            return nullptr;
        search->setFocus();
        break;
    }
    }
    return QApplication::focusWidget();
}

void TypedKeysTest::commandKeysNeverTypeAltGrDoes_data()
{
    QTest::addColumn<Box>("box");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("types");

    const QList<QPair<const char *, Box>> boxes = {{"first-name box", Box::FirstName},
                                                   {"date box", Box::DateBox},
                                                   {"pick-list box", Box::PickList},
                                                   {"memo", Box::Memo},
                                                   {"grid cell", Box::GridCell},
                                                   {"grid's in-place editor", Box::GridEditor},
                                                   {"title search box", Box::TitleSearchBox}};
    const Qt::KeyboardModifiers altGr = Qt::ControlModifier | Qt::AltModifier;
    const QList<KeyPress> letters = {
        {"Alt+F passing its letter", Qt::Key_F, Qt::AltModifier, QStringLiteral("f"), false},
        {"Alt+F giving a letter of the layout", Qt::Key_F, Qt::AltModifier, QStringLiteral("Å"), false},
        {"Alt+Shift+F", Qt::Key_F, Qt::AltModifier | Qt::ShiftModifier, QStringLiteral("F"), false},
        {"Ctrl+F passing its letter", Qt::Key_F, Qt::ControlModifier, QStringLiteral("f"), false},
        {"AltGr+2 reported as Ctrl+Alt", Qt::Key_At, altGr, QStringLiteral("@"), true},
        {"AltGr+7 reported as the group switch", Qt::Key_BraceLeft, Qt::GroupSwitchModifier, QStringLiteral("{"), true},
        {"plain letter", Qt::Key_F, Qt::NoModifier, QStringLiteral("f"), true}};
    // The date box takes digits only.
    const QList<KeyPress> digits = {{"Alt+5", Qt::Key_5, Qt::AltModifier, QStringLiteral("5"), false},
                                    {"Ctrl+5", Qt::Key_5, Qt::ControlModifier, QStringLiteral("5"), false},
                                    {"AltGr+5 reported as Ctrl+Alt", Qt::Key_5, altGr, QStringLiteral("5"), true},
                                    {"plain digit", Qt::Key_5, Qt::NoModifier, QStringLiteral("5"), true}};
    for (const auto &[boxName, box] : boxes) {
        for (const KeyPress &press : box == Box::DateBox ? digits : letters) {
            QTest::addRow("%s: %s", boxName, press.name)
                << box << int(press.key) << press.modifiers << press.text << press.types;
        }
    }
}

void TypedKeysTest::commandKeysNeverTypeAltGrDoes()
{
    QFETCH(Box, box);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(bool, types);

    QWidget *target = focusBox(box);
    QVERIFY(target);
    const QString before = textOf(target);
    const DataSetState stateBefore = m_form->table()->state();

    QTest::sendKeyEvent(QTest::Press, target, Qt::Key(key), text, modifiers);
    QTest::sendKeyEvent(QTest::Release, target, Qt::Key(key), text, modifiers);

    // A key typed into a grid cell opens the cell's editor with the character in it.
    QWidget *typedInto = QApplication::focusWidget();
    QVERIFY(typedInto);
    const QString after = textOf(typedInto);
    if (types) {
        QVERIFY2(after.contains(text) && after != before, qPrintable(after));
    } else if (auto *menuBar = qobject_cast<QMenuBar *>(typedInto)) {
        // Alt and a menu's letter open that menu, and type nothing.
        QCOMPARE(modifiers & Qt::AltModifier, Qt::AltModifier);
        QCOMPARE(textOf(target), before);
        QCOMPARE(m_form->table()->state(), stateBefore);
        QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : menuBar,
                        Qt::Key_Escape);
        QTest::keyClick(menuBar, Qt::Key_Escape);
    } else if (typedInto->objectName() == QLatin1String("FindBox")) {
        // Ctrl+F takes the user to the find box from anywhere, and types nothing on the way.
        QCOMPARE(QKeyCombination(modifiers, Qt::Key(key)), QKeyCombination(Qt::ControlModifier, Qt::Key_F));
        QCOMPARE(textOf(target), before);
        QCOMPARE(after, QString());
        QCOMPARE(m_form->table()->state(), stateBefore);
    } else {
        QCOMPARE(typedInto, target);
        QCOMPARE(after, before);
        QCOMPARE(m_form->table()->state(), stateBefore);
    }
}

int main(int argc, char *argv[])
{
    // The program's own application object: the rule for typed keys lives there.
    kelvara::Application app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TypedKeysTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_typedkeys.moc"
