#include "store/renditions.h"

#include "store/error.h"

#include <QCryptographicHash>

#include <sqlite3.h>

namespace kelvara {

namespace {

RenditionMaker &installedMaker()
{
    static RenditionMaker maker;
    return maker;
}

// Resets a statement however the block using it is left, so that no read stays open.
struct ResetOnExit
{
    sql::Statement &statement;
    ~ResetOnExit() { statement.reset(); }
};

}  // namespace

RenditionMaker installRenditionMaker(RenditionMaker maker)
{
    RenditionMaker previous = std::move(installedMaker());
    installedMaker() = std::move(maker);
    return previous;
}

const RenditionMaker &renditionMaker()
{
    return installedMaker();
}

PhotoStamp stampOf(qint64 blobId, const QByteArray &bytes)
{
    // A check for change, not against an adversary: the fastest of Qt's digests serves.
    const QByteArrayView head(bytes.constData(), qMin<qint64>(bytes.size(), kStampHead));
    return PhotoStamp{blobId, bytes.size(), QCryptographicHash::hash(head, QCryptographicHash::Sha1)};
}

namespace {

// What a kept rendition is checked by: the stamp of the photo it was made from, bound to the
// rendition's own sizes and bytes. The stamp alone names the photo, not what the row holds, so
// a row whose picture or sizes were written over (another photo's preview under this photo's
// stamp, a photo size that is not the photo's) would pass it. Costs a digest of the
// rendition's bytes, a fraction of decoding them. Kept in the row's photo_digest column.
QByteArray renditionCheck(const PhotoStamp &stamp, const Rendition &rendition)
{
    // The numbers in a fixed order and width, so that no two rows can give the same input.
    const qint64 numbers[] = {stamp.blobId,
                              stamp.size,
                              qint64(rendition.kind),
                              rendition.size.width(),
                              rendition.size.height(),
                              rendition.sourceSize.width(),
                              rendition.sourceSize.height(),
                              qint64(stamp.digest.size())};
    QByteArray fixed;
    for (qint64 number : numbers) {
        for (int shift = 0; shift < 64; shift += 8)
            fixed.append(char((quint64(number) >> shift) & 0xff));
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(fixed);
    hash.addData(stamp.digest);
    hash.addData(rendition.data);
    return hash.result();
}

}  // namespace

RenditionStore::RenditionStore(sql::Database &db, const QString &photoTable, const QString &renditionTable,
                               bool writable)
    : m_db(db), m_photoTable(photoTable), m_table(renditionTable), m_writable(writable)
{
    m_hasTable = m_db.hasTable(m_table);
    if (!m_hasTable && m_writable) {
        // Files from before renditions were kept get the table on their first writable open.
        // Should another program hold the file locked, this open goes on without it.
        try {
            createTable(m_db, m_table);
            m_hasTable = true;
        } catch (const Error &) { }
    }
}

RenditionStore::~RenditionStore() = default;

void RenditionStore::createTable(sql::Database &db, const QString &renditionTable)
{
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"rid\" INTEGER NOT NULL, \"field\" TEXT NOT NULL, "
                           "\"kind\" INTEGER NOT NULL, \"blob_id\" INTEGER NOT NULL, \"photo_size\" INTEGER NOT NULL, "
                           "\"photo_digest\" BLOB NOT NULL, \"width\" INTEGER NOT NULL, \"height\" INTEGER NOT NULL, "
                           "\"photo_width\" INTEGER NOT NULL, \"photo_height\" INTEGER NOT NULL, "
                           "\"data\" BLOB NOT NULL, PRIMARY KEY (\"rid\", \"field\", \"kind\"))")
                .arg(sql::quoted(renditionTable)));
}

sql::Statement &RenditionStore::statement(sql::Statement &slot, const QString &sql)
{
    if (!slot.isValid())
        slot = m_db.prepare(sql);
    return slot;
}

QString RenditionStore::memoryKey(qint64 rid, const QString &field, RenditionKind kind)
{
    return QStringLiteral("%1/%2/%3").arg(rid).arg(field).arg(int(kind));
}

void RenditionStore::forget(qint64 rid, const QString &field)
{
    m_memory.remove(memoryKey(rid, field, RenditionKind::Preview));
    m_memory.remove(memoryKey(rid, field, RenditionKind::Thumbnail));
    m_nothing.remove(QStringLiteral("%1/%2").arg(rid).arg(field));
}

std::vector<Rendition> RenditionStore::make(const QByteArray &photo) const
{
    const RenditionMaker &maker = renditionMaker();
    if (!maker)
        return {};
    try {
        return maker(photo);
    } catch (...) {
        return {};
    }
}

void RenditionStore::removeRows(qint64 rid, const QString &field)
{
    sql::Statement &remove = statement(
        m_remove, QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ? AND \"field\" = ?").arg(sql::quoted(m_table)));
    ResetOnExit guard{remove};
    remove.bindInt64(1, rid);
    remove.bindText(2, field);
    remove.run();
}

void RenditionStore::writeRows(qint64 rid, const QString &field, const PhotoStamp &stamp,
                               const std::vector<Rendition> &renditions)
{
    sql::Statement &insert = statement(
        m_insert,
        QStringLiteral("INSERT OR REPLACE INTO %1 (\"rid\", \"field\", \"kind\", \"blob_id\", \"photo_size\", "
                       "\"photo_digest\", \"width\", \"height\", \"photo_width\", \"photo_height\", \"data\") "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(sql::quoted(m_table)));
    ResetOnExit guard{insert};
    for (const Rendition &r : renditions) {
        insert.bindInt64(1, rid);
        insert.bindText(2, field);
        insert.bindInt64(3, int(r.kind));
        insert.bindInt64(4, stamp.blobId);
        insert.bindInt64(5, stamp.size);
        insert.bindBlob(6, renditionCheck(stamp, r));
        insert.bindInt64(7, r.size.width());
        insert.bindInt64(8, r.size.height());
        insert.bindInt64(9, r.sourceSize.width());
        insert.bindInt64(10, r.sourceSize.height());
        insert.bindBlob(11, r.data);
        insert.run();
    }
}

void RenditionStore::photoWritten(qint64 rid, const QString &field, qint64 blobId, const QByteArray &bytes)
{
    forget(rid, field);
    if (!m_hasTable)
        return;
    removeRows(rid, field);
    const std::vector<Rendition> made = make(bytes);
    if (!made.empty())
        writeRows(rid, field, stampOf(blobId, bytes), made);
}

void RenditionStore::photoRemoved(qint64 rid, const QString &field)
{
    forget(rid, field);
    if (m_hasTable)
        removeRows(rid, field);
}

void RenditionStore::recordDeleted(qint64 rid)
{
    for (const QString &key : m_memory.keys()) {
        if (key.startsWith(QStringLiteral("%1/").arg(rid)))
            m_memory.remove(key);
    }
    for (auto it = m_nothing.begin(); it != m_nothing.end();) {
        if (it.key().startsWith(QStringLiteral("%1/").arg(rid)))
            it = m_nothing.erase(it);
        else
            ++it;
    }
    if (!m_hasTable)
        return;
    sql::Statement &remove
        = statement(m_removeRecord, QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ?").arg(sql::quoted(m_table)));
    ResetOnExit guard{remove};
    remove.bindInt64(1, rid);
    remove.run();
}

std::optional<PhotoStamp> RenditionStore::storedStamp(qint64 blobId) const
{
    // The incremental blob reader fetches only the pages it is asked for, so the head of a
    // 5 MB photo costs some 16 pages; the size comes from the record header.
    sqlite3_blob *blob = nullptr;
    const QByteArray table = m_photoTable.toUtf8();
    if (sqlite3_blob_open(m_db.handle(), "main", table.constData(), "data", blobId, 0, &blob) != SQLITE_OK) {
        sqlite3_blob_close(blob);
        return std::nullopt;
    }
    const int size = sqlite3_blob_bytes(blob);
    QByteArray head(int(qMin<qint64>(size, kStampHead)), Qt::Uninitialized);
    const int rc = sqlite3_blob_read(blob, head.data(), int(head.size()), 0);
    sqlite3_blob_close(blob);
    if (rc != SQLITE_OK)
        return std::nullopt;
    return PhotoStamp{blobId, size, QCryptographicHash::hash(head, QCryptographicHash::Sha1)};
}

std::optional<RenditionStore::Stored> RenditionStore::readRow(qint64 rid, const QString &field, RenditionKind kind)
{
    if (!m_hasTable)
        return std::nullopt;
    try {
        sql::Statement &select
            = statement(m_select,
                        QStringLiteral("SELECT \"blob_id\", \"photo_size\", \"photo_digest\", \"width\", \"height\", "
                                       "\"photo_width\", \"photo_height\", \"data\" FROM %1 "
                                       "WHERE \"rid\" = ? AND \"field\" = ? AND \"kind\" = ?")
                            .arg(sql::quoted(m_table)));
        ResetOnExit guard{select};
        select.bindInt64(1, rid);
        select.bindText(2, field);
        select.bindInt64(3, int(kind));
        if (!select.step())
            return std::nullopt;
        Stored row;
        // The digest read is the rendition's check, not the photo's.
        row.stamp = PhotoStamp{select.int64(0), select.int64(1), select.blob(2)};
        row.rendition.kind = kind;
        row.rendition.size = QSize(int(select.int64(3)), int(select.int64(4)));
        row.rendition.sourceSize = QSize(int(select.int64(5)), int(select.int64(6)));
        row.rendition.data = select.blob(7);
        return row;
    } catch (const Error &) {
        // A row that cannot be read is one to make again.
        return std::nullopt;
    }
}

std::optional<Rendition> RenditionStore::rendition(qint64 rid, const QString &field, qint64 blobId, RenditionKind kind,
                                                   bool rebuild)
{
    const std::optional<PhotoStamp> current = storedStamp(blobId);
    if (!current)
        return std::nullopt;
    const QString photoKey = QStringLiteral("%1/%2").arg(rid).arg(field);
    if (!rebuild) {
        if (const Stored *kept = m_memory.object(memoryKey(rid, field, kind)); kept && kept->stamp == *current)
            return kept->rendition;
        // A row keeps the check of its rendition in place of the photo's digest. Rows from
        // before the check kept the digest alone; they fail it and are made again once.
        if (const std::optional<Stored> row = readRow(rid, field, kind); row && row->stamp.blobId == current->blobId
            && row->stamp.size == current->size && row->stamp.digest == renditionCheck(*current, row->rendition))
            return row->rendition;
        if (const auto it = m_nothing.constFind(photoKey); it != m_nothing.constEnd() && *it == *current)
            return std::nullopt;
    }
    if (!renditionMaker())
        return std::nullopt;

    QByteArray photo;
    try {
        sql::Statement &select = statement(
            m_selectPhoto, QStringLiteral("SELECT \"data\" FROM %1 WHERE \"id\" = ?").arg(sql::quoted(m_photoTable)));
        ResetOnExit guard{select};
        select.bindInt64(1, blobId);
        if (!select.step())
            return std::nullopt;
        photo = select.blob(0);
    } catch (const Error &) {
        return std::nullopt;
    }
    const PhotoStamp stamp = stampOf(blobId, photo);
    const std::vector<Rendition> made = make(photo);
    ++m_rebuilds;
    forget(rid, field);
    if (made.empty()) {
        m_nothing.insert(photoKey, stamp);
        return std::nullopt;
    }
    bool stored = false;
    if (m_writable && m_hasTable) {
        try {
            sql::Transaction transaction(m_db);
            removeRows(rid, field);
            writeRows(rid, field, stamp, made);
            transaction.commit();
            stored = true;
        } catch (const Error &) {
            // Busy or full: the renditions serve from memory this time and are made again later.
        }
    }
    std::optional<Rendition> asked;
    for (const Rendition &r : made) {
        if (!stored)
            m_memory.insert(memoryKey(rid, field, r.kind), new Stored{stamp, r}, qMax<qsizetype>(1, r.data.size()));
        if (r.kind == kind)
            asked = r;
    }
    return asked;
}

}  // namespace kelvara
