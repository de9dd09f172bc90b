#include "grid/tbookmarklist.h"

#include "grid/tdbgrid.h"
#include "store/table.h"

namespace kelvara {

bool TBookmarkList::currentRowSelected() const
{
    const Table *table = m_grid->activeTable();
    if (!table)
        return false;
    const Bookmark bookmark = table->bookmark();
    return !bookmark.isNull() && contains(bookmark);
}

void TBookmarkList::setCurrentRowSelected(bool selected)
{
    const Table *table = m_grid->activeTable();
    if (!table)
        return;
    const Bookmark bookmark = table->bookmark();
    if (bookmark.isNull())
        return;
    if (selected)
        select(bookmark);
    else
        unselect(bookmark);
}

void TBookmarkList::select(const Bookmark &bookmark)
{
    if (bookmark.isNull() || contains(bookmark))
        return;
    m_items.append(bookmark);
    m_ids.insert(bookmark.recordId());
    m_grid->invalidateDataRows();
}

void TBookmarkList::unselect(const Bookmark &bookmark)
{
    if (!contains(bookmark))
        return;
    m_items.removeAll(bookmark);
    m_ids.remove(bookmark.recordId());
    m_grid->invalidateDataRows();
}

void TBookmarkList::clear()
{
    if (m_items.isEmpty())
        return;
    m_items.clear();
    m_ids.clear();
    m_grid->invalidateDataRows();
}

void TBookmarkList::refresh()
{
    const Table *table = m_grid->activeTable();
    QList<Bookmark> kept;
    for (const Bookmark &bookmark : std::as_const(m_items)) {
        if (table && table->bookmarkValid(bookmark))
            kept << bookmark;
        else
            m_ids.remove(bookmark.recordId());
    }
    if (kept.size() != m_items.size()) {
        m_items = kept;
        m_grid->invalidateDataRows();
    }
}

}  // namespace kelvara
