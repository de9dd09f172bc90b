#include "datafolderlock.h"
#include "errorreport.h"
#include "startup.h"
#include "tform1.h"

#include <QDir>

int main(int argc, char *argv[])
{
    kelvara::Application app(argc, argv);
    // One copy of the program per data folder: two would overwrite each other's records.
    kelvara::DataFolderLock folder(QDir::currentPath());
    if (!kelvara::claimDataFolder(folder))
        return 1;
    kelvara::TForm1 Form1;
    if (Form1.startRefused())
        return 1;
    kelvara::showOnRequest(folder, Form1);
    Form1.show();
    return app.exec();
}
