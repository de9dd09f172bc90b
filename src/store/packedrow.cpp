#include "packedrow.h"

#include <cstring>
#include <limits>
#include <new>

namespace kelvara {

void PackedRow::allocate(int count, size_t byteCount)
{
    if (byteCount > std::numeric_limits<quint32>::max())
        throw std::bad_alloc();
    m_data.reset(new char[sizeof(Cell) * size_t(count) + byteCount]);
    m_count = count;
    m_used = 0;
    for (int i = 0; i < count; ++i)
        cells()[i].kind = Null;
}

QByteArrayView PackedRow::bytes(int column) const
{
    const Kind k = kind(column);
    if (k != Text && k != Bytes)
        return QByteArrayView();
    const Cell &cell = cells()[column];
    return QByteArrayView(byteArea() + cell.span.offset, qsizetype(cell.span.size));
}

qint64 PackedRow::toInteger(int column) const
{
    switch (kind(column)) {
    case Integer: return cells()[column].integer;
    case Real: return qint64(cells()[column].real);
    case Text: case Bytes: {
        // Like SQLite: the leading number of the text, 0 without one.
        const QByteArray text = bytes(column).toByteArray().trimmed();
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        return ok ? value : qint64(text.toDouble());
    }
    case Null: break;
    }
    return 0;
}

double PackedRow::toReal(int column) const
{
    switch (kind(column)) {
    case Integer: return double(cells()[column].integer);
    case Real: return cells()[column].real;
    case Text: case Bytes: return bytes(column).toByteArray().trimmed().toDouble();
    case Null: break;
    }
    return 0;
}

QString PackedRow::toText(int column) const
{
    switch (kind(column)) {
    case Integer: return QString::number(cells()[column].integer);
    case Real: return QString::number(cells()[column].real, 'g', 15);
    case Text: case Bytes: {
        // Most stored text is ASCII: widen it in one pass, and let the UTF-8 decoder take the rest.
        const QByteArrayView utf8 = bytes(column);
        QString text(utf8.size(), Qt::Uninitialized);
        char16_t *out = reinterpret_cast<char16_t *>(text.data());
        for (qsizetype i = 0; i < utf8.size(); ++i) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            if (c >= 0x80)
                return QString::fromUtf8(utf8);
            out[i] = c;
        }
        return text;
    }
    case Null: break;
    }
    return QString();
}

} // namespace kelvara
