#include "grid/tdbgridcolumns.h"

#include "grid/tcolumn.h"
#include "grid/tdbgrid.h"
#include "store/field.h"

#include <algorithm>

namespace kelvara {

TDBGridColumns::TDBGridColumns(TDBGrid *grid) : QObject(nullptr), m_grid(grid) { }

TDBGridColumns::~TDBGridColumns() = default;

int TDBGridColumns::indexOf(const TColumn *column) const
{
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].get() == column)
            return int(i);
    }
    return -1;
}

void TDBGridColumns::makeCustom()
{
    if (m_state == csCustomized)
        return;
    m_columns.clear();
    m_state = csCustomized;
}

TColumn *TDBGridColumns::add()
{
    return insert(count());
}

TColumn *TDBGridColumns::insert(int index)
{
    makeCustom();
    index = std::clamp(index, 0, count());
    auto column = std::make_unique<TColumn>(this);
    TColumn *raw = column.get();
    m_columns.insert(m_columns.begin() + index, std::move(column));
    changed();
    return raw;
}

void TDBGridColumns::removeAt(int index)
{
    if (index < 0 || index >= count())
        return;
    m_columns.erase(m_columns.begin() + index);
    changed();
}

void TDBGridColumns::clear()
{
    if (m_columns.empty())
        return;
    m_columns.clear();
    changed();
}

void TDBGridColumns::move(int from, int to)
{
    if (from < 0 || from >= count())
        return;
    to = std::clamp(to, 0, count() - 1);
    if (from == to)
        return;
    auto column = std::move(m_columns[size_t(from)]);
    m_columns.erase(m_columns.begin() + from);
    m_columns.insert(m_columns.begin() + to, std::move(column));
    changed();
}

void TDBGridColumns::setState(TDBGridColumnsState state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (state == csDefault)
        m_columns.clear();
    changed();
}

void TDBGridColumns::assign(const TDBGridColumns &other)
{
    if (&other == this)
        return;
    beginUpdate();
    m_columns.clear();
    m_state = other.m_state;
    for (const auto &source : other.m_columns) {
        auto column = std::make_unique<TColumn>(this);
        m_columns.push_back(std::move(column));
        m_columns.back()->assign(*source);
    }
    changed();
    endUpdate();
}

void TDBGridColumns::restoreDefaults()
{
    beginUpdate();
    for (const auto &column : m_columns)
        column->restoreDefaults();
    endUpdate();
}

void TDBGridColumns::beginUpdate()
{
    if (m_grid)
        m_grid->beginUpdate();
}

void TDBGridColumns::endUpdate()
{
    if (m_grid)
        m_grid->endUpdate();
}

void TDBGridColumns::changed()
{
    if (m_grid)
        m_grid->relayout();
}

void TDBGridColumns::buildDefault(const QList<Field *> &fields)
{
    std::vector<std::unique_ptr<TColumn>> kept = std::move(m_columns);
    m_columns.clear();
    for (const Field *field : fields) {
        const auto it = std::find_if(kept.begin(), kept.end(), [field](const std::unique_ptr<TColumn> &column) {
            return column && column->fieldName().compare(field->fieldName(), Qt::CaseInsensitive) == 0;
        });
        if (it != kept.end()) {
            m_columns.push_back(std::move(*it));
        } else {
            m_columns.push_back(std::make_unique<TColumn>(this));
            m_columns.back()->m_fieldName = field->fieldName();
        }
    }
}

}  // namespace kelvara
