#include "packedrow.h"

#include <cmath>
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

namespace {

// 2^63: the first double above the 64-bit range; -2^63 is its least member.
constexpr double kIntegerLimit = 9223372036854775808.0;

// Like SQLite: reals beyond the range give its ends and NaN gives 0; casting them is undefined.
qint64 clampedInteger(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= kIntegerLimit)
        return std::numeric_limits<qint64>::max();
    if (value < -kIntegerLimit)
        return std::numeric_limits<qint64>::min();
    return qint64(value);
}

std::optional<qint64> wholeInteger(double value)
{
    if (!std::isfinite(value) || value != std::trunc(value) || value >= kIntegerLimit || value < -kIntegerLimit)
        return std::nullopt;
    return qint64(value);
}

} // namespace

qint64 PackedRow::toInteger(int column) const
{
    switch (kind(column)) {
    case Integer: return cells()[column].integer;
    case Real: return clampedInteger(cells()[column].real);
    case Text: case Bytes: {
        // Like SQLite: the leading number of the text, 0 without one.
        const QByteArray text = bytes(column).toByteArray().trimmed();
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        return ok ? value : clampedInteger(text.toDouble());
    }
    case Null: break;
    }
    return 0;
}

std::optional<qint64> PackedRow::exactInteger(int column) const
{
    switch (kind(column)) {
    case Integer: return cells()[column].integer;
    case Real: return wholeInteger(cells()[column].real);
    case Text: case Bytes: {
        const QByteArray text = bytes(column).toByteArray().trimmed();
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (ok)
            return value;
        const double real = text.toDouble(&ok);
        return ok ? wholeInteger(real) : std::nullopt;
    }
    case Null: break;
    }
    return std::nullopt;
}

std::optional<double> PackedRow::exactReal(int column) const
{
    switch (kind(column)) {
    case Integer: return double(cells()[column].integer);
    case Real: return cells()[column].real;
    case Text: case Bytes: {
        bool ok = false;
        const double value = bytes(column).toByteArray().trimmed().toDouble(&ok);
        return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    }
    case Null: break;
    }
    return std::nullopt;
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
