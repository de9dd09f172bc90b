#pragma once

#include <QString>

class QWidget;

namespace kelvara {

// The folder that holds the records, the total, the pick lists and the exports. A start in a
// folder that holds a record table keeps that folder; any other start uses the folder last used,
// or the first time the user's data folder for Kelvara; --data names one. The program works
// with the data folder as its current directory, so every file it names without a folder lands
// there and nothing lands in the folder it was started from.
class DataFolder
{
public:
    // The folder a start works in: `explicitFolder` when given (--data; relative to the start
    // folder), else `startFolder` when it holds a table, else the one last used, else
    // standardFolder().
    static QString choose(const QString &explicitFolder, const QString &startFolder);
    // $XDG_DATA_HOME/Kelvara, ~/.local/share/Kelvara by default.
    static QString standardFolder();

    // The folder last used, kept in the per-user settings; empty when none is.
    static QString remembered();
    static void remember(const QString &folder);

    // Why the records cannot be kept in the folder, which is made when it is missing; empty
    // when they can. A folder that holds a table but takes no new file is no obstacle: its
    // records open read-only, as they always have.
    static QString unusable(const QString &folder);
    // The folder, made ready; when it cannot be, tells the user why and lets them choose another
    // (through the dialogs seam). Empty when the user gives up: at start (no parent window) the
    // program then ends, from a window the folder open stays open.
    static QString settle(const QString &folder, QWidget *parent = nullptr);

    // The folder open now.
    static QString current();
};

}  // namespace kelvara
