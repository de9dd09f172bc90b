#include "store/table.h"

#include "store/error.h"
#include "store/field.h"
#include "store/recordbuffer.h"
#include "store/tablesql.h"

#include <algorithm>

namespace kelvara {

using namespace tablesql;

namespace {

// Full Unicode case folding, which QString::toCaseFolded (one character for one) is not:
// upper-casing first expands ß to SS, ligatures and the like, then folding lowers the result.
// Capital sharp s and dotted capital I are left over and are folded by hand.
QString caseless(const QString &text)
{
    QString folded = text.toUpper().toCaseFolded();
    folded.replace(QChar(0x00DF), QLatin1String("ss"));
    folded.replace(QChar(0x0130), QStringLiteral("i\u0307"));
    return folded;
}

// Letters without their accents: marks decomposed and dropped, and the letters drawn with a stroke
// taken as their plain ones, which no decomposition does.
QString accentless(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString plain;
    plain.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        switch (c.unicode()) {
        case 0x00D8: plain += QLatin1Char('O'); break;
        case 0x00F8: plain += QLatin1Char('o'); break;
        case 0x0110: plain += QLatin1Char('D'); break;
        case 0x0111: plain += QLatin1Char('d'); break;
        case 0x0141: plain += QLatin1Char('L'); break;
        case 0x0142: plain += QLatin1Char('l'); break;
        default:
            if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_Enclosing)
                plain += c;
        }
    }
    return plain;
}

// A text as locate compares it under the given flags; case first, as folding may add marks.
QString folded(const QString &text, int flags)
{
    QString result = flags & loCaseInsensitive ? caseless(text) : text;
    return flags & loAccentInsensitive ? accentless(result) : result;
}

// The key of a locate, folded once per statement.
struct MatchKey
{
    QString text;     // folded when the match ignores case
    QByteArray utf8;  // the same as UTF-8
};

}  // namespace

namespace tablesql {

// kelvara_match(value, key, flags): the comparison of locate, with Unicode case folding.
void matchFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_int(context, 0);
        return;
    }
    const int flags = sqlite3_value_int(argv[2]);
    const bool caseInsensitive = flags & loCaseInsensitive;
    const bool folding = flags & (loCaseInsensitive | loAccentInsensitive);
    const bool partial = flags & loPartialKey;
    auto *key = static_cast<MatchKey *>(sqlite3_get_auxdata(context, 1));
    if (!key) {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
        const QString text = QString::fromUtf8(bytes, sqlite3_value_bytes(argv[1]));
        auto *made = new MatchKey;
        made->text = folding ? folded(text, flags) : text;
        made->utf8 = made->text.toUtf8();
        sqlite3_set_auxdata(context, 1, made, [](void *p) { delete static_cast<MatchKey *>(p); });
        key = static_cast<MatchKey *>(sqlite3_get_auxdata(context, 1));
        if (!key) {
            sqlite3_result_error_nomem(context);
            return;
        }
    }
    const auto *data = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QByteArrayView value(data, sqlite3_value_bytes(argv[0]));
    const QByteArrayView wanted(key->utf8);
    if (partial ? value.size() < wanted.size() : value.size() != wanted.size()) {
        // Folding can change lengths, but only outside ASCII.
        if (!folding || std::all_of(value.begin(), value.end(), [](char c) { return uchar(c) < 0x80; })) {
            sqlite3_result_int(context, 0);
            return;
        }
    }
    bool ascii = true;
    if (folding) {
        // ASCII folds to its lower case and has no accents, so plain bytes compare without making
        // strings.
        bool match = true;
        for (qsizetype i = 0; i < value.size() && ascii; ++i) {
            auto c = uchar(value[i]);
            if (c >= 0x80)
                ascii = false;
            else if (caseInsensitive && c >= 'A' && c <= 'Z')
                c += 32;
            if (ascii && i < wanted.size() && c != uchar(wanted[i]))
                match = false;
        }
        if (ascii) {
            sqlite3_result_int(context,
                               match && (partial ? value.size() >= wanted.size() : value.size() == wanted.size()));
            return;
        }
        const QString text = folded(QString::fromUtf8(value), flags);
        sqlite3_result_int(context, partial ? text.startsWith(key->text) : text == key->text);
        return;
    }
    // UTF-8 keeps both equality and a prefix that ends on a character.
    sqlite3_result_int(context, partial ? value.startsWith(wanted) : value == wanted);
}

// kelvara_shown(value, size): a stored text as its field shows it and as a typed value of it is
// kept: bytes that are no UTF-8 read as the decoder reads them, a BLOB as the text of its bytes,
// and no more than `size` characters (0: all). Ranges compare this, so that values another
// program wrote are found by what the user sees.
void shownFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const int type = sqlite3_value_type(argv[0]);
    if (type != SQLITE_TEXT && type != SQLITE_BLOB) {
        sqlite3_result_value(context, argv[0]);
        return;
    }
    const int size = sqlite3_value_int(argv[1]);
    const void *raw
        = type == SQLITE_BLOB ? sqlite3_value_blob(argv[0]) : static_cast<const void *>(sqlite3_value_text(argv[0]));
    const QByteArrayView data(static_cast<const char *>(raw), sqlite3_value_bytes(argv[0]));
    const bool ascii = std::all_of(data.begin(), data.end(), [](char c) { return uchar(c) < 0x80; });
    // What this program stores is text within its size: it compares as it is.
    if (type == SQLITE_TEXT && ascii && (size <= 0 || data.size() <= size)) {
        sqlite3_result_value(context, argv[0]);
        return;
    }
    QByteArray utf8 = ascii ? data.toByteArray() : QString::fromUtf8(data).toUtf8();
    if (size > 0) {
        // Characters are counted as the fields count them: a lead byte starts one.
        int characters = 0;
        qsizetype end = 0;
        for (; end < utf8.size(); ++end) {
            if ((uchar(utf8.at(end)) & 0xC0) != 0x80 && characters++ == size)
                break;
        }
        utf8.truncate(end);
    }
    sqlite3_result_text(context, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

}  // namespace tablesql

// ---------------------------------------------------------------------------------------------
// Order and search

QList<IndexDef> Table::indexDefs() const
{
    QList<IndexDef> defs;
    for (const Field *field : m_fields) {
        if (!field->isBlobField())
            defs << IndexDef{field->fieldName(), field->fieldName()};
    }
    return defs;
}

QList<Field *> Table::parseFieldList(const QString &names, bool forIndex) const
{
    QList<Field *> result;
    const QStringList parts = names.split(QLatin1Char(';'));
    for (const QString &part : parts) {
        Field *field = findField(part.trimmed());
        if (forIndex && (!field || field->isBlobField()))
            throw Error(tr("No index for fields '%1'").arg(names));
        if (!field)
            throw Error(tr("Field '%1' not found").arg(part.trimmed()));
        result << field;
    }
    return result;
}

void Table::ensureIndex(const QList<Field *> &fields)
{
    if (!canModify())
        return;
    QStringList names, columns;
    for (const Field *field : fields) {
        names << field->fieldName();
        columns << sql::quoted(field->fieldName());
    }
    // ';' cannot occur in a listed field name, so every field list gets an index name of its own.
    const QString name = m_tableName + QStringLiteral("_by_") + names.join(QLatin1Char(';'));
    try {
        m_db.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                      .arg(sql::quoted(name), sql::quoted(m_tableName), columns.join(QStringLiteral(", "))));
    } catch (const Error &) {
        // Without the index the order still holds; only its speed suffers.
    }
}

void Table::setIndexFieldNames(const QString &names)
{
    const QString trimmed = names.trimmed();
    if (!active()) {
        m_indexFieldNames = trimmed;
        return;
    }
    const QList<Field *> fields = trimmed.isEmpty() ? QList<Field *>() : parseFieldList(trimmed, true);
    finishPendingEdit();
    if (!fields.isEmpty())
        ensureIndex(fields);
    reload(fields, Range(), true);
    m_indexFieldNames = trimmed;
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::DataSetChange);
}

bool Table::findKey(const QVariantList &keyValues)
{
    checkActive();
    finishPendingEdit();
    if (m_indexFields.isEmpty())
        throw Error(tr("No index currently active"));
    const int count = qMin(int(keyValues.size()), int(m_indexFields.size()));
    QVariantList binds;
    QStringList conditions;
    const QString where = rangeClause(m_indexFields, m_range, &binds);
    if (!where.isEmpty())
        conditions << where;
    for (int i = 0; i < count; ++i) {
        const Field *field = m_indexFields.at(i);
        conditions << sql::quoted(field->fieldName()) + QStringLiteral(" IS ?");
        binds << toSql(field, field->convert(keyValues.at(i)));
    }
    const QString query
        = QStringLiteral("SELECT %1 FROM %2%3")
              .arg(sql::quoted(kRowId), sql::quoted(m_tableName),
                   conditions.isEmpty() ? QString()
                                        : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND ")));
    const int position = firstPosition(query, binds);
    if (position < 0)
        return false;
    moveTo(position, false);
    return true;
}

bool Table::locate(const QString &keyFields, const QVariantList &keyValues, LocateOptions options)
{
    checkActive();
    finishPendingEdit();
    const QList<Field *> fields = parseFieldList(keyFields, false);
    if (fields.size() != keyValues.size())
        throw Error(tr("Locate needs one value for each of the fields '%1'").arg(keyFields));
    QVariantList binds;
    QStringList conditions;
    const QString where = rangeClause(m_indexFields, m_range, &binds);
    if (!where.isEmpty())
        conditions << where;
    for (int i = 0; i < fields.size(); ++i) {
        const Field *field = fields.at(i);
        const QVariant &value = keyValues.at(i);
        if (field->keepsBytesApart())
            throw Error(tr("Cannot search the field '%1'").arg(field->fieldName()));
        const bool textual = field->isStringField() || isMemoType(field->dataType());
        if (textual && options != LocateOptions() && value.isValid() && !value.isNull()) {
            conditions << QStringLiteral("kelvara_match(%1, ?, ?)").arg(sql::quoted(field->fieldName()));
            binds << value.toString() << int(options);
        } else {
            conditions << sql::quoted(field->fieldName()) + QStringLiteral(" IS ?");
            binds << toSql(field, field->convert(value));
        }
    }
    const int position = firstPosition(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3")
            .arg(sql::quoted(kRowId), sql::quoted(m_tableName), conditions.join(QStringLiteral(" AND "))),
        binds);
    if (position < 0)
        return false;
    moveTo(position, false);
    return true;
}

int Table::firstPosition(const QString &sql, const QVariantList &binds) const
{
    // While the sequence is the order's sort, the first match in that sort is the earliest one,
    // and SQLite finds it along the order's index without reading the other matches.
    if (m_inSortOrder) {
        sql::Statement first = m_db.prepare(sql + orderClause(m_indexFields) + QStringLiteral(" LIMIT 1"));
        for (int i = 0; i < binds.size(); ++i)
            first.bind(i + 1, binds.at(i));
        if (!first.step())
            return -1;
        // A record another program added since is not in the sequence: look through them all.
        if (const int position = positionOf(first.int64(0)); position >= 0)
            return position;
    }
    // Records posted since the last reload keep their place rather than their sort position,
    // so the first match is the one earliest in the sequence, not the first SQL returns.
    sql::Statement stmt = m_db.prepare(sql);
    for (int i = 0; i < binds.size(); ++i)
        stmt.bind(i + 1, binds.at(i));
    int best = -1;
    while (stmt.step()) {
        const int position = positionOf(stmt.int64(0));
        if (position >= 0 && (best < 0 || position < best))
            best = position;
    }
    return best;
}

void Table::beginKeyEdit(bool start)
{
    checkActive();
    finishPendingEdit();
    auto buffer = std::make_shared<RecordBuffer>();
    buffer->values.resize(qsizetype(m_ownedFields.size()));
    buffer->assigned.fill(false, qsizetype(m_ownedFields.size()));
    (start ? m_rangeStart : m_rangeEnd) = buffer;
    m_keyBuffer = buffer;
    if (m_state != dsSetKey) {
        m_state = dsSetKey;
        dataEvent(DataEvent::UpdateState);
    }
}

void Table::setRangeStart()
{
    beginKeyEdit(true);
}

void Table::setRangeEnd()
{
    beginKeyEdit(false);
}

void Table::applyRange()
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert)
        finishPendingEdit();
    if (m_state == dsSetKey) {
        m_keyBuffer.reset();
        m_state = dsBrowse;
        dataEvent(DataEvent::UpdateState);
    }
    if (m_indexFields.isEmpty())
        throw Error(tr("No index currently active"));
    auto leading = [this](const std::shared_ptr<RecordBuffer> &buffer) {
        QVariantList values;
        if (!buffer)
            return values;
        for (const Field *field : std::as_const(m_indexFields)) {
            const int column = field->fieldNo() - 1;
            if (!buffer->assigned.value(column))
                break;
            values << buffer->values.at(column);
        }
        return values;
    };
    Range range;
    range.active = true;
    range.start = leading(m_rangeStart);
    range.end = leading(m_rangeEnd);
    reload(m_indexFields, range, false);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterScroll();
}

void Table::cancelRange()
{
    checkActive();
    finishPendingEdit();
    m_rangeStart.reset();
    m_rangeEnd.reset();
    if (!m_range.active)
        return;
    reload(m_indexFields, Range(), true);
    dataEvent(DataEvent::DataSetChange);
}

sql::Statement Table::selectShown(const QString &columns, const QString &groupBy, ShownOrder order) const
{
    checkActive();
    QVariantList binds;
    const QString where = rangeClause(m_indexFields, m_range, &binds);
    QString query = QStringLiteral("SELECT %1 FROM %2").arg(columns, sql::quoted(m_tableName));
    if (!where.isEmpty())
        query += QStringLiteral(" WHERE ") + where;
    if (!groupBy.isEmpty())
        query += QStringLiteral(" GROUP BY ") + groupBy;
    if (order == ShownOrder::AsShown)
        query += orderClause(m_indexFields);
    sql::Statement stmt = m_db.prepare(query);
    for (int i = 0; i < binds.size(); ++i)
        stmt.bind(i + 1, binds.at(i));
    return stmt;
}

sql::Statement Table::selectAll(const QString &columns, ShownOrder order) const
{
    checkActive();
    QString query = QStringLiteral("SELECT %1 FROM %2").arg(columns, sql::quoted(m_tableName));
    if (order == ShownOrder::AsShown)
        query += orderClause(m_indexFields);
    return m_db.prepare(query);
}

QString Table::orderClause(const QList<Field *> &order) const
{
    QStringList terms;
    for (const Field *field : order)
        terms << sql::quoted(field->fieldName());
    terms << sql::quoted(kRowId);
    return QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
}

QVariant Table::toSql(const Field *field, const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (field->dataType()) {
    case ftDate: return value.toDate().toString(Qt::ISODate);
    case ftTime: return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case ftDateTime: return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case ftBoolean: return value.toBool() ? 1 : 0;
    default: return value;
    }
}

QString Table::rangeClause(const QList<Field *> &order, const Range &range, QVariantList *binds, bool withFind) const
{
    QStringList conditions;
    auto bound = [&](const QVariantList &values, const QString &op) {
        if (values.isEmpty())
            return;
        QStringList columns, marks;
        for (int i = 0; i < values.size() && i < order.size(); ++i) {
            const Field *field = order.at(i);
            // A text is compared as it is shown, which is also how a typed bound is kept.
            columns << (field->isStringField() ? QStringLiteral("kelvara_shown(%1, %2)")
                                                     .arg(sql::quoted(field->fieldName()))
                                                     .arg(field->size())
                                               : sql::quoted(field->fieldName()));
            marks << QStringLiteral("?");
            binds->append(toSql(field, values.at(i)));
        }
        conditions << QStringLiteral("(%1) %2 (%3)")
                          .arg(columns.join(QStringLiteral(", ")), op, marks.join(QStringLiteral(", ")));
    };
    if (range.active) {
        bound(range.start, QStringLiteral(">="));
        bound(range.end, QStringLiteral("<="));
    }
    // The find narrows whatever the range shows, for every reader of the shown records.
    if (const QString find = withFind ? findClause(binds) : QString(); !find.isEmpty())
        conditions << find;
    return conditions.join(QStringLiteral(" AND "));
}

}  // namespace kelvara
