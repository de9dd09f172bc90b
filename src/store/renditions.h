#pragma once

#include "store/sqlite.h"

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kelvara {

// Smaller copies of a stored photo kept beside it, so that a sheet or a cell can be drawn
// without reading and decoding the whole photo. The store only keeps them; what they hold and
// how they are made is the business of the maker the program installs.
enum class RenditionKind { Preview = 1, Thumbnail = 2 };

struct Rendition
{
    RenditionKind kind = RenditionKind::Preview;
    QSize size;        // of the rendition
    QSize sourceSize;  // of the photo, as the rendition shows it
    QByteArray data;   // encoded
};

// Turns a photo's bytes into its renditions. Bytes it cannot read give none; it never throws
// (a throw is taken as none, so that a save never fails for it).
using RenditionMaker = std::function<std::vector<Rendition>(const QByteArray &photo)>;

// The maker in use, program-wide like the dialogs: none until the program or a test installs
// one. Gives the one it replaces.
RenditionMaker installRenditionMaker(RenditionMaker maker);
const RenditionMaker &renditionMaker();

// Names the bytes a rendition was made from. The blob id alone is not enough: another program
// can rewrite the bytes in place and keep the id.
struct PhotoStamp
{
    qint64 blobId = 0;
    qint64 size = 0;
    QByteArray digest;  // of the first kStampHead bytes

    friend bool operator==(const PhotoStamp &a, const PhotoStamp &b)
    {
        return a.blobId == b.blobId && a.size == b.size && a.digest == b.digest;
    }
    friend bool operator!=(const PhotoStamp &a, const PhotoStamp &b) { return !(a == b); }
};

// A digest of the whole photo would cost reading all of it (megabytes) at every show, the very
// cost renditions are there to save. The head is enough to notice a photo replaced behind our
// back: a JPEG's first 64 KB hold its headers, tables and the top rows of its picture, and
// together with the exact byte count a different photo, or the same one saved again, does not
// give the same head and size. Only an edit of the bottom rows written back at exactly the same
// size would pass, and a rendition so made is then off only in those rows.
constexpr qint64 kStampHead = 64 * 1024;
PhotoStamp stampOf(qint64 blobId, const QByteArray &bytes);

// The renditions of one table's photos, in the side table <name>_previews of its file; in
// memory for a file opened read-only. Works on the table's connection, inside its
// transactions where it writes along with a save.
class RenditionStore
{
public:
    // writable: the side table may be made and written; it is made here when missing.
    RenditionStore(sql::Database &db, const QString &photoTable, const QString &renditionTable, bool writable);
    ~RenditionStore();

    static void createTable(sql::Database &db, const QString &renditionTable);

    // Along with a save, in its transaction: the field's photo is now the bytes stored under
    // blobId (their renditions are made when a maker is installed), or none.
    void photoWritten(qint64 rid, const QString &field, qint64 blobId, const QByteArray &bytes);
    void photoRemoved(qint64 rid, const QString &field);
    void recordDeleted(qint64 rid);

    // The rendition of kind for the photo stored under blobId, made anew from the photo when
    // none is kept for these very bytes, or when rebuild asks for it (one that did not decode).
    // None when no maker is installed or the bytes are no picture. Never throws for a rendition
    // that cannot be read or written: it is made again, or kept in memory.
    std::optional<Rendition> rendition(qint64 rid, const QString &field, qint64 blobId, RenditionKind kind,
                                       bool rebuild = false);

    // Renditions made at show time since opening, for tests and benchmarks.
    int rebuilds() const { return m_rebuilds; }

    // The stamp of the bytes stored under blobId now; none when they cannot be read.
    std::optional<PhotoStamp> storedStamp(qint64 blobId) const;

private:
    struct Stored
    {
        PhotoStamp stamp;
        Rendition rendition;
    };
    std::optional<Stored> readRow(qint64 rid, const QString &field, RenditionKind kind);
    std::vector<Rendition> make(const QByteArray &photo) const;
    void writeRows(qint64 rid, const QString &field, const PhotoStamp &stamp, const std::vector<Rendition> &renditions);
    void removeRows(qint64 rid, const QString &field);
    sql::Statement &statement(sql::Statement &slot, const QString &sql);
    static QString memoryKey(qint64 rid, const QString &field, RenditionKind kind);
    void forget(qint64 rid, const QString &field);

    sql::Database &m_db;
    QString m_photoTable;
    QString m_table;
    bool m_writable = false;
    bool m_hasTable = false;
    int m_rebuilds = 0;
    sql::Statement m_select, m_insert, m_remove, m_removeRecord, m_selectPhoto;
    // Read-only files, and files whose side table could not be written: renditions made here,
    // bounded by their encoded bytes.
    QCache<QString, Stored> m_memory{32 * 1024 * 1024};
    // Photos the maker gave nothing for, so that a cell of non-picture bytes does not read them
    // again at every paint.
    QHash<QString, PhotoStamp> m_nothing;
};

}  // namespace kelvara
