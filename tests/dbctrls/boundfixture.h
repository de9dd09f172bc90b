#pragma once

#include "scripteddialogs.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QApplication>
#include <QDate>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

namespace kelvara::test {

// A window that counts the Enter presses its controls leave to it, as the main window turns
// them into a click of its default button.
class EnterWindow : public QWidget
{
public:
    int enterPresses = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            ++enterPresses;
            event->accept();
            return;
        }
        QWidget::keyPressEvent(event);
    }
};

// The kelvara table in a workspace of its own with three jobs, a data source on it and a
// shown window to put controls in.
struct BoundFixture
{
    explicit BoundFixture(const QLocale &locale = QLocale(QLocale::English, QLocale::UnitedKingdom)) : workspace(locale)
    {
        table.setTableName(QStringLiteral("kelvara"));
        // The design of tables made when text fields held 20 characters: the cuts these tests
        // look at come after 20 characters rather than 60.
        FieldDefs defs = kelvaraFieldDefs();
        for (FieldDef &def : defs) {
            if (def.type == ftString) {
                def.size = 20;
                def.displayWidth = 0;
            }
        }
        table.createTable(defs);
        table.open();
        const char *names[] = {"Anna", "Bert", "Cleo"};
        for (int i = 0; i < 3; ++i) {
            table.append();
            field("Dato")->setValue(QDate(2023, 5, 10 + i));
            field("Firstname")->setText(QString::fromLatin1(names[i]));
            field("camefrom")->setText(QStringLiteral("Roof"));
            table.post();
        }
        table.first();
        source.setDataSet(&table);
        layout = new QVBoxLayout(&window);
    }

    Field *field(const char *name) const { return table.fieldByName(QString::fromLatin1(name)); }

    template <typename Control> Control *add(const char *fieldName)
    {
        auto *control = new Control(&window);
        control->setDataSource(&source);
        control->setDataField(QString::fromLatin1(fieldName));
        layout->addWidget(control);
        return control;
    }

    bool showWindow()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    // What another table on the same file reads: what has been saved.
    QString stored(const char *fieldName, int recNo) const
    {
        Table other;
        other.setTableName(QStringLiteral("kelvara"));
        other.open();
        other.setRecNo(recNo);
        return other.fieldByName(QString::fromLatin1(fieldName))->asString();
    }

    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    Table table;
    DataSource source;
    EnterWindow window;
    QVBoxLayout *layout = nullptr;
};

}  // namespace kelvara::test
