#include "platform/datafolderlock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kelvara {

namespace {

const char kLockFileName[] = "kelvara.lock";
const char kShowRequest[] = "show\n";

// QLockFile as a QObject, so the lock can be kept behind the same member on every system.
class PortableLock : public QObject
{
public:
    explicit PortableLock(const QString &path) : lock(path) { lock.setStaleLockTime(0); }
    QLockFile lock;
};

}  // namespace

DataFolderLock::DataFolderLock(const QString &folder, QObject *parent) : QObject(parent)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    m_folder = canonical.isEmpty() ? QDir(folder).absolutePath() : canonical;
}

DataFolderLock::~DataFolderLock()
{
    unlock();
}

QString DataFolderLock::serverName() const
{
    const QByteArray hash = QCryptographicHash::hash(m_folder.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("Kelvara-") + QString::fromLatin1(hash.left(24));
}

bool DataFolderLock::tryLock()
{
    if (m_locked)
        return true;
    const QString inFolder = QDir(m_folder).filePath(QLatin1String(kLockFileName));
    // Where the folder takes no new file (a read-only table), the lock lives in the user's
    // runtime folder under the data folder's name; copies of one user still meet there.
    const QString elsewhere = QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
                                  .filePath(serverName() + QStringLiteral(".lock"));
#ifdef Q_OS_UNIX
    for (const QString &path : {inFolder, elsewhere}) {
        const QByteArray name = QFile::encodeName(path);
        int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // flock, not fcntl: its lock belongs to this descriptor alone, and the system lets go of
        // it when the process ends.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            ::close(fd);
            if (held)
                return false;
            continue;
        }
        m_fd = fd;
        m_locked = true;
        break;
    }
#else
    for (const QString &path : {inFolder, elsewhere}) {
        auto lock = std::make_unique<PortableLock>(path);
        if (lock->lock.tryLock(0)) {
            m_portableLock = std::move(lock);
            m_locked = true;
            break;
        }
        if (lock->lock.error() == QLockFile::LockFailedError)
            return false;
    }
#endif
    if (m_locked)
        listen();
    // Where no lock file can be made at all, no other copy can hold one either.
    return true;
}

void DataFolderLock::unlock()
{
    m_server.reset();
#ifdef Q_OS_UNIX
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
#endif
    m_portableLock.reset();
    m_locked = false;
}

void DataFolderLock::listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a copy that crashed is ours to replace: we hold the folder now.
    QLocalServer::removeServer(serverName());
    if (!m_server->listen(serverName()))
        return;
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto answer = [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == kShowRequest)
                    Q_EMIT showRequested();
                socket->disconnectFromServer();
            };
            connect(socket, &QLocalSocket::readyRead, this, answer);
            answer();
        }
    });
}

bool DataFolderLock::askHolderToShow() const
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(kShowRequest);
    const bool sent = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return sent;
}

}  // namespace kelvara
