#pragma once

#include <cstddef>
#include <vector>

namespace kelvara {

// One direction of a cell grid: the sizes of its columns (or rows), how many stay fixed at the
// start and which scrolled one comes first in view. Start offsets are cached so that the cell under
// a point is found by binary search; they are rebuilt only after a size changes.
class GridAxis
{
public:
    // The largest size an entry takes: no screen shows more, and any number of entries this
    // size still sums without overflow.
    static constexpr int LargestSize = 1 << 16;

    int count() const { return int(m_sizes.size()); }
    void setCount(int count, int defaultSize);
    int size(int index) const { return m_sizes[std::size_t(index)]; }  // -1: hidden, takes no space
    // Sizes beyond LargestSize are taken as LargestSize.
    void setSize(int index, int size);
    void setAllSizes(int size);
    void move(int from, int to);

    int lineWidth() const { return m_lineWidth; }
    void setLineWidth(int width);
    int fixedCount() const { return m_fixed; }
    void setFixedCount(int count) { m_fixed = count; }
    int first() const { return m_first; }  // first scrolled index in view
    void setFirst(int index) { m_first = index; }

    // Space an entry takes with its line; 0 for a hidden one.
    int extent(int index) const;
    // Offset of an entry's start with nothing scrolled, and the total of all entries.
    int start(int index) const;
    int total() const { return start(count()); }
    int fixedExtent() const { return start(m_fixed); }
    // Client offset of an entry's start as things scroll now; -1 when it is scrolled out of view.
    int position(int index) const;
    // The entry whose cell or line covers a client offset, or -1.
    int indexAt(int offset) const;
    // The last entry that starts inside a client extent, and the last that fits into it whole.
    int lastVisible(int clientExtent) const;
    int lastFullyVisible(int clientExtent) const;
    // The largest first index that still shows the last entry whole.
    int maxFirst(int clientExtent) const;
    // The next or previous entry after index that takes space, or -1.
    int nextShown(int index) const;
    int previousShown(int index) const;

private:
    void rebuild() const;

    std::vector<int> m_sizes;
    mutable std::vector<int> m_starts;  // count + 1 entries, at most LargestStart
    mutable bool m_dirty = true;
    int m_lineWidth = 1;
    int m_fixed = 0;
    int m_first = 0;
};

}  // namespace kelvara
