#include "grid/gridaxis.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>

namespace kelvara {

namespace {

// Offsets stop growing here: two of them still add up without overflow.
constexpr qint64 kLargestStart = std::numeric_limits<int>::max() / 4;

int entrySize(int size)
{
    return size < 0 ? -1 : std::min(size, GridAxis::LargestSize);
}

}  // namespace

void GridAxis::setCount(int count, int defaultSize)
{
    count = std::max(0, count);
    if (count == this->count())
        return;
    m_sizes.resize(size_t(count), entrySize(defaultSize));
    m_fixed = std::min(m_fixed, count);
    m_first = std::clamp(m_first, m_fixed, std::max(m_fixed, count - 1));
    m_dirty = true;
}

void GridAxis::setSize(int index, int size)
{
    size = entrySize(size);
    if (m_sizes[size_t(index)] == size)
        return;
    m_sizes[size_t(index)] = size;
    m_dirty = true;
}

void GridAxis::setAllSizes(int size)
{
    std::fill(m_sizes.begin(), m_sizes.end(), entrySize(size));
    m_dirty = true;
}

void GridAxis::move(int from, int to)
{
    if (from == to)
        return;
    const int size = m_sizes[size_t(from)];
    m_sizes.erase(m_sizes.begin() + from);
    m_sizes.insert(m_sizes.begin() + to, size);
    m_dirty = true;
}

void GridAxis::setLineWidth(int width)
{
    width = std::clamp(width, 0, LargestSize);
    if (width == m_lineWidth)
        return;
    m_lineWidth = width;
    m_dirty = true;
}

int GridAxis::extent(int index) const
{
    const int size = m_sizes[size_t(index)];
    return size < 0 ? 0 : size + m_lineWidth;
}

void GridAxis::rebuild() const
{
    m_starts.resize(m_sizes.size() + 1);
    qint64 offset = 0;
    for (size_t i = 0; i < m_sizes.size(); ++i) {
        m_starts[i] = int(offset);
        offset = std::min(kLargestStart, offset + (m_sizes[i] < 0 ? 0 : m_sizes[i] + m_lineWidth));
    }
    m_starts[m_sizes.size()] = int(offset);
    m_dirty = false;
}

int GridAxis::start(int index) const
{
    if (m_dirty)
        rebuild();
    return m_starts[size_t(index)];
}

int GridAxis::position(int index) const
{
    if (index < 0 || index >= count())
        return -1;
    if (index < m_fixed)
        return start(index);
    if (index < m_first)
        return -1;
    return fixedExtent() + start(index) - start(m_first);
}

int GridAxis::indexAt(int offset) const
{
    if (offset < 0 || count() == 0)
        return -1;
    if (m_dirty)
        rebuild();
    const int fixedEnd = m_starts[size_t(m_fixed)];
    int absolute = offset;
    auto begin = m_starts.begin();
    auto end = m_starts.begin() + m_fixed;
    if (offset >= fixedEnd) {
        absolute = offset - fixedEnd + m_starts[size_t(m_first)];
        begin = m_starts.begin() + m_first;
        end = m_starts.end() - 1;
    }
    if (begin == end || absolute >= *end)
        return -1;
    // The last entry starting at or before the offset; hidden entries share their start with the
    // next shown one, and upper_bound steps past them.
    const auto it = std::upper_bound(begin, end, absolute);
    return int(it - m_starts.begin()) - 1;
}

int GridAxis::lastVisible(int clientExtent) const
{
    const int index = indexAt(clientExtent - 1);
    if (index >= 0)
        return index;
    return count() - 1;
}

int GridAxis::lastFullyVisible(int clientExtent) const
{
    int last = -1;
    const int fixedEnd = fixedExtent();
    for (int i = lastVisible(clientExtent); i >= m_first && i >= 0; --i) {
        const int pos = fixedEnd + start(i) - start(m_first);
        if (pos + std::max(0, m_sizes[size_t(i)]) <= clientExtent) {
            last = i;
            break;
        }
    }
    return last;
}

int GridAxis::maxFirst(int clientExtent) const
{
    const int available = clientExtent - fixedExtent();
    const int end = total();
    // The smallest first index whose entries to the end fit into the space left.
    int low = m_fixed;
    int high = std::max(m_fixed, count() - 1);
    while (low < high) {
        const int mid = (low + high) / 2;
        const int needed = end - start(mid) - m_lineWidth;
        if (needed <= available)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

int GridAxis::nextShown(int index) const
{
    for (int i = index + 1; i < count(); ++i) {
        if (m_sizes[size_t(i)] >= 0)
            return i;
    }
    return -1;
}

int GridAxis::previousShown(int index) const
{
    for (int i = index - 1; i >= 0; --i) {
        if (m_sizes[size_t(i)] >= 0)
            return i;
    }
    return -1;
}

}  // namespace kelvara
