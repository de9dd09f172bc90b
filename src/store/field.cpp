#include "store/field.h"

#include "store/error.h"
#include "store/recordbuffer.h"
#include "store/table.h"
#include "store/tablefiles.h"
#include "store/textconv.h"

#include <QFile>
#include <QIODevice>
#include <QLocale>

#include <cmath>
#include <limits>

namespace kelvara {

namespace {

QString tr(const char *text)
{
    return QString::fromLatin1(text);
}

// Integer text as the classic conversion reads it: leading blanks, an optional sign, decimal
// digits or '$' and hex digits, nothing after them.
std::optional<qint64> parseInteger(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < text.size() && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    }
    const QString digits = text.mid(i);
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits) {
        if (base == 10 ? !(c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                       : !std::isxdigit(c.unicode() < 128 ? c.toLatin1() : 'x'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok, base);
    if (!ok || value > std::numeric_limits<qint32>::max() + qint64(1))
        return std::nullopt;
    const qint64 result = negative ? -value : value;
    if (result > std::numeric_limits<qint32>::max() || result < std::numeric_limits<qint32>::min())
        return std::nullopt;
    return result;
}

// Keeps the first `size` characters; a character outside the basic plane is one character,
// and is never cut in half.
void truncateToCharacters(QString &text, int size)
{
    if (text.size() <= size)
        return;
    qsizetype i = 0;
    for (int characters = 0; i < text.size() && characters < size; ++characters)
        i += (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
    text.truncate(i);
}

}  // namespace

Field::Field(Table *table, const FieldDef &def, int fieldNo) : m_table(table), m_def(def), m_fieldNo(fieldNo)
{
    if (isNumericType(def.type))
        m_alignment = taRightJustify;
}

int Field::index() const
{
    return int(m_table->m_fields.indexOf(const_cast<Field *>(this)));
}

void Field::setIndex(int index)
{
    QList<Field *> &fields = m_table->m_fields;
    index = qBound(0, index, int(fields.size()) - 1);
    const int current = this->index();
    if (current == index || current < 0)
        return;
    fields.move(current, index);
    m_table->layoutChanged();
}

QString Field::displayLabel() const
{
    return m_def.displayLabel.isEmpty() ? m_def.name : m_def.displayLabel;
}

void Field::setDisplayLabel(const QString &label)
{
    if (label == m_def.displayLabel)
        return;
    m_def.displayLabel = label;
    m_table->layoutChanged();
}

int Field::displayWidth() const
{
    if (m_def.displayWidth > 0)
        return m_def.displayWidth;
    switch (m_def.type) {
    case ftString: return m_def.size;
    case ftSmallint: return 6;
    case ftInteger:
    case ftAutoInc: return 11;
    case ftWord: return 5;
    case ftBoolean: return 5;
    case ftDate: return 10;
    case ftTime: return 8;
    case ftDateTime: return 19;
    case ftFloat:
    case ftCurrency:
    case ftBCD: return 10;
    default: return 10;
    }
}

void Field::setDisplayWidth(int width)
{
    if (width == m_def.displayWidth)
        return;
    m_def.displayWidth = width;
    m_table->layoutChanged();
}

void Field::setDisplayFormat(const QString &format)
{
    if (format == m_def.displayFormat)
        return;
    m_def.displayFormat = format;
    m_table->layoutChanged();
}

void Field::setEditMask(const QString &mask)
{
    m_def.editMask = mask;
}

void Field::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    m_table->layoutChanged();
}

void Field::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
}

bool Field::canModify() const
{
    return !m_readOnly && m_table->canModify();
}

void Field::setAlignment(Alignment alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    m_table->layoutChanged();
}

QVariant Field::stored() const
{
    return m_table->fieldValue(this);
}

bool Field::isNull() const
{
    return m_table->fieldIsNull(this);
}

QVariant Field::value() const
{
    if (keepsBytesApart())
        return isNull() ? QVariant() : QVariant(asBytes());
    return stored();
}

qint64 Field::minValue() const
{
    switch (m_def.type) {
    case ftSmallint: return std::numeric_limits<qint16>::min();
    case ftWord: return 0;
    default: return std::numeric_limits<qint32>::min();
    }
}

qint64 Field::maxValue() const
{
    switch (m_def.type) {
    case ftSmallint: return std::numeric_limits<qint16>::max();
    case ftWord: return std::numeric_limits<quint16>::max();
    default: return std::numeric_limits<qint32>::max();
    }
}

void Field::checkRange(double value) const
{
    // Written so that NaN, which compares false with everything, is refused too.
    if (!(value >= double(minValue()) && value <= double(maxValue())))
        throw Error(tr("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                        .arg(generalNumber(value), displayName(), generalNumber(double(minValue())),
                             generalNumber(double(maxValue()))));
}

std::optional<int> Field::textToInteger(const QString &text) const
{
    if (text.isEmpty())
        return std::nullopt;
    const auto parsed = parseInteger(text);
    if (!parsed)
        throw Error(tr("'%1' is not a valid integer value for field '%2'").arg(text, displayName()));
    checkRange(double(*parsed));
    return int(*parsed);
}

QVariant Field::convert(const QVariant &in) const
{
    if (!in.isValid() || in.isNull())
        return QVariant();
    const int typeId = in.typeId();
    const bool isText = typeId == QMetaType::QString;
    switch (m_def.type) {
    case ftString: {
        QString text = in.toString();
        if (m_def.size > 0)
            truncateToCharacters(text, m_def.size);
        return text;
    }
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc: {
        if (isText) {
            const auto v = textToInteger(in.toString());
            return v ? QVariant(*v) : QVariant();
        }
        bool ok = false;
        const double d = in.toDouble(&ok);
        if (!ok)
            throw Error(tr("'%1' is not a valid integer value for field '%2'").arg(in.toString(), displayName()));
        const double rounded = std::nearbyint(d);
        checkRange(rounded);
        return int(rounded);
    }
    case ftFloat:
    case ftCurrency:
    case ftBCD: {
        if (isText) {
            const QString text = in.toString().trimmed();
            if (text.isEmpty())
                return QVariant();
            bool ok = false;
            double d = QLocale().toDouble(text, &ok);
            if (!ok)
                d = text.toDouble(&ok);
            if (!ok)
                throw Error(
                    tr("'%1' is not a valid floating point value for field '%2'").arg(in.toString(), displayName()));
            return d;
        }
        return in.toDouble();
    }
    case ftBoolean: {
        if (isText) {
            const QString text = in.toString().trimmed();
            if (text.isEmpty())
                return QVariant();
            if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
                || text.compare(QLatin1String("t"), Qt::CaseInsensitive) == 0)
                return true;
            if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0
                || text.compare(QLatin1String("f"), Qt::CaseInsensitive) == 0)
                return false;
            throw Error(tr("'%1' is not a valid boolean value for field '%2'").arg(text, displayName()));
        }
        return in.toBool();
    }
    case ftDate: {
        if (typeId == QMetaType::QDate)
            return in;
        if (typeId == QMetaType::QDateTime)
            return in.toDateTime().date();
        const QString text = in.toString();
        if (text.trimmed().isEmpty())
            return QVariant();
        const auto date = textToDate(text);
        if (!date)
            throw Error(tr("'%1' is not a valid date").arg(text));
        return *date;
    }
    case ftTime: {
        if (typeId == QMetaType::QTime)
            return in;
        if (typeId == QMetaType::QDateTime)
            return in.toDateTime().time();
        const QString text = in.toString();
        if (text.trimmed().isEmpty())
            return QVariant();
        const auto time = textToTime(text);
        if (!time)
            throw Error(tr("'%1' is not a valid time").arg(text));
        return *time;
    }
    case ftDateTime: {
        if (typeId == QMetaType::QDateTime)
            return in;
        if (typeId == QMetaType::QDate)
            return QDateTime(in.toDate(), QTime(0, 0));
        const QString text = in.toString();
        if (text.trimmed().isEmpty())
            return QVariant();
        const auto dateTime = textToDateTime(text);
        if (!dateTime)
            throw Error(tr("'%1' is not a valid date and time").arg(text));
        return *dateTime;
    }
    case ftMemo:
    case ftFmtMemo: {
        // An empty memo holds nothing, as an empty picture does: it reads as null.
        const QString text = typeId == QMetaType::QByteArray ? QString::fromUtf8(in.toByteArray()) : in.toString();
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    default:
        if (keepsBytesApart())
            return typeId == QMetaType::QString ? in.toString().toUtf8() : in.toByteArray();
        throw Error(tr("Field '%1' is of an unsupported type").arg(m_def.name));
    }
}

void Field::write(const QVariant &converted)
{
    m_table->setFieldValue(this, converted);
}

void Field::setValue(const QVariant &value)
{
    write(convert(value));
}

QString Field::blobDescription() const
{
    const QString text = QLatin1Char('(') + fieldTypeName(m_def.type) + QLatin1Char(')');
    return isNull() ? text : text.toUpper();
}

QString Field::formatNumber(double value) const
{
    return formatFloat(m_def.displayFormat, value);
}

QString Field::asString() const
{
    if (m_def.type == ftString || isMemoType(m_def.type))
        return m_table->fieldString(this);
    // A stored value the field cannot hold is shown as it is, for the user to see and replace.
    std::optional<QString> invalid;
    const QVariant v = m_table->fieldValue(this, &invalid);
    return invalid ? *invalid : textOf(v);
}

QString Field::textOf(const QVariant &v) const
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (m_def.type) {
    case ftDate: return dateToText(v.toDate());
    case ftTime: return timeToText(v.toTime());
    case ftDateTime: return dateTimeToText(v.toDateTime());
    case ftBoolean: return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case ftFloat:
    case ftCurrency:
    case ftBCD: return formatFloat(QString(), v.toDouble());
    default:
        if (keepsBytesApart())
            return QString::fromUtf8(asBytes());
        if (v.typeId() == QMetaType::QString)
            return *static_cast<const QString *>(v.constData());
        return v.toString();
    }
}

void Field::setAsString(const QString &text)
{
    setValue(text);
}

QString Field::displayText() const
{
    if (m_def.type == ftString)
        return m_table->fieldString(this);
    if (m_def.type == ftDate)
        return m_table->dateText(this);
    if (isBlobField())
        return blobDescription();
    // Painting relies on this not failing: a value the field cannot hold is shown as stored.
    std::optional<QString> invalid;
    const QVariant v = m_table->fieldValue(this, &invalid);
    if (invalid)
        return *invalid;
    if (!m_def.displayFormat.isEmpty() && isNumericField() && v.isValid() && !v.isNull()) {
        // Integer fields hold an int: read it as one, which a general conversion is slow at.
        const double number
            = v.typeId() == QMetaType::Int ? double(*static_cast<const int *>(v.constData())) : v.toDouble();
        return formatNumber(number);
    }
    return textOf(v);
}

void Field::appendDisplayText(QString &out) const
{
    if (m_def.type == ftString)
        m_table->appendFieldString(this, out);
    else
        out += displayText();
}

bool Field::asBoolean() const
{
    return !isNull() && stored().toBool();
}

void Field::setAsBoolean(bool value)
{
    setValue(value);
}

int Field::asInteger() const
{
    return isNull() ? 0 : stored().toInt();
}

void Field::setAsInteger(int value)
{
    setValue(value);
}

double Field::asFloat() const
{
    return isNull() ? 0.0 : stored().toDouble();
}

void Field::setAsFloat(double value)
{
    setValue(value);
}

QDateTime Field::asDateTime() const
{
    if (isNull())
        return QDateTime();
    const QVariant v = stored();
    switch (m_def.type) {
    case ftDate: return QDateTime(v.toDate(), QTime(0, 0));
    case ftTime: return QDateTime(QDate(1899, 12, 30), v.toTime());
    default: return v.toDateTime();
    }
}

void Field::setAsDateTime(const QDateTime &value)
{
    setValue(value.isValid() ? QVariant(value) : QVariant());
}

void Field::clear()
{
    write(QVariant());
}

qint64 Field::blobSize() const
{
    if (isNull())
        return 0;
    if (keepsBytesApart())
        return stored().toLongLong();
    if (isBlobField())
        return stored().toString().toUtf8().size();
    return asString().toUtf8().size();
}

QByteArray Field::asBytes() const
{
    if (!keepsBytesApart())
        return asString().toUtf8();
    if (isNull())
        return QByteArray();
    return m_table->readBlob(this);
}

qint64 Field::blobRevision() const
{
    if (!keepsBytesApart())
        return isNull() ? 0 : -1;
    if (isNull())
        return m_table->activeBuffer().pendingBlobs.contains(m_fieldNo - 1) ? -1 : 0;
    return m_table->blobRevision(this);
}

void Field::setAsBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        clear();
    else
        setValue(keepsBytesApart() ? QVariant(bytes) : QVariant(QString::fromUtf8(bytes)));
}

QByteArray readFileBytes(const QString &fileName)
{
    tablefiles::refuse(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file %1. %2").arg(fileName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Error(QStringLiteral("Cannot read file %1. %2").arg(fileName, file.errorString()));
    return bytes;
}

void Field::loadFromFile(const QString &fileName)
{
    setAsBytes(readFileBytes(fileName));
}

void Field::loadFromStream(QIODevice &device)
{
    setAsBytes(device.readAll());
}

void Field::saveToStream(QIODevice &device) const
{
    const QByteArray bytes = asBytes();
    if (device.write(bytes) != bytes.size())
        throw Error(device.errorString());
}

int variantToInteger(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        throw Error(QStringLiteral("Could not convert variant of type (Null) into type (Integer)"));
    bool ok = false;
    const int result = value.toInt(&ok);
    if (!ok)
        throw Error(QStringLiteral("Could not convert variant of type (%1) into type (Integer)")
                        .arg(QString::fromLatin1(value.typeName())));
    return result;
}

}  // namespace kelvara
