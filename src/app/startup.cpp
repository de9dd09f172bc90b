#include "app/startup.h"

#include "grid/gridcompanions.h"
#include "gridwin/gridwindows.h"
#include "platform/datafolderlock.h"
#include "platform/dialogs.h"

#include <QDir>
#include <QWidget>

#include <memory>

namespace kelvara {

bool claimDataFolder(DataFolderLock &lock)
{
    if (lock.tryLock())
        return true;
    const bool shown = lock.askHolderToShow();
    dialogs().warning(nullptr,
                      QStringLiteral("Kelvara is already open in the folder %1.\n\n%2This copy ends "
                                     "without touching the records.")
                          .arg(QDir::toNativeSeparators(lock.folder()),
                               shown ? QStringLiteral("Its window has been brought to the front. ") : QString()));
    return false;
}

void showOnRequest(DataFolderLock &lock, QWidget &window)
{
    QObject::connect(&lock, &DataFolderLock::showRequested, &window, [&window] {
        if (window.isMinimized())
            window.showNormal();
        window.show();
        // Window managers may refuse to hand over the focus; raising is what the platform allows.
        window.raise();
        window.activateWindow();
    });
}

void installGridWindows()
{
    GridCompanions::install(std::make_unique<GridWindows>());
}

}  // namespace kelvara
