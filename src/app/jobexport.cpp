#include "app/jobexport.h"

#include "platform/textfile.h"
#include "store/error.h"
#include "store/field.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QUtf8StringView>

#include <cmath>
#include <optional>
#include <vector>

namespace kelvara::jobexport {

namespace {

// How a field's values are written.
enum class Kind { Text, Date, Integer, Real, Boolean };

struct Output
{
    Kind kind = Kind::Text;
    qint64 min = 0, max = 0;  // of an integer field
};

Kind kindOf(const Field &field)
{
    switch (field.dataType()) {
    case ftDate: return Kind::Date;
    case ftBoolean: return Kind::Boolean;
    case ftFloat:
    case ftCurrency:
    case ftBCD: return Kind::Real;
    default: return field.isNumericField() ? Kind::Integer : Kind::Text;
    }
}

bool looksLikeFormula(char first)
{
    return first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' || first == '\r';
}

// Appends a field: quoted when it holds a separator, a quote or a line end, guarded when it is
// text that could be read as a formula.
void appendField(QByteArray &line, QByteArrayView value, bool guard)
{
    bool quote = false;
    for (const char c : value) {
        if (c == ',' || c == '"' || c == '\n' || c == '\r') {
            quote = true;
            break;
        }
    }
    const bool prefix = guard && !value.isEmpty() && looksLikeFormula(value.front());
    if (!quote) {
        if (prefix)
            line += '\'';
        line += value;
        return;
    }
    line += '"';
    if (prefix)
        line += '\'';
    for (const char c : value) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

// Stored text as the sheet shows it: bytes that are no UTF-8 read as the decoder reads them.
void appendText(QByteArray &line, QByteArrayView bytes)
{
    if (QUtf8StringView(bytes.data(), bytes.size()).isValidUtf8())
        appendField(line, bytes, true);
    else
        appendField(line, QString::fromUtf8(bytes).toUtf8(), true);
}

// Any stored value as the text the sheet shows for it.
void appendStoredText(QByteArray &line, const sql::Statement &row, int column)
{
    switch (row.type(column)) {
    case sql::Statement::Type::Null: break;
    case sql::Statement::Type::Integer: appendField(line, QByteArray::number(row.int64(column)), true); break;
    case sql::Statement::Type::Real: appendField(line, QByteArray::number(row.real(column), 'g', 15), true); break;
    case sql::Statement::Type::Text:
    case sql::Statement::Type::Blob: appendText(line, row.bytes(column)); break;
    }
}

std::optional<qint64> wholeNumber(double value)
{
    if (!std::isfinite(value) || value != std::trunc(value) || std::fabs(value) > 9.0e15)
        return std::nullopt;
    return qint64(value);
}

// A stored value read as an integer the way the store reads one; none where it is no integer.
std::optional<qint64> storedInteger(const sql::Statement &row, int column)
{
    switch (row.type(column)) {
    case sql::Statement::Type::Integer: return row.int64(column);
    case sql::Statement::Type::Real: return wholeNumber(row.real(column));
    case sql::Statement::Type::Text:
    case sql::Statement::Type::Blob: {
        const QByteArray text = row.bytes(column).toByteArray().trimmed();
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (ok)
            return value;
        const double real = text.toDouble(&ok);
        return ok ? wholeNumber(real) : std::nullopt;
    }
    case sql::Statement::Type::Null: break;
    }
    return std::nullopt;
}

std::optional<double> storedReal(const sql::Statement &row, int column)
{
    switch (row.type(column)) {
    case sql::Statement::Type::Integer: return double(row.int64(column));
    case sql::Statement::Type::Real: return row.real(column);
    case sql::Statement::Type::Text:
    case sql::Statement::Type::Blob: {
        bool ok = false;
        const double value = row.bytes(column).toByteArray().trimmed().toDouble(&ok);
        return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    }
    case sql::Statement::Type::Null: break;
    }
    return std::nullopt;
}

// A stored date as ISO 8601; nothing where the sheet shows none.
void appendDate(QByteArray &line, const sql::Statement &row, int column)
{
    const sql::Statement::Type type = row.type(column);
    if (type != sql::Statement::Type::Text && type != sql::Statement::Type::Blob)
        return;
    const QByteArrayView bytes = row.bytes(column);
    // What this program stores is already the form wanted.
    if (bytes.size() == 10 && bytes[4] == '-' && bytes[7] == '-') {
        bool digits = true;
        for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
            digits = digits && bytes[i] >= '0' && bytes[i] <= '9';
        if (digits) {
            const auto number = [&](int from, int count) { return bytes.sliced(from, count).toInt(); };
            if (QDate::isValid(number(0, 4), number(5, 2), number(8, 2)))
                line += bytes;
            return;
        }
    }
    const QDate date = QDate::fromString(QString::fromUtf8(bytes), Qt::ISODate);
    if (date.isValid())
        line += date.toString(Qt::ISODate).toUtf8();
}

void appendValue(QByteArray &line, const sql::Statement &row, int column, const Output &output)
{
    switch (output.kind) {
    case Kind::Text: appendStoredText(line, row, column); return;
    case Kind::Date: appendDate(line, row, column); return;
    case Kind::Integer: {
        const std::optional<qint64> value = storedInteger(row, column);
        if (value && *value >= output.min && *value <= output.max)
            line += QByteArray::number(*value);
        else
            appendStoredText(line, row, column);
        return;
    }
    case Kind::Real: {
        if (const std::optional<double> value = storedReal(row, column))
            line += QByteArray::number(*value, 'g', 15);
        else
            appendStoredText(line, row, column);
        return;
    }
    case Kind::Boolean: {
        if (const std::optional<qint64> value = storedInteger(row, column))
            line += *value != 0 ? "True" : "False";
        else
            appendStoredText(line, row, column);
        return;
    }
    }
}

// The writer's failure, with the cause where the writer could not name it.
[[noreturn]] void failWriting(const QString &fileName, const Error &error)
{
    const QFileInfo target(fileName);
    const QFileInfo folder(target.absolutePath());
    const QString where = QDir::toNativeSeparators(folder.filePath());
    QString cause;
    if (error.message() == QStringLiteral("Cannot create file %1").arg(fileName)) {
        if (target.isDir())
            cause = QStringLiteral("it is a folder");
        else if (!folder.exists())
            cause = QStringLiteral("the folder %1 does not exist").arg(where);
        else if (!folder.isDir())
            cause = QStringLiteral("%1 is not a folder").arg(where);
        else if (!folder.isWritable())
            cause = QStringLiteral("Kelvara may not write in the folder %1").arg(where);
        else if (target.exists() && !target.isWritable())
            cause = QStringLiteral("Kelvara may not change the file");
    }
    const QString what = cause.isEmpty() ? error.message() : QStringLiteral("%1: %2").arg(error.message(), cause);
    throw Error(
        QStringLiteral("%1\n\nThe jobs were not exported; a file of that name that was there is unchanged.").arg(what));
}

}  // namespace

QList<const Field *> exportedFields(const Table &table)
{
    QList<const Field *> fields;
    for (const Field *field : table.fields()) {
        if (!field->keepsBytesApart())
            fields << field;
    }
    return fields;
}

qint64 writeCsv(const Table &table, const QList<Column> &columns, Rows rows, const QString &fileName)
{
    std::vector<Output> outputs;
    QStringList names;
    for (const Column &column : columns) {
        const Field *field = table.fieldByName(column.fieldName);
        if (field->keepsBytesApart())
            throw Error(QStringLiteral("The field '%1' holds photos, which are not exported").arg(column.fieldName));
        Output output;
        output.kind = kindOf(*field);
        if (output.kind == Kind::Integer) {
            output.min = field->minValue();
            output.max = field->maxValue();
        }
        outputs.push_back(output);
        names << sql::quoted(field->fieldName());
    }
    if (names.isEmpty())
        throw Error(QStringLiteral("There are no fields to export"));
    const QString columnList = names.join(QLatin1Char(','));
    // One statement over the records, in the order the grid shows them.
    sql::Statement select = rows == Rows::Shown ? table.selectShown(columnList, QString(), Table::ShownOrder::AsShown)
                                                : table.selectAll(columnList, Table::ShownOrder::AsShown);

    qint64 written = 0;
    try {
        TextFileWriter out(fileName, TextFileWriter::Encoding::Utf8WithBom);
        QByteArray line;
        line.reserve(4096);
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (i > 0)
                line += ',';
            appendField(line, columns.at(i).heading.toUtf8(), true);
        }
        out.writeUtf8(line);
        out.endLine();
        const int count = int(outputs.size());
        while (select.step()) {
            line.resize(0);
            for (int i = 0; i < count; ++i) {
                if (i > 0)
                    line += ',';
                appendValue(line, select, i, outputs[size_t(i)]);
            }
            line += "\r\n";
            out.writeUtf8(line);
            ++written;
        }
        out.finish();
    } catch (const Error &error) {
        if (error.message().startsWith(QStringLiteral("Cannot create file ")))
            failWriting(fileName, error);
        throw;
    }
    return written;
}

}  // namespace kelvara::jobexport
