#pragma once

#include "grid/gridcompanions.h"
#include "grid/tdbgrid.h"
#include "installed.h"
#include "store/table.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace kelvara::test {

// The grid's companion windows as a test plays them: each call is noted with what it was given
// and whether the record set's controls were held disabled; the column chooser and the query
// dialog act through a script and the chooser answers as told.
class ScriptedCompanions : public GridCompanions
{
public:
    struct Call
    {
        QString window;  // "printGrid", "printDataSet", "chooseColumns", "query", "sort"
        QString caption;
        PrintMode mode = PrintMode::BuildOnly;
        bool controlsDisabled = false;
    };

    QList<Call> calls;
    bool chooserConfirms = true;
    // What the user does in the chooser or the query dialog.
    std::function<void(TDBGrid &)> onChooser;
    std::function<void(TDBGrid &)> onForm;

    bool chooseColumns(TDBGrid &grid) override
    {
        note(grid, QStringLiteral("chooseColumns"));
        if (onChooser)
            onChooser(grid);
        return chooserConfirms;
    }
    void queryByForm(TDBGrid &grid, FormMode mode) override
    {
        note(grid, mode == FormMode::Query ? QStringLiteral("query") : QStringLiteral("sort"));
        if (onForm)
            onForm(grid);
    }
    void printDataSet(TDBGrid &grid, const QString &caption, PrintMode mode) override
    {
        note(grid, QStringLiteral("printDataSet"), caption, mode);
    }
    void printGrid(TDBGrid &grid, const QString &caption, PrintMode mode) override
    {
        note(grid, QStringLiteral("printGrid"), caption, mode);
    }

private:
    void note(TDBGrid &grid, const QString &window, const QString &caption = QString(),
              PrintMode mode = PrintMode::BuildOnly)
    {
        const Table *table = grid.dataSet();
        calls << Call{window, caption, mode, table && table->controlsDisabled()};
    }
};

// Installs scripted companions for a test's lifetime and puts the previous ones back.
using ScriptedCompanionsScope = InstalledStandIn<&GridCompanions::install, ScriptedCompanions>;

}  // namespace kelvara::test
