#pragma once

#include "store/bookmark.h"
#include "store/fielddef.h"
#include "store/recordcache.h"
#include "store/renditions.h"
#include "store/sqlite.h"
#include "store/storetypes.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QVariant>
#include <QVector>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QTimer;

namespace kelvara {

class DataLink;
class DataSource;
class Field;
class FindIndex;
struct RecordBuffer;

// Narrows the shown records, on top of the range, to those holding words and lying between dates.
struct FindFilter
{
    // As typed: each word must start a word of one of the text fields (case and accents aside).
    QString words;
    QString dateField;  // the date field that from and to bound
    QDate from;         // null: no bound
    QDate to;
};

// A deleted record as its side table keeps it, with the values of the fields asked for.
struct DeletedRecord
{
    qint64 rid = 0;
    QDateTime deletedAt;  // local time
    int photos = 0;
    QVariantList values;
};

// A table of the record store: one SQLite file "<name>.db" holding the SQL table <name>,
// read record by record through the row ids of the current order and range.
// States, moves, edits and events follow the classic data-set model that bound controls and
// the grid are written against.
class Table : public QObject
{
    Q_OBJECT

public:
    explicit Table(QObject *parent = nullptr);
    ~Table() override;

    QString tableName() const { return m_tableName; }
    void setTableName(const QString &name);
    QString directory() const { return m_directory; }  // empty: the working directory
    void setDirectory(const QString &directory);
    QString fileName() const;

    bool readOnly() const { return m_readOnly; }  // open without write access
    void setReadOnly(bool readOnly);
    bool canModify() const;
    // Every record set of this store is a table; callers that need a table keep the test.
    bool isTable() const { return true; }

    bool exists() const;
    void createTable(const FieldDefs &defs);
    void deleteTable();
    // Whether the table file, or a log or journal of one, is on disk.
    bool hasFiles() const;
    // Moves the table's files, a log or journal left without them included, to the first free
    // name of "<stem>.db", "<stem>-2.db", ...  in the table's folder, and gives the name used.
    // Nothing is moved when a move fails, and nothing is ever overwritten.
    QString moveFilesAside(const QString &stem);
    // Removes what a creation of this table that never finished left in its folder (the process
    // was ended while making it): such a file never held a record. Only for the one process
    // that owns the folder.
    void removeUnfinishedCreations();
    FieldDefs fieldDefs() const;
    // The design the program expects of the table. A text field that a file declares narrower
    // (made by an earlier version) holds as many characters as the design gives, and keeps the
    // display width of its declared size: SQLite keeps text of any length, so the file is read
    // and written as before and needs no change. Takes effect at the next open.
    void setExpectedDesign(const FieldDefs &design);

    void open();
    void close();
    bool active() const { return m_state != dsInactive; }
    void setActive(bool active);
    DataSetState state() const { return m_state; }
    bool modified() const { return m_modified; }

    // Moves
    void first();
    void prior();
    void next();
    void last();
    int moveBy(int distance);
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty() const;
    int recNo() const;
    void setRecNo(int recNo);
    int recordCount() const;  // stored records in the order and range
    // The sum of an integer field over every record of the table, whatever the order and range,
    // counted by SQLite without reading a record here: the record being edited or inserted
    // counts with the value it holds now; nulls and stored values that are no integer count 0.
    enum class Scope { AllRecords, Shown };
    qint64 sumOf(const Field *field, Scope scope = Scope::AllRecords) const;
    qint64 storedCount() const;  // every stored record, whatever the range and find
    Bookmark bookmark() const;
    void gotoBookmark(const Bookmark &bookmark);
    bool bookmarkValid(const Bookmark &bookmark) const;
    int compareBookmarks(const Bookmark &a, const Bookmark &b) const;
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // Editing
    void edit();
    void insert();
    void append();
    void insertRecord(const QVariantList &values);
    void post();
    void cancel();
    void deleteRecord();
    void refresh();
    void checkBrowseMode();
    void updateRecord();

    // Order and search
    QList<IndexDef> indexDefs() const;
    QString indexFieldNames() const { return m_indexFieldNames; }
    void setIndexFieldNames(const QString &names);
    QList<Field *> indexFields() const { return m_indexFields; }
    bool findKey(const QVariantList &keyValues);
    bool locate(const QString &keyFields, const QVariantList &keyValues, LocateOptions options);
    void setRangeStart();
    void setRangeEnd();
    void applyRange();
    void cancelRange();
    bool hasRange() const { return m_range.active; }

    // Find. Words are looked for in every text and memo field. A writable table keeps a word
    // index for them when asked to before it opens; without one, finds scan the records.
    void setFindIndexed(bool indexed) { m_findIndexed = indexed; }
    enum class FindIndexState { None, Indexing, Ready };
    FindIndexState findIndexState() const;
    // Brings the index up to date now rather than in the slices the event loop runs.
    void completeFindIndex();
    // Narrows the shown records; the current record stays current when it is still shown, else
    // the first is. A record being edited is saved first.
    void setFind(const FindFilter &filter);
    const FindFilter &find() const { return m_find; }
    bool findActive() const;
    // A range or a find shows less than every record.
    bool narrowed() const { return m_range.active || findActive(); }
    // The shown records (the range) read with SQL of one's own, for readers that sum or export
    // them without moving the table: SELECT <columns> FROM the table WHERE shown [GROUP BY
    // <groupBy>] [ORDER BY the order]. Column names are quoted by the caller; the statement runs
    // on the table's connection, which knows the functions a range uses.
    enum class ShownOrder { Any, AsShown };
    sql::Statement selectShown(const QString &columns, const QString &groupBy = QString(),
                               ShownOrder order = ShownOrder::Any) const;
    // The same over every stored record, whatever the range shows, in the order's sort.
    sql::Statement selectAll(const QString &columns, ShownOrder order = ShownOrder::Any) const;

    // Fields
    int fieldCount() const { return int(m_fields.size()); }
    Field *field(int index) const { return m_fields.at(index); }
    const QList<Field *> &fields() const { return m_fields; }
    Field *findField(const QString &name) const;    // case-insensitive; nullptr when absent
    Field *fieldByName(const QString &name) const;  // throws "Field '%s' not found"

    // A smaller copy of the photo a field keeps apart, for the record a link reads (as
    // Field::asBytes), made for the bytes stored now; none while new bytes wait to be saved,
    // without a maker, or for bytes that are no picture. rebuild makes it anew, for one that
    // would not decode.
    // Deleted records, with their photos, are kept in side tables ("<name>_deleted" and
    // "<name>_deleted_blobs", made at the first delete) for this many days; 0 keeps none.
    static constexpr int kDefaultDeletedKeptDays = 90;
    void setDeletedKeptDays(int days);
    int deletedKeptDays() const { return m_deletedKeptDays; }
    // The kept records, the latest deleted first.
    QList<DeletedRecord> deletedRecords(const QStringList &fieldNames) const;
    // Puts a kept record back, with its photos, in one transaction, and makes it the current
    // record when the range shows it. Gives its row id (its own, unless that was taken since).
    qint64 restoreDeleted(qint64 rid);

    std::optional<Rendition> rendition(const Field *field, RenditionKind kind, bool rebuild = false) const;
    // Renditions made at show time since the table was opened.
    int renditionRebuilds() const;
    // Names the bytes a photo field holds now, for the record a link reads, so that a cached
    // picture can tell when another program rewrote them in place (keeping the blob id).
    // Empty while new bytes wait to be saved and when none are stored.
    QByteArray photoStamp(const Field *field) const;

Q_SIGNALS:
    void findIndexStateChanged();
    void afterOpen();
    void afterClose();
    void afterScroll();
    void afterInsert();
    void afterEdit();
    void afterPost();
    void afterCancel();
    void afterDelete();
    void afterRefresh();

private:
    friend class Field;
    friend class DataLink;
    friend class DataSource;

    // Field access to the active record
    const RecordBuffer &activeBuffer() const;
    // A stored value the field cannot hold is an error; with `invalid` given, it is put there
    // as stored text instead and the value is null.
    QVariant fieldValue(const Field *field, std::optional<QString> *invalid = nullptr) const;
    bool fieldIsNull(const Field *field) const;
    QString fieldString(const Field *field) const;  // text of a text or memo field
    void appendFieldString(const Field *field, QString &out) const;
    QString dateText(const Field *field) const;  // display text of a date field
    void setFieldValue(Field *field, const QVariant &converted);
    QByteArray readBlob(const Field *field) const;
    qint64 blobRevision(const Field *field) const;

    // Links
    void attach(DataSource *source);
    void detach(DataSource *source);
    void dataEvent(DataEvent event, Field *field = nullptr);
    // Moves a link's window of visible records over the current record; gives the distance
    // the window moved. Scrolling moves it as little as possible, a resync keeps the row.
    int syncLink(DataLink *link, bool scroll) const;
    void selectBuffer(const DataLink *link, int index);
    void layoutChanged();
    int sequenceCount() const { return int(m_ids.size()); }

    struct Range
    {
        bool active = false;
        QVariantList start, end;  // values of the leading index fields
        bool operator==(const Range &other) const
        {
            return active == other.active && start == other.start && end == other.end;
        }
    };

    // Internals
    void checkActive() const;
    void checkCanModify() const;
    void checkWriteState() const;
    // Saves or drops the pending edit; gives the position a dropped new record held, else -1.
    int finishPendingEdit();
    // Gives true when the table is read as an unchanging file, without its log.
    bool openDatabase(bool readOnly);
    void registerFunctions();
    void readSchema();
    void prepareStatements();
    void releaseDatabase();
    // The row ids of an order and range, read without touching the table's state.
    std::vector<qint64> queryIds(const QList<Field *> &order, const Range &range) const;
    QString orderClause(const QList<Field *> &order) const;
    // The shown records' condition: the range's, and the find's unless left out.
    QString rangeClause(const QList<Field *> &order, const Range &range, QVariantList *binds,
                        bool withFind = true) const;
    // Takes a new order and range, then stands on the same record as before when it is still
    // there (keepRecord) or on the first one. Nothing changes when reading fails.
    void reload(const QList<Field *> &order, const Range &range, bool keepRecord, bool firstWhenGone = false);
    // The find's part of the shown records' clause.
    QString findClause(QVariantList *binds) const;
    QString findDatesClause(QVariantList *binds) const;
    // The row ids of an order and range narrowed by the find, picked from the ids without the
    // find (kept from the last time) by the index's set of matches: sorting and joining tens of
    // thousands of matches in SQL at every key typed would take far longer. None where the
    // index cannot answer yet.
    std::optional<std::vector<qint64>> foundIds(const QList<Field *> &order, const Range &range) const;
    // The row ids of an order and range without the find, kept until a write changes them.
    const std::vector<qint64> &unfoundIds(const QList<Field *> &order, const Range &range) const;
    qint64 dataVersion() const;
    QStringList findColumns() const;  // quoted
    void openFindIndex();
    void workOnFindIndex();
    void noteFindIndexState();
    int positionOf(qint64 rid) const;
    // The earliest position in the sequence among the row ids a query gives; -1 for none.
    int firstPosition(const QString &sql, const QVariantList &binds) const;
    // The stored record at a position, from the cache or the file.
    std::shared_ptr<RecordBuffer> storedRecord(int position) const;
    // What a link sees at a position: the record being edited or inserted at the current one.
    std::shared_ptr<RecordBuffer> recordAt(int position) const;
    // Reads the record at a position together with up to kReadAhead - 1 uncached neighbours in
    // the direction of travel, in one statement and so in one read transaction.
    std::shared_ptr<RecordBuffer> loadRecords(int position) const;
    std::shared_ptr<RecordBuffer> readBatch(int position, const std::vector<qint64> &batch) const;
    void cacheRecord(const std::shared_ptr<RecordBuffer> &record) const;
    // Makes a position current. The record is read first: a failed read leaves the table as it was.
    void setPosition(int position, bool bof, bool eof);
    void setCurrentRecord();
    void removeInsertRow();
    void moveTo(int position, bool scrolled);
    void beginInsert(bool atEnd);
    void postRecord(bool notify, bool writeBack = true);
    void cancelRecord(bool notify);
    QVariant toSql(const Field *field, const QVariant &value) const;
    QVariant decodeCell(const RecordBuffer &buffer, int column, const Field *field,
                        std::optional<QString> *invalid = nullptr) const;
    // The packed row that holds a column of a record read from the file, and the column's index
    // in it; a lean record's late columns are read on the way.
    std::pair<const PackedRow *, int> packedCell(const RecordBuffer &buffer, int column) const;
    void readLateColumns(const RecordBuffer &record) const;
    // An editable copy of a record, its values decoded.
    std::shared_ptr<RecordBuffer> workingCopy(const RecordBuffer &source) const;
    // Throws the error a working copy of the record would: a number the field cannot hold.
    void checkDecodable(const RecordBuffer &record) const;
    // The edit buffer, made a copy of its own before the first change (see m_editShared).
    RecordBuffer &writableEditBuffer();
    void writeRecord();
    void ensureIndex(const QList<Field *> &fields);
    void beginKeyEdit(bool start);
    QList<Field *> parseFieldList(const QString &names, bool forIndex) const;
    QString blobTableName() const;
    QString metaTableName() const;
    QString renditionTableName() const;
    QString deletedTableName() const;
    QString deletedBlobTableName() const;
    void keepDeleted(qint64 rid);

    QString m_tableName;
    QString m_directory;
    bool m_readOnly = false;
    bool m_fileReadOnly = false;
    int m_deletedKeptDays = 0;
    bool m_findIndexed = false;
    std::unique_ptr<FindIndex> m_findIndex;
    FindIndexState m_findIndexState = FindIndexState::None;
    FindFilter m_find;
    QStringList m_findWords;        // the find's words, folded
    quint64 m_writeGeneration = 0;  // counts our own writes of records
    struct UnfoundIds
    {
        bool valid = false;
        QList<Field *> order;
        Range range;
        quint64 generation = 0;
        qint64 dataVersion = 0;
        std::vector<qint64> ids;
    };
    mutable UnfoundIds m_unfound;
    QTimer *m_findWork = nullptr;
    DataSetState m_state = dsInactive;
    bool m_modified = false;
    bool m_bof = true;
    bool m_eof = true;
    int m_disableCount = 0;
    bool m_pendingLayout = false;
    bool m_heldControlsWritten = false;  // the held controls wrote their text back since held

    // Records read at once when stepping through the table, and records kept in memory: enough
    // for a screenful of rows and for reading ahead, little against a table of any size. A walk
    // over the whole table (the controls held) reads more at once: every statement begins and
    // ends a read transaction, which takes and releases the file's locks.
    static constexpr int kReadAhead = 64;
    static constexpr int kWalkReadAhead = 128;
    static constexpr int kCacheLimit = 256;

    sql::Database m_db;
    sql::Statement m_selectRows;  // kReadAhead row ids bound
    sql::Statement m_selectSpan;  // the rows between two row ids
    // The same reads without the late columns, and one record's late columns; prepared for
    // tables that have late columns. Batches are lean until a late column is first asked for.
    sql::Statement m_selectLeanRows;
    sql::Statement m_selectLeanSpan;
    sql::Statement m_selectLate;
    std::vector<int> m_leanIndex;  // by column: index in a lean record's packed row, or -1 - index in its late row
    int m_leanCount = 0;
    int m_lateCount = 0;
    mutable bool m_readLate = false;
    sql::Statement m_insertRow;  // not prepared on a read-only file
    sql::Statement m_updateRow;
    mutable int m_lastLoaded = 0;  // position of the last read, to tell the direction
    sql::Statement m_selectBlob;
    sql::Statement m_selectBlobId;
    QString m_columnList;
    std::unique_ptr<RenditionStore> m_renditions;  // for tables with photos

    FieldDefs m_defs;
    FieldDefs m_expectedDesign;
    QList<Field *> m_fields;  // the field list, in its present order
    std::vector<std::unique_ptr<Field>> m_ownedFields;

    std::vector<qint64> m_ids;  // the current order and range
    // The position in m_ids held by a record being inserted, -1 for none. Any 64-bit value is a
    // row id some file may hold, so the entry there is told apart by its position, not its value.
    int m_insertPos = -1;
    int m_pos = -1;                      // current position in m_ids
    mutable QHash<qint64, int> m_posOf;  // built on demand; cleared when m_ids changes
    mutable bool m_posValid = false;
    // The sequence is exactly the order's sort (as the last reload read it): no record was
    // posted since, which would keep its place rather than its sort position.
    bool m_inSortOrder = false;

    // The columns whose stored values an edit checks first: numbers and booleans, as another
    // program may have stored anything there.
    std::vector<int> m_checkedColumns;
    // The field found last by name: handlers look the same field up on every move.
    mutable Field *m_lastFound = nullptr;
    std::shared_ptr<RecordBuffer> m_current;     // the current stored record
    std::shared_ptr<RecordBuffer> m_editBuffer;  // the record in edit or insert state
    // Edit state shares the stored record until a value is written: walks that put every
    // record into edit state (the main window does on each move) then cost no copy.
    bool m_editShared = false;
    std::shared_ptr<RecordBuffer> m_keyBuffer;  // range values being set
    std::shared_ptr<RecordBuffer> m_override;   // another visible record a link is reading
    mutable RecordCache m_cache{kCacheLimit, kWalkReadAhead};
    mutable std::shared_ptr<RecordBuffer> m_empty;

    QString m_indexFieldNames;
    QList<Field *> m_indexFields;

    Range m_range;
    std::shared_ptr<RecordBuffer> m_rangeStart, m_rangeEnd;

    QList<DataSource *> m_sources;
};

// Holds a table's bound controls disabled while a scope runs (a walk over the whole table, a
// save they need not follow step by step). resume() lets them catch up at the end and reports
// what they fail on; a scope left by an exception resumes them quietly, as that exception is
// the one worth telling.
class DisabledControlsScope
{
public:
    explicit DisabledControlsScope(Table &table) : m_table(table) { m_table.disableControls(); }
    ~DisabledControlsScope();
    DisabledControlsScope(const DisabledControlsScope &) = delete;
    DisabledControlsScope &operator=(const DisabledControlsScope &) = delete;

    void resume();

private:
    Table &m_table;
    bool m_resumed = false;
};

}  // namespace kelvara
