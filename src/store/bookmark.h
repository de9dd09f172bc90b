#pragma once

#include <QtGlobal>

#include <optional>

namespace kelvara {

// Identifies one stored record for as long as it exists, whatever the order or range.
class Bookmark
{
public:
    Bookmark() = default;
    explicit Bookmark(qint64 recordId) : m_id(recordId) { }

    // Any row id is a record's, 0 and negative ones too: the null bookmark is told apart by itself.
    bool isNull() const { return !m_id.has_value(); }
    qint64 recordId() const { return m_id.value_or(0); }

    friend bool operator==(Bookmark a, Bookmark b) { return a.m_id == b.m_id; }
    friend bool operator!=(Bookmark a, Bookmark b) { return a.m_id != b.m_id; }

private:
    std::optional<qint64> m_id;
};

}  // namespace kelvara
