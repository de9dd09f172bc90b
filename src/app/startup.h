#pragma once

class QString;
class QWidget;

namespace kelvara {

class DataFolderLock;

// Takes the data folder for this copy of the program. When another copy holds it, asks that
// copy to bring its window forward, tells the user, and gives false: this copy must then end
// without touching any file of the folder.
bool claimDataFolder(DataFolderLock &lock);

// Brings the window forward whenever another copy started on the same folder asks for it.
void showOnRequest(DataFolderLock &lock, QWidget &window);

// Gives the grids the program's companion windows (the field viewer and the others as they are
// built); the grid opens them only through its own interface.
void installGridWindows();

// Gives every window the program's icon.
void installProgramIcon();

// Runs the main window in `folder` (made ready first, see DataFolder::settle) and then in each
// folder the user switches to; gives the program's exit code. One folder is held at a time: the
// window is closed and the folder let go before the next folder's window opens.
int runInDataFolders(const QString &folder);

// Closes the window and goes on in `folder`. False, with the window left open, when the folder
// cannot be used (the user was told), another copy holds it (its window is brought forward),
// the window declines to close, or no run of the program is in progress.
bool switchDataFolder(QWidget &window, const QString &folder);

// Asks for a folder and switches to it: File > Open Data Folder...
bool openDataFolder(QWidget &window);

// A request to end (a logout's SIGTERM, Ctrl+C in the terminal, a closed terminal) closes the
// windows as the user would, so that edits and settings are saved, and ends the program.
void closeOnTerminationSignals();

}  // namespace kelvara
