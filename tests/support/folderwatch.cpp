#include "folderwatch.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <sqlite3.h>

#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kelvara::test {

FolderWatch::FolderWatch(const QString &folder, Event event)
{
    m_fd = inotify_init1(IN_CLOEXEC);
    if (m_fd >= 0
        && inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), event == Opened ? IN_OPEN : IN_CREATE) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

FolderWatch::~FolderWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QStringList FolderWatch::names(bool wait)
{
    QStringList names;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        int pending = 0;
        if (!wait || !names.isEmpty()) {
            // Nothing more waiting: done.
            if (ioctl(m_fd, FIONREAD, &pending) != 0 || pending == 0)
                break;
        }
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->len > 0)
                names << QFile::decodeName(event->name);
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return names;
}

int recordsSeenByAnotherProgram(const QString &file)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {file, QStringLiteral("SELECT count(*) FROM kelvara")});
    if (!shell.waitForFinished(10000) || shell.exitCode() != 0)
        return -1;
    return shell.readAllStandardOutput().trimmed().toInt();
}

void writeToLogOnly(const QString &file, const char *sql)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    const QByteArray text = message ? QByteArray(message) : QByteArray();
    sqlite3_free(message);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, text.constData());
    QVERIFY(QFile::exists(file + QStringLiteral("-wal")));
}

}  // namespace kelvara::test
