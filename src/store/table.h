#pragma once

#include "bookmark.h"
#include "fielddef.h"
#include "sqlite.h"
#include "storetypes.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

namespace kelvara {

class DataLink;
class DataSource;
class Field;
struct RecordBuffer;

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

    bool readOnly() const { return m_readOnly; }        // open without write access
    void setReadOnly(bool readOnly);
    bool canModify() const;
    // Every record set of this store is a table; callers that need a table keep the test.
    bool isTable() const { return true; }

    bool exists() const;
    void createTable(const FieldDefs &defs);
    void deleteTable();
    FieldDefs fieldDefs() const;

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
    int recordCount() const;                            // stored records in the order and range
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

    // Fields
    int fieldCount() const { return int(m_fields.size()); }
    Field *field(int index) const { return m_fields.at(index); }
    const QList<Field *> &fields() const { return m_fields; }
    Field *findField(const QString &name) const;        // case-insensitive; nullptr when absent
    Field *fieldByName(const QString &name) const;      // throws "Field '%s' not found"

Q_SIGNALS:
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

    // Internals
    void checkActive() const;
    void checkCanModify() const;
    void checkWriteState() const;
    void finishPendingEdit();
    void loadIds();
    int positionOf(qint64 rid) const;
    std::shared_ptr<RecordBuffer> recordAt(int position) const;
    std::shared_ptr<RecordBuffer> loadRecord(qint64 rid) const;
    void cacheRecord(const std::shared_ptr<RecordBuffer> &record) const;
    void prepareStatements();
    void readSchema();
    void removeInsertRow();
    void setCurrentRecord();
    void moveTo(int position, bool scrolled);
    void beginInsert(bool atEnd);
    void postRecord(bool notify);
    void cancelRecord(bool notify);
    void reloadKeepingRecord();
    QString orderClause() const;
    QString rangeClause(QVariantList *binds) const;
    QVariant toSql(const Field *field, const QVariant &value) const;
    QVariant readValue(const sql::Statement &stmt, int column, const Field *field) const;
    void writeRecord();
    void ensureIndex(const QList<Field *> &fields);
    void beginKeyEdit(bool start);
    QList<Field *> parseFieldList(const QString &names, bool forIndex) const;
    QString blobTableName() const;
    QString metaTableName() const;

    QString m_tableName;
    QString m_directory;
    bool m_readOnly = false;
    bool m_fileReadOnly = false;
    DataSetState m_state = dsInactive;
    bool m_modified = false;
    bool m_bof = true;
    bool m_eof = true;
    int m_disableCount = 0;
    bool m_pendingLayout = false;
    int m_quiet = 0;

    sql::Database m_db;
    sql::Statement m_selectRow;
    sql::Statement m_selectBlob;
    sql::Statement m_selectBlobId;
    QString m_columnList;

    FieldDefs m_defs;
    QList<Field *> m_fields;             // the field list, in its present order
    std::vector<std::unique_ptr<Field>> m_ownedFields;

    std::vector<qint64> m_ids;           // the current order and range; 0 marks a record being inserted
    int m_pos = -1;                      // current position in m_ids
    mutable QHash<qint64, int> m_posOf;  // built on demand; cleared when m_ids changes
    mutable bool m_posValid = false;
    bool m_naturalOrder = true;

    std::shared_ptr<RecordBuffer> m_current;       // the current stored record
    std::shared_ptr<RecordBuffer> m_editBuffer;    // the record in edit or insert state
    std::shared_ptr<RecordBuffer> m_keyBuffer;     // range values being set
    std::shared_ptr<RecordBuffer> m_override;      // another visible record a link is reading
    mutable QHash<qint64, std::shared_ptr<RecordBuffer>> m_cache;
    mutable std::shared_ptr<RecordBuffer> m_empty;

    QString m_indexFieldNames;
    QList<Field *> m_indexFields;

    struct Range
    {
        bool active = false;
        QVariantList start, end;         // values of the leading index fields
        QVector<bool> startSet, endSet;
    };
    Range m_range;
    std::shared_ptr<RecordBuffer> m_rangeStart, m_rangeEnd;
    bool m_keyIsStart = true;

    QList<DataSource *> m_sources;
};

} // namespace kelvara
