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
//
// The block is a string data block of Qt's own: a text value is decoded once, into room kept
// for it in the block, and handed out as a QString that shares the block instead of copying it.
// Such a string keeps the block alive; it never sees its neighbours, and once it is the block's
// only owner it may grow over them, as no one else reads them any more.
class PackedRow
{
public:
    enum Kind : quint8 { Null, Integer, Real, Text, Bytes };

    PackedRow() = default;
    PackedRow(PackedRow &&) noexcept = default;
    PackedRow &operator=(PackedRow &&) noexcept = default;

    // Makes room for `count` values and `byteCount` bytes of text and blobs; then set each value.
    // The row's block is used again when it is large enough and no string shares it.
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
            std::memcpy(byteArea() + m_used, data, size);
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
    // The same text appended to `out`, with no string of its own: an export of every record
    // would otherwise make and drop millions of them.
    void appendText(int column, QString &out) const;
    QByteArrayView bytes(int column) const;  // text (as UTF-8) and blobs; empty for the others

private:
    static constexpr quint32 kNotDecoded = 0xffffffff;

    struct Cell
    {
        union
        {
            qint64 integer;
            double real;
            struct
            {
                quint32 offset;  // in the byte area; the text's UTF-16 room is at offset + column
                quint32 size;
            } span;
        };
        Kind kind;
        quint32 utf16Size;  // of decoded text; kNotDecoded until then
    };
    static_assert(sizeof(Cell) % sizeof(char16_t) == 0);

    // The block, in UTF-16 units: the cells, the room for decoded text (each text's bytes and
    // a terminating zero, as UTF-16 is never longer than UTF-8 in units), then the bytes.
    Cell *cells() const { return reinterpret_cast<Cell *>(m_block.ptr); }
    char16_t *textArea() const { return m_block.ptr + m_textStart; }
    char *byteArea() const { return reinterpret_cast<char *>(m_block.ptr + m_byteStart); }

    QArrayDataPointer<char16_t> m_block;
    int m_count = 0;
    qsizetype m_textStart = 0;
    qsizetype m_byteStart = 0;
    size_t m_used = 0;
};

}  // namespace kelvara
