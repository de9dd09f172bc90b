#include "app/commandline.h"
#include "app/datafolder.h"
#include "app/startup.h"
#include "platform/errorreport.h"
#include "platform/photorenditions.h"

#include <QDir>
#include <QStringList>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (kelvara::asksForHelpOrVersion(arguments))
        return kelvara::readCommandLine(arguments).exitCode;
    kelvara::Application app(argc, argv);
    const kelvara::CommandLine line = kelvara::readCommandLine(QCoreApplication::arguments());
    if (line.answered)
        return line.exitCode;
    kelvara::installProgramIcon();
    kelvara::closeOnTerminationSignals();
    // Every photo saved gets a preview and a thumbnail, so that showing it seldom decodes it whole.
    kelvara::installPhotoRenditions();
    kelvara::installGridWindows();
    // One copy of the program per data folder, held while its window is open: two would
    // overwrite each other's records.
    return kelvara::runInDataFolders(kelvara::DataFolder::choose(line.dataFolder, QDir::currentPath()));
}
