#include "store/packedrow.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvara {

void PackedRow::allocate(int count, size_t byteCount)
{
    if (byteCount > std::numeric_limits<quint32>::max() - size_t(count))
        throw std::bad_alloc();
    const qsizetype cellUnits = qsizetype(sizeof(Cell) / sizeof(char16_t)) * count;
    const qsizetype textUnits = qsizetype(byteCount) + count;
    const qsizetype byteUnits = qsizetype((byteCount + 1) / 2);
    const qsizetype units = cellUnits + textUnits + byteUnits;
    // A walk reads a row for each one the cache lets go, and the table hands such a row on to
    // be filled anew: its block serves again, which saves an allocation and a release per row.
    if (!m_block.d || m_block.isShared() || m_block.constAllocatedCapacity() < units) {
        // Rows differ a little in size: some room to spare lets a block serve again.
        auto [header, data] = QTypedArrayData<char16_t>::allocate(units + units / 4 + 32);
        if (!header)
            throw std::bad_alloc();
        m_block = QArrayDataPointer<char16_t>(header, data, 0);
    }
    m_count = count;
    m_textStart = cellUnits;
    m_byteStart = cellUnits + textUnits;
    m_used = 0;
    for (int i = 0; i < count; ++i) {
        cells()[i].kind = Null;
        cells()[i].utf16Size = kNotDecoded;
    }
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

}  // namespace

qint64 PackedRow::toInteger(int column) const
{
    switch (kind(column)) {
    case Integer: return cells()[column].integer;
    case Real: return clampedInteger(cells()[column].real);
    case Text:
    case Bytes: {
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
    case Text:
    case Bytes: {
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
    case Text:
    case Bytes: {
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
    case Text:
    case Bytes: return bytes(column).toByteArray().trimmed().toDouble();
    case Null: break;
    }
    return 0;
}

namespace {

// Widens ASCII text to UTF-16; false, with `out` partly written, when a byte is not ASCII.
bool widenAscii(const char *in, qsizetype size, char16_t *out)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(chunk))
            return false;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(chunk, zero));
    }
    if (i + 8 <= size) {
        const __m128i chunk = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(chunk))
            return false;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(chunk, zero));
        i += 8;
    }
#endif
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // Short texts are the common case: four characters at once, then one at a time.
    if (i + 4 <= size) {
        quint32 word;
        std::memcpy(&word, in + i, 4);
        if (word & 0x80808080u)
            return false;
        quint64 wide = word;
        wide = (wide | (wide << 16)) & Q_UINT64_C(0x0000ffff0000ffff);
        wide = (wide | (wide << 8)) & Q_UINT64_C(0x00ff00ff00ff00ff);
        std::memcpy(out + i, &wide, 8);
        i += 4;
    }
#endif
    for (; i < size; ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c >= 0x80)
            return false;
        out[i] = c;
    }
    return true;
}

}  // namespace

QString PackedRow::toText(int column) const
{
    switch (kind(column)) {
    case Integer: return QString::number(cells()[column].integer);
    case Real: return QString::number(cells()[column].real, 'g', 15);
    case Text: {
        Cell &cell = cells()[column];
        char16_t *text = textArea() + cell.span.offset + column;
        if (cell.utf16Size == kNotDecoded) {
            // Most stored text is ASCII: widen it, and let the UTF-8 decoder take the rest.
            const char *utf8 = byteArea() + cell.span.offset;
            qsizetype size = cell.span.size;
            if (!widenAscii(utf8, size, text)) {
                const QString decoded = QString::fromUtf8(utf8, size);
                size = decoded.size();
                std::memcpy(text, decoded.utf16(), size_t(size) * sizeof(char16_t));
            }
            text[size] = u'\0';
            cell.utf16Size = quint32(size);
        }
        m_block.d->ref();
        return QString(QString::DataPointer(m_block.d, text, cell.utf16Size));
    }
    case Bytes: return QString::fromUtf8(bytes(column));
    case Null: break;
    }
    return QString();
}

void PackedRow::appendText(int column, QString &out) const
{
    if (kind(column) != Text) {
        out += toText(column);
        return;
    }
    const Cell &cell = cells()[column];
    if (cell.utf16Size != kNotDecoded) {
        out.append(reinterpret_cast<const QChar *>(textArea() + cell.span.offset + column), cell.utf16Size);
        return;
    }
    const char *utf8 = byteArea() + cell.span.offset;
    const qsizetype size = cell.span.size;
    const qsizetype start = out.size();
    out.resize(start + size);
    if (!widenAscii(utf8, size, reinterpret_cast<char16_t *>(out.data()) + start)) {
        out.resize(start);
        out += QString::fromUtf8(utf8, size);
    }
}

}  // namespace kelvara
