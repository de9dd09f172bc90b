// The program's companion windows as the grid reaches them: through the grid's own interface,
// with the grid as the window's owner and the grid's data source.

#include "grid/gridcompanions.h"
#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "gridwin/gridwindows.h"
#include "gridwin/tfieldviewerform.h"
#include "installedwindows.h"
#include "scripteddialogs.h"
#include "store/field.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace { }  // namespace

class tst_GridWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void viewFieldOpensTheViewerOverTheGrid();
};

void tst_GridWindows::viewFieldOpensTheViewerOverTheGrid()
{
    GridFixture data(3);
    ScriptedDialogsScope dialogs;
    InstalledWindows windows;
    auto grid = data.makeGrid<TEnhancedGrid>();
    data.table.setRecNo(2);
    data.table.edit();
    Field *notes = data.table.fieldByName(QStringLiteral("Notes"));

    QPointer<QDialog> seen;
    QWidget *owner = nullptr;
    DataSource *source = nullptr;
    QString title;
    dialogs->onExec = [&](QDialog &dialog) {
        seen = &dialog;
        owner = dialog.parentWidget();
        auto *viewer = qobject_cast<TFieldViewerForm *>(&dialog);
        source = viewer ? viewer->dataSource() : nullptr;
        dialog.show();
        title = dialog.windowTitle();
        dialog.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"))->setPlainText(QStringLiteral("queen seen"));
        dialog.findChild<QPushButton *>(QStringLiteral("Okbtn"))->click();
        return dialog.result();
    };
    gridCompanions().viewField(*grid, *notes, QStringLiteral("Field: Notes"));

    QCOMPARE(dialogs->execCount, 1);
    QVERIFY(dialogs->texts().isEmpty());
    QCOMPARE(owner, grid.get());
    QCOMPARE(source, &data.source);
    QCOMPARE(title, QStringLiteral("Field: Notes"));
    QCOMPARE(notes->asString(), QStringLiteral("queen seen"));
    QCOMPARE(data.table.recNo(), 2);
    QVERIFY(seen.isNull());
}

QTEST_MAIN(tst_GridWindows)
#include "tst_gridwindows.moc"
