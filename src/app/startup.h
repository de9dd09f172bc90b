#pragma once

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

}  // namespace kelvara
