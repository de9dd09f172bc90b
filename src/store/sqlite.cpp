#include "store/sqlite.h"

#include "store/error.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <utility>

namespace kelvara::sql {

namespace {

bool isBusy(int code)
{
    return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED;
}

bool isDamage(int code)
{
    return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
}

// Busy and locked say another program holds the file, not that anything is wrong with it;
// only corruption says the file itself is damaged.
[[noreturn]] void throwFor(int code, const QString &message)
{
    if (isBusy(code))
        throw BusyError(message);
    if (isDamage(code))
        throw DamagedError(message);
    throw Error(message);
}

// SQLite's text for a failure of the file system ("unable to open database file") does not
// say why; the system's own reason does ("Permission denied", "Is a directory").
QString withSystemReason(sqlite3 *db, int code, const QString &message)
{
    switch (code & 0xff) {
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_PERM:
    case SQLITE_READONLY: break;
    default: return message;
    }
    const int error = db ? sqlite3_system_errno(db) : 0;
    if (error == 0)
        return message;
    return QStringLiteral("%1 (%2)").arg(message, QString::fromLocal8Bit(std::strerror(error)));
}

// Read by every connection opened, on whichever thread.
std::atomic<int> &busyTimeout()
{
    static std::atomic<int> milliseconds{2000};
    return milliseconds;
}

}  // namespace

int Database::setBusyTimeout(int milliseconds)
{
    return busyTimeout().exchange(milliseconds);
}

Database::Database(const QString &fileName, Mode mode)
{
    int flags = SQLITE_OPEN_NOMUTEX;
    QByteArray name = fileName.toUtf8();
    switch (mode) {
    case Mode::ReadWrite: flags |= SQLITE_OPEN_READWRITE; break;
    case Mode::ReadWriteCreate: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
    case Mode::ReadOnly: flags |= SQLITE_OPEN_READONLY; break;
    case Mode::Immutable:
        flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
        name = QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()).toEncoded() + "?immutable=1";
        break;
    }
    const int rc = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = m_db ? withSystemReason(m_db, rc, QString::fromUtf8(sqlite3_errmsg(m_db)))
                                     : QString::fromUtf8(sqlite3_errstr(rc));
        close();
        throwFor(rc, message);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, busyTimeout());
    // A double-quoted name that is no column must be an error, not quietly a text literal;
    // and nothing in a file may alter the schema behind SQLite's back or run our functions.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    // Triggers and views are another program's code: none of it runs on our reads and writes.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
}

void Database::setCheckpointOnClose(bool checkpoint)
{
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, checkpoint ? 0 : 1, nullptr);
}

Database::~Database()
{
    close();
}

Database::Database(Database &&other) noexcept : m_db(std::exchange(other.m_db, nullptr)) { }

Database &Database::operator=(Database &&other) noexcept
{
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
    }
    return *this;
}

bool Database::isReadOnly() const
{
    return m_db && sqlite3_db_readonly(m_db, "main") == 1;
}

void Database::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

qint64 Database::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Database::lastErrorCode() const
{
    return m_db ? sqlite3_extended_errcode(m_db) : SQLITE_MISUSE;
}

int Database::changes() const
{
    return sqlite3_changes(m_db);
}

QString Database::lastError() const
{
    return m_db ? withSystemReason(m_db, sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)))
                : QString();
}

void Database::fail(const QString &what) const
{
    throwFor(lastErrorCode(), what.isEmpty() ? lastError() : what + QStringLiteral(": ") + lastError());
}

void Database::exec(const QString &sql)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = withSystemReason(m_db, rc, QString::fromUtf8(message ? message : sqlite3_errmsg(m_db)));
        sqlite3_free(message);
        throwFor(sqlite3_extended_errcode(m_db), text);
    }
}

bool Database::hasTable(const QString &name) const
{
    Statement stmt = prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"));
    stmt.bindText(1, name);
    return stmt.step() && stmt.int64(0) > 0;
}

Statement Database::prepare(const QString &sql) const
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v3(m_db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr)
        != SQLITE_OK)
        fail(QString());
    return Statement(m_db, stmt);
}

Statement::~Statement()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement &&other) noexcept : m_db(other.m_db), m_stmt(std::exchange(other.m_stmt, nullptr)) { }

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        if (m_stmt)
            sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

static void check(sqlite3 *db, int rc)
{
    if (rc != SQLITE_OK)
        throw Error(QString::fromUtf8(sqlite3_errmsg(db)));
}

void Statement::bindInt64(int index, qint64 value)
{
    check(m_db, sqlite3_bind_int64(m_stmt, index, value));
}

void Statement::bindText(int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    check(m_db, sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
}

void Statement::bindBlob(int index, const QByteArray &bytes)
{
    // A zero-length blob must still be a blob, not NULL.
    check(m_db,
          sqlite3_bind_blob64(m_stmt, index, bytes.isNull() ? "" : bytes.constData(), sqlite3_uint64(bytes.size()),
                              SQLITE_TRANSIENT));
}

void Statement::bindNull(int index)
{
    check(m_db, sqlite3_bind_null(m_stmt, index));
}

void Statement::bindPointer(int index, void *pointer, const char *type)
{
    check(m_db, sqlite3_bind_pointer(m_stmt, index, pointer, type, nullptr));
}

void Statement::bind(int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        bindNull(index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: bindInt64(index, value.toLongLong()); break;
    case QMetaType::Double:
    case QMetaType::Float: check(m_db, sqlite3_bind_double(m_stmt, index, value.toDouble())); break;
    case QMetaType::QByteArray: bindBlob(index, value.toByteArray()); break;
    default: bindText(index, value.toString()); break;
    }
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = withSystemReason(m_db, rc, QString::fromUtf8(sqlite3_errmsg(m_db)));
    sqlite3_reset(m_stmt);
    throwFor(rc, message);
}

void Statement::run()
{
    while (step()) { }
    reset();
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

QString Statement::text(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

void *Statement::pointer(int column, const char *type) const
{
    return sqlite3_value_pointer(sqlite3_column_value(m_stmt, column), type);
}

QByteArray Statement::blob(int column) const
{
    const void *data = sqlite3_column_blob(m_stmt, column);
    return QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(m_stmt, column));
}

Statement::Type Statement::type(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER: return Type::Integer;
    case SQLITE_FLOAT: return Type::Real;
    case SQLITE_TEXT: return Type::Text;
    case SQLITE_BLOB: return Type::Blob;
    default: return Type::Null;
    }
}

QByteArrayView Statement::bytes(int column) const
{
    // Text is asked for as text, so that a file kept in UTF-16 gives UTF-8 too.
    const void *data = sqlite3_column_type(m_stmt, column) == SQLITE_BLOB
        ? sqlite3_column_blob(m_stmt, column)
        : static_cast<const void *>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(static_cast<const char *>(data), sqlite3_column_bytes(m_stmt, column));
}

QVariant Statement::value(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER: return QVariant(qint64(int64(column)));
    case SQLITE_FLOAT: return QVariant(real(column));
    case SQLITE_TEXT: return QVariant(text(column));
    case SQLITE_BLOB: return QVariant(blob(column));
    default: return QVariant();
    }
}

QString quoted(const QString &identifier)
{
    QString result = identifier;
    result.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

Transaction::Transaction(Database &db) : m_db(db)
{
    try {
        m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
    } catch (const BusyError &e) {
        // SQLite's own words leave a user guessing what to do; nothing was written yet.
        throw BusyError(QCoreApplication::translate("kelvara::sql",
                                                    "Another program is writing to the records file. Try again when "
                                                    "it has finished; nothing was changed. (%1)")
                            .arg(e.message()));
    }
}

Transaction::~Transaction()
{
    if (!m_done) {
        try {
            m_db.exec(QStringLiteral("ROLLBACK"));
        } catch (...) {
            // The failure that brought us here is the one worth reporting.
        }
    }
}

void Transaction::commit()
{
    m_db.exec(QStringLiteral("COMMIT"));
    m_done = true;
}

}  // namespace kelvara::sql
