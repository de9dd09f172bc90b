#pragma once

#include "store/storetypes.h"

#include <QList>
#include <QObject>
#include <QPointer>

namespace kelvara {

class DataLink;
class Field;
class Table;

// Connects a table to the controls that show it: each control holds a DataLink on the source,
// and the source passes every data event of the table on to its links, then raises its own
// signals for the window's handlers.
class DataSource : public QObject
{
    Q_OBJECT

public:
    explicit DataSource(QObject *parent = nullptr);
    ~DataSource() override;

    Table *dataSet() const { return m_dataSet; }
    void setDataSet(Table *table);
    DataSetState state() const;
    const QList<DataLink *> &links() const { return m_links; }

Q_SIGNALS:
    void dataChanged(kelvara::Field *field);  // field, record and data-set changes and moves
    void stateChanged();
    void updateData();

private:
    friend class DataLink;
    friend class Table;
    void dataEvent(DataEvent event, Field *field);

    Table *m_dataSet = nullptr;
    QList<DataLink *> m_links;
};

// A control's connection to a data source. Subclasses override the notifications they need;
// the buffer of visible records serves controls that show several records, such as a grid.
class DataLink
{
public:
    DataLink();
    virtual ~DataLink();
    DataLink(const DataLink &) = delete;
    DataLink &operator=(const DataLink &) = delete;

    DataSource *dataSource() const { return m_source; }
    void setDataSource(DataSource *source);
    Table *dataSet() const;
    bool active() const { return m_active; }
    bool editing() const { return m_editing; }
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);

    // The buffer of records in view: bufferCount rows, of which recordCount() hold records.
    int bufferCount() const { return m_bufferCount; }
    void setBufferCount(int count);
    int recordCount() const;
    int activeRecord() const;
    // Makes another buffered record the one fields read, until set back; see ActiveRecordScope.
    // Throws when that record cannot be read; the active record is then unchanged.
    void setActiveRecord(int index);
    // Sets the active record back without throwing: when the saved record cannot be read any
    // more, the current record becomes the active one.
    void restoreActiveRecord(int index) noexcept;

    // Puts the record set into edit state; true when it is editing or inserting afterwards,
    // false for a read-only link or a table that cannot be modified.
    bool edit();
    // Asks every control on the record set to write its text back into its field.
    void updateRecord();

protected:
    virtual void activeChanged() { }
    virtual void checkBrowseMode() { }
    virtual void dataSetChanged() { recordChanged(nullptr); }
    virtual void dataSetScrolled(int distance);
    virtual void editingChanged() { }
    virtual void layoutChanged() { dataSetChanged(); }
    virtual void recordChanged(Field *field) { Q_UNUSED(field); }
    virtual void updateData() { }

private:
    friend class DataSource;
    friend class Table;
    void dataEvent(DataEvent event, Field *field, int distance);
    void updateState();

    DataSource *m_source = nullptr;
    bool m_active = false;
    bool m_editing = false;
    bool m_readOnly = false;
    int m_bufferCount = 1;
    int m_first = 0;         // position of the first buffered record in the record set
    int m_lastActive = 0;    // the active row at the last resync, kept across jumps
    int m_activeIndex = -1;  // set while a caller reads another buffered record
    bool m_updating = false;
};

// Reads another visible record for the lifetime of the scope, then restores the active record.
class ActiveRecordScope
{
public:
    ActiveRecordScope(DataLink &link, int index) : m_link(link), m_saved(link.activeRecord())
    {
        m_link.setActiveRecord(index);
    }
    ~ActiveRecordScope() { m_link.restoreActiveRecord(m_saved); }
    ActiveRecordScope(const ActiveRecordScope &) = delete;
    ActiveRecordScope &operator=(const ActiveRecordScope &) = delete;

private:
    DataLink &m_link;
    int m_saved;
};

}  // namespace kelvara
