#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstring>
#include <memory>
#include <optional>

namespace kelvara {

// The values of one stored record as the file gave them, in a single block: numbers in place,
// text and bytes behind them. Fields decode a value only when it is read, so walking a big
// table costs one allocation per record instead of one per value.
class PackedRow
{
public:
    enum Kind : quint8 { Null, Integer, Real, Text, Bytes };

    PackedRow() = default;
    PackedRow(PackedRow &&) noexcept = default;
    PackedRow &operator=(PackedRow &&) noexcept = default;

    // Makes room for `count` values and `byteCount` bytes of text and blobs; then set each value.
    void allocate(int count, size_t byteCount);
    void setInteger(int column, qint64 value)
    {
        Cell &cell = cells()[column];
        cell.kind = Integer;
        cell.integer = value;
    }
    void setReal(int column, double value)
    {
        Cell &cell = cells()[column];
        cell.kind = Real;
        cell.real = value;
    }
    void setBytes(int column, Kind kind, const char *data, size_t size)
    {
        Cell &cell = cells()[column];
        cell.kind = kind;
        cell.span.offset = quint32(m_used);
        cell.span.size = quint32(size);
        if (size > 0)
            std::memcpy(m_data.get() + sizeof(Cell) * size_t(m_count) + m_used, data, size);
        m_used += size;
    }

    bool isEmpty() const { return m_count == 0; }
    int count() const { return m_count; }
    Kind kind(int column) const { return column >= 0 && column < m_count ? cells()[column].kind : Null; }

    // Conversions as SQLite makes them when a value of one kind is read as another; reals
    // beyond the 64-bit range are clamped to it.
    qint64 toInteger(int column) const;
    double toReal(int column) const;
    // The value when it is exactly an integer: an integer, a whole real within the 64-bit range,
    // or text holding one of these; nullopt for anything else, null included.
    std::optional<qint64> exactInteger(int column) const;
    // The value when it is a number or text holding a finite one; nullopt otherwise.
    std::optional<double> exactReal(int column) const;
    QString toText(int column) const;
    QByteArrayView bytes(int column) const;    // text and blobs; empty for the others

private:
    struct Cell
    {
        union {
            qint64 integer;
            double real;
            struct
            {
                quint32 offset;
                quint32 size;
            } span;
        };
        Kind kind;
    };
    Cell *cells() const { return reinterpret_cast<Cell *>(m_data.get()); }
    const char *byteArea() const { return m_data.get() + sizeof(Cell) * size_t(m_count); }

    std::unique_ptr<char[]> m_data;
    int m_count = 0;
    size_t m_used = 0;
};

} // namespace kelvara
