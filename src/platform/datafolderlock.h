#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace kelvara {

// Holds a data folder for one running copy of the program: a second copy started on the same
// folder finds it held, asks the first to bring its window forward, and ends. The lock is the
// operating system's, so it is let go however the holder ends, a crash included.
class DataFolderLock : public QObject
{
    Q_OBJECT

public:
    explicit DataFolderLock(const QString &folder, QObject *parent = nullptr);
    ~DataFolderLock() override;

    QString folder() const { return m_folder; }
    // Takes the folder; false when another copy holds it.
    bool tryLock();
    bool isLocked() const { return m_locked; }
    void unlock();

    // Asks the copy that holds the folder to show its window; false when none could be reached.
    bool askHolderToShow() const;

Q_SIGNALS:
    // Another copy was started on our folder and asks for our window.
    void showRequested();

private:
    void listen();
    QString serverName() const;

    QString m_folder;
    bool m_locked = false;
    int m_fd = -1;
    std::unique_ptr<QObject> m_portableLock;  // where the system has no advisory file locks
    // Outside Qt's object tree: unlock() ends it, and the connections it accepted, at once, so
    // that a folder let go answers no other copy.
    std::unique_ptr<QLocalServer> m_server;
};

}  // namespace kelvara
