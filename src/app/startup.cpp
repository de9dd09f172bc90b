#include "app/startup.h"

#include "app/datafolder.h"
#include "app/tform1.h"
#include "grid/gridcompanions.h"
#include "gridwin/gridwindows.h"
#include "platform/datafolderlock.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSocketNotifier>
#include <QSvgRenderer>
#include <QWidget>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

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

void installProgramIcon()
{
    // Drawn here at the sizes window managers ask for, so that no image plug-in is needed.
    QSvgRenderer drawing(QStringLiteral(":/icons/org.kelvara.Kelvara.svg"));
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        drawing.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    QApplication::setWindowIcon(icon);
}

namespace {

// The run in progress: where it goes on after the window closes.
struct Run
{
    std::unique_ptr<DataFolderLock> next;  // the folder to go on in, already held
    bool ending = false;                   // asked to end: no window opens again
};

Run *&running()
{
    static Run *run = nullptr;
    return run;
}

class RunScope
{
public:
    explicit RunScope(Run &run) : m_previous(running()) { running() = &run; }
    ~RunScope() { running() = m_previous; }
    RunScope(const RunScope &) = delete;
    RunScope &operator=(const RunScope &) = delete;

private:
    Run *m_previous;
};

}  // namespace

int runInDataFolders(const QString &folder)
{
    Run run;
    const RunScope scope(run);
    const QString settled = DataFolder::settle(folder);
    if (settled.isEmpty() || run.ending)
        return 1;
    auto lock = std::make_unique<DataFolderLock>(settled);
    if (!claimDataFolder(*lock))
        return 1;
    for (;;) {
        // The files are named without a folder: the data folder is where they land.
        if (!QDir::setCurrent(lock->folder())) {
            dialogs().error(
                nullptr,
                QStringLiteral("Kelvara cannot work in the folder %1.").arg(QDir::toNativeSeparators(lock->folder())));
            return 1;
        }
        int code = 0;
        {
            TForm1 Form1;
            if (Form1.startRefused())
                return 1;
            if (run.ending)
                return 0;
            DataFolder::remember(lock->folder());
            showOnRequest(*lock, Form1);
            Form1.show();
            code = QApplication::exec();
        }
        if (!run.next || run.ending)
            return code;
        // The folder left is let go only now, its window closed and gone.
        lock = std::move(run.next);
    }
}

bool switchDataFolder(QWidget &window, const QString &folder)
{
    Run *run = running();
    if (!run)
        return false;
    const QString settled = DataFolder::settle(folder, &window);
    if (settled.isEmpty())
        return false;
    auto next = std::make_unique<DataFolderLock>(settled);
    if (next->folder() == QDir::current().canonicalPath())
        return true;
    if (!claimDataFolder(*next))
        return false;
    run->next = std::move(next);
    if (!window.close()) {
        run->next.reset();
        return false;
    }
    QCoreApplication::exit(0);
    return true;
}

bool openDataFolder(QWidget &window)
{
    const QString chosen = dialogs().existingFolder(&window, QStringLiteral("Open Data Folder"), QDir::currentPath());
    return !chosen.isEmpty() && switchDataFolder(window, chosen);
}

#ifdef Q_OS_UNIX
namespace {

int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    // Only what a signal handler may do: the event loop reads the byte.
    const char byte = 1;
    const ssize_t written = ::write(terminationPipe[1], &byte, 1);
    (void)written;
}

}  // namespace
#endif

void closeOnTerminationSignals()
{
#ifdef Q_OS_UNIX
    if (terminationPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminationPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte = 0;
        const ssize_t read = ::read(terminationPipe[0], &byte, 1);
        (void)read;
        if (Run *run = running()) {
            run->ending = true;
            run->next.reset();
        }
        // As the user would close them: a window that cannot save yet stays open and says why.
        QApplication::closeAllWindows();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
#endif
}

}  // namespace kelvara
