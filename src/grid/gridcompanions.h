#pragma once

#include <QString>

#include <memory>

namespace kelvara {

class Field;
class TDBGrid;

// The windows a grid opens above itself: the field viewer, the column chooser, the query and
// sort dialog and the printouts. They are built on top of the grid, so the grid reaches them only
// through this interface; the program installs the real windows at start, tests scripted ones.
class GridCompanions
{
public:
    enum class FormMode { Query, Sort };
    // What a printout does once it is built: print it, preview it (returning when the preview
    // closes), or nothing more.
    enum class PrintMode { Print = 0, Preview = 1, BuildOnly = 2 };

    virtual ~GridCompanions() = default;

    // Each window a program does not install fails with a message naming it, rather than
    // doing nothing: a command whose window is missing must not look as if it had run.

    // Shows a field of the grid's current record in the viewer window, modally; the window writes
    // back what the user changed and confirmed.
    virtual void viewField(TDBGrid &grid, Field &field, const QString &caption);
    // Lets the user show and hide the record set's fields; true when the user confirmed.
    virtual bool chooseColumns(TDBGrid &grid);
    // Orders the grid's table by chosen fields and, for a query, narrows it to the values entered.
    virtual void queryByForm(TDBGrid &grid, FormMode mode);
    // The paged listing of the grid's record set, or of the grid's own columns.
    virtual void printDataSet(TDBGrid &grid, const QString &caption, PrintMode mode);
    virtual void printGrid(TDBGrid &grid, const QString &caption, PrintMode mode);

    // The windows in use; fails with an Error when none were installed.
    static GridCompanions &instance();
    // Installs windows and gives back the ones they replace (nullptr removes them).
    static std::unique_ptr<GridCompanions> install(std::unique_ptr<GridCompanions> companions);
};

inline GridCompanions &gridCompanions()
{
    return GridCompanions::instance();
}

}  // namespace kelvara
