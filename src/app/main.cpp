#include "app/startup.h"
#include "app/tform1.h"
#include "platform/datafolderlock.h"
#include "platform/errorreport.h"
#include "platform/photorenditions.h"

#include <QDir>

int main(int argc, char *argv[])
{
    kelvara::Application app(argc, argv);
    // Every photo saved gets a preview and a thumbnail, so that showing it seldom decodes it whole.
    kelvara::installPhotoRenditions();
    kelvara::installGridWindows();
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
