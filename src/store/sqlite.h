#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace kelvara::sql {

// Thin RAII wrappers over the SQLite C API; every failure becomes a kelvara::Error (a BusyError
// when another connection holds the file locked).
class Statement;

class Database
{
public:
    // Immutable: read-only, and SQLite trusts that nobody changes the file, so it needs no
    // shared-memory file beside it (for a WAL table in a folder the user cannot write).
    enum class Mode { ReadWrite, ReadWriteCreate, ReadOnly, Immutable };

    Database() = default;
    Database(const QString &fileName, Mode mode);
    ~Database();
    Database(Database &&other) noexcept;
    Database &operator=(Database &&other) noexcept;
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    bool isOpen() const { return m_db != nullptr; }
    bool isReadOnly() const;
    sqlite3 *handle() const { return m_db; }

    void exec(const QString &sql);
    bool hasTable(const QString &name) const;  // a table of that name is in the schema
    Statement prepare(const QString &sql) const;
    QString lastError() const;
    int lastErrorCode() const;  // extended result code of the last call
    qint64 lastInsertRowId() const;
    int changes() const;  // rows the last statement changed
    [[noreturn]] void fail(const QString &what) const;
    // Whether closing the last connection folds the write-ahead log into the file and deletes
    // it (the default). Off, a connection that gives up leaves the files as it found them.
    void setCheckpointOnClose(bool checkpoint);
    void close();

    // How long a connection opened from now on waits for another program's lock before it
    // gives up as busy: two seconds unless set, less in tests that hold a lock on purpose.
    // Gives back the wait it replaces.
    static int setBusyTimeout(int milliseconds);

private:
    sqlite3 *m_db = nullptr;
};

class Statement
{
public:
    Statement() = default;
    Statement(sqlite3 *db, sqlite3_stmt *stmt) : m_db(db), m_stmt(stmt) { }
    ~Statement();
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    void reset();
    void bind(int index, const QVariant &value);  // 1-based; a null variant binds NULL
    void bindInt64(int index, qint64 value);
    void bindText(int index, const QString &text);
    void bindBlob(int index, const QByteArray &bytes);
    void bindNull(int index);
    // Hands a pointer to a function of ours through SQL, tagged with its type name.
    void bindPointer(int index, void *pointer, const char *type);

    bool step();  // true while a row is ready
    void run();   // step to completion, then reset

    int columnCount() const;
    bool isNull(int column) const;
    qint64 int64(int column) const;
    double real(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;
    // A pointer a function of ours gave as the column's value, tagged with its type name.
    void *pointer(int column, const char *type) const;
    QVariant value(int column) const;  // as SQLite typed it
    // How SQLite stores a value, and the bytes of a text (as UTF-8) or a BLOB, without a copy:
    // valid until the next step, for readers that pass stored text on as it is.
    enum class Type { Integer, Real, Text, Blob, Null };
    Type type(int column) const;
    QByteArrayView bytes(int column) const;

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};

// Quotes an identifier for SQL: "name" with embedded quotes doubled.
QString quoted(const QString &identifier);

// Runs a block inside BEGIN IMMEDIATE ... COMMIT, rolling back on any exception.
class Transaction
{
public:
    explicit Transaction(Database &db);
    ~Transaction();
    void commit();

private:
    Database &m_db;
    bool m_done = false;
};

}  // namespace kelvara::sql
