#pragma once

#include <QtGlobal>

namespace kelvara {

// Identifies one stored record for as long as it exists, whatever the order or range.
class Bookmark
{
public:
    Bookmark() = default;
    explicit Bookmark(qint64 recordId) : m_id(recordId) {}

    bool isNull() const { return m_id == 0; }
    qint64 recordId() const { return m_id; }

    friend bool operator==(Bookmark a, Bookmark b) { return a.m_id == b.m_id; }
    friend bool operator!=(Bookmark a, Bookmark b) { return a.m_id != b.m_id; }

private:
    qint64 m_id = 0;
};

} // namespace kelvara
