#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace kelvara {

class Field;
class TColumn;
class TDBGrid;

// The ordered columns of a data grid. In the default state the grid builds them itself, one per
// visible field, at every layout change; adding a column gives the grid a column list of its own.
class TDBGridColumns : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int Count READ count)
    Q_PROPERTY(TDBGridColumnsState State READ state WRITE setState)

public:
    enum TDBGridColumnsState { csDefault, csCustomized };
    Q_ENUM(TDBGridColumnsState)

    explicit TDBGridColumns(TDBGrid *grid);
    ~TDBGridColumns() override;

    TDBGrid *grid() const { return m_grid; }
    int count() const { return int(m_columns.size()); }
    TColumn *items(int index) const { return m_columns.at(size_t(index)).get(); }
    TColumn *operator[](int index) const { return items(index); }
    int indexOf(const TColumn *column) const;

    // Adding or inserting a column to automatic columns replaces them by a list of the grid's own.
    TColumn *add();
    TColumn *insert(int index);
    void removeAt(int index);
    void clear();
    void move(int from, int to);

    TDBGridColumnsState state() const { return m_state; }
    // csDefault drops the columns and lets the grid build them from the fields again.
    void setState(TDBGridColumnsState state);

    // Copies another list, column by column, and its state.
    void assign(const TDBGridColumns &other);
    void restoreDefaults();

    // Groups changes so the grid lays itself out once, at the last end.
    void beginUpdate();
    void endUpdate();

private:
    friend class TDBGrid;
    friend class TColumn;
    // Makes the columns one per field, keeping the column objects of fields already shown.
    void buildDefault(const QList<Field *> &fields);
    void makeCustom();
    void changed();

    TDBGrid *m_grid;
    std::vector<std::unique_ptr<TColumn>> m_columns;
    TDBGridColumnsState m_state = csDefault;
};

}  // namespace kelvara
