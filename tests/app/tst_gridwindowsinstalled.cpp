// The running program's grid opens its companion windows as the program installs them at start.

#include "app/startup.h"
#include "app/tform1.h"
#include "grid/gridcompanions.h"
#include "grid/tdbgrid.h"
#include "gridwin/tfieldviewerform.h"
#include "scripteddialogs.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QtTest>

using namespace kelvara;

class tst_GridWindowsInstalled : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dataSheetGridOpensTheFieldViewer();
};

void tst_GridWindowsInstalled::dataSheetGridOpensTheFieldViewer()
{
    test::TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    installGridWindows();
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *grid = form.findChild<TDBGrid *>(QStringLiteral("EnhancedGrid1"));
    QVERIFY(grid);
    form.table()->append();
    Field *field = grid->fields(0);
    QVERIFY(field);

    QWidget *owner = nullptr;
    DataSource *source = nullptr;
    dialogs->onExec = [&](QDialog &dialog) {
        owner = dialog.parentWidget();
        if (auto *viewer = qobject_cast<TFieldViewerForm *>(&dialog))
            source = viewer->dataSource();
        return int(QDialog::Rejected);
    };
    gridCompanions().viewField(*grid, *field, QStringLiteral("Field: Name"));

    QCOMPARE(dialogs->execCount, 1);
    QCOMPARE(dialogs->texts(), QStringList());
    QCOMPARE(owner, grid);
    QCOMPARE(source, grid->dataSource());
}

QTEST_MAIN(tst_GridWindowsInstalled)
#include "tst_gridwindowsinstalled.moc"
