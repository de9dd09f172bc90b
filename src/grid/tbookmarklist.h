#pragma once

#include "store/bookmark.h"

#include <QList>
#include <QSet>

namespace kelvara {

class TDBGrid;

// The records selected in a multi-select grid, as bookmarks in the order they were selected.
class TBookmarkList
{
public:
    explicit TBookmarkList(TDBGrid *grid) : m_grid(grid) { }

    int count() const { return int(m_items.size()); }
    Bookmark items(int index) const { return m_items.at(index); }
    const QList<Bookmark> &list() const { return m_items; }
    bool contains(const Bookmark &bookmark) const { return m_ids.contains(bookmark.recordId()); }
    int indexOf(const Bookmark &bookmark) const { return int(m_items.indexOf(bookmark)); }

    // Whether the grid's current record is selected; setting it selects or unselects it.
    bool currentRowSelected() const;
    void setCurrentRowSelected(bool selected);
    void select(const Bookmark &bookmark);
    void unselect(const Bookmark &bookmark);
    void clear();
    // Drops bookmarks of records that no longer exist.
    void refresh();

private:
    TDBGrid *m_grid;
    QList<Bookmark> m_items;
    QSet<qint64> m_ids;
};

}  // namespace kelvara
