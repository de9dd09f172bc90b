#include "table.h"

#include "datasource.h"
#include "error.h"
#include "field.h"
#include "recordbuffer.h"
#include "textconv.h"
#include "tablefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QSet>

#include <sqlite3.h>

#include <algorithm>

namespace kelvara {

namespace {

const QString kRowId = QStringLiteral("_rid");

// Column types as they stand in the SQL schema, so that a re-opened table describes itself.
QString declaredType(const FieldDef &def)
{
    const QString sized = def.size > 0 ? QStringLiteral("(%1)").arg(def.size) : QString();
    switch (def.type) {
    case ftString: return QStringLiteral("VARCHAR(%1)").arg(def.size);
    case ftSmallint: return QStringLiteral("SMALLINT");
    case ftInteger: return QStringLiteral("INT");
    case ftWord: return QStringLiteral("WORD");
    case ftBoolean: return QStringLiteral("BOOLEAN");
    case ftFloat: return QStringLiteral("FLOAT");
    case ftCurrency: return QStringLiteral("CURRENCY");
    case ftDate: return QStringLiteral("DATE");
    case ftTime: return QStringLiteral("TIME");
    case ftDateTime: return QStringLiteral("DATETIME");
    case ftMemo: return QStringLiteral("MEMO") + sized;
    case ftFmtMemo: return QStringLiteral("FMTMEMO") + sized;
    case ftBlob: return QStringLiteral("BLOB") + sized;
    case ftGraphic: return QStringLiteral("GRAPHIC") + sized;
    case ftTypedBinary: return QStringLiteral("TYPEDBINARY") + sized;
    default: return QString();
    }
}

std::optional<FieldDef> parseDeclaredType(const QString &name, const QString &declared)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*([A-Za-z]+)\\s*(?:\\(\\s*(\\d+)\\s*\\))?\\s*$"));
    const QRegularExpressionMatch match = pattern.match(declared);
    if (!match.hasMatch())
        return std::nullopt;
    const QString word = match.captured(1).toUpper();
    static const QHash<QString, FieldType> types = {
        {QStringLiteral("VARCHAR"), ftString}, {QStringLiteral("SMALLINT"), ftSmallint},
        {QStringLiteral("INT"), ftInteger}, {QStringLiteral("WORD"), ftWord},
        {QStringLiteral("BOOLEAN"), ftBoolean}, {QStringLiteral("FLOAT"), ftFloat},
        {QStringLiteral("CURRENCY"), ftCurrency}, {QStringLiteral("DATE"), ftDate},
        {QStringLiteral("TIME"), ftTime}, {QStringLiteral("DATETIME"), ftDateTime},
        {QStringLiteral("MEMO"), ftMemo}, {QStringLiteral("FMTMEMO"), ftFmtMemo},
        {QStringLiteral("BLOB"), ftBlob}, {QStringLiteral("GRAPHIC"), ftGraphic},
        {QStringLiteral("TYPEDBINARY"), ftTypedBinary},
    };
    const auto it = types.constFind(word);
    if (it == types.constEnd())
        return std::nullopt;
    FieldDef def;
    def.name = name;
    def.type = *it;
    def.size = match.captured(2).toInt();
    if (def.type == ftString ? def.size <= 0 : (def.size > 0 && !isBlobType(def.type)))
        return std::nullopt;
    return def;
}

// Dates are stored as "yyyy-MM-dd"; reading them is on the path of every record read. Gives
// the year, month and day of text in that form, without checking that they make a date.
bool isoDateParts(QByteArrayView text, int parts[3])
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    const int starts[3] = {0, 5, 8};
    const int lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        parts[p] = 0;
        for (int i = 0; i < lengths[p]; ++i) {
            const char c = text[starts[p] + i];
            if (c < '0' || c > '9')
                return false;
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    return true;
}

QDate isoDate(QByteArrayView text)
{
    int parts[3];
    if (isoDateParts(text, parts))
        return QDate(parts[0], parts[1], parts[2]);
    return QDate::fromString(QString::fromUtf8(text), Qt::ISODate);
}

// Where kelvara_row puts the records a read produces.
struct RowSink
{
    int columns = 0;
    std::vector<std::shared_ptr<RecordBuffer>> rows;
    std::vector<std::shared_ptr<RecordBuffer>> *spares = nullptr;   // records to fill anew
    struct Value
    {
        int type;
        const char *data;
        int size;
    };
    std::vector<Value> scratch;
};
const char *const kRowSinkType = "kelvara_row_sink";

// kelvara_row(sink, rid, value...): packs one row straight from SQLite's values, which saves
// a column call per value on the path of every record read.
void rowFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    auto *sink = argc >= 2 ? static_cast<RowSink *>(sqlite3_value_pointer(argv[0], kRowSinkType)) : nullptr;
    if (!sink || argc - 2 != sink->columns) {
        sqlite3_result_error(context, "kelvara_row needs a row sink and every column", -1);
        return;
    }
    try {
        const int count = argc - 2;
        sqlite3_value **values = argv + 2;
        sink->scratch.resize(size_t(count));
        size_t bytes = 0;
        for (int i = 0; i < count; ++i) {
            RowSink::Value &value = sink->scratch[size_t(i)];
            value.type = sqlite3_value_type(values[i]);
            value.data = nullptr;
            value.size = 0;
            if (value.type == SQLITE_TEXT) {
                value.data = reinterpret_cast<const char *>(sqlite3_value_text(values[i]));
                value.size = sqlite3_value_bytes(values[i]);
            } else if (value.type == SQLITE_BLOB) {
                value.data = static_cast<const char *>(sqlite3_value_blob(values[i]));
                value.size = sqlite3_value_bytes(values[i]);
            }
            bytes += size_t(value.size);
        }
        std::shared_ptr<RecordBuffer> record;
        if (sink->spares && !sink->spares->empty()) {
            record = std::move(sink->spares->back());
            sink->spares->pop_back();
        } else {
            record = std::make_shared<RecordBuffer>();
        }
        record->rid = sqlite3_value_int64(argv[1]);
        PackedRow &row = record->packed;
        row.allocate(count, bytes);
        for (int i = 0; i < count; ++i) {
            const RowSink::Value &value = sink->scratch[size_t(i)];
            switch (value.type) {
            case SQLITE_INTEGER: row.setInteger(i, sqlite3_value_int64(values[i])); break;
            case SQLITE_FLOAT: row.setReal(i, sqlite3_value_double(values[i])); break;
            case SQLITE_TEXT: row.setBytes(i, PackedRow::Text, value.data, size_t(value.size)); break;
            case SQLITE_BLOB: row.setBytes(i, PackedRow::Bytes, value.data, size_t(value.size)); break;
            default: break;
            }
        }
        sink->rows.push_back(std::move(record));
        sqlite3_result_null(context);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

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

// The key of a locate, folded once per statement.
struct MatchKey
{
    QString text;         // folded when the match ignores case
    QByteArray utf8;      // the same as UTF-8
};

// kelvara_match(value, key, flags): the comparison of locate, with Unicode case folding.
void matchFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_int(context, 0);
        return;
    }
    const int flags = sqlite3_value_int(argv[2]);
    const bool caseInsensitive = flags & loCaseInsensitive;
    const bool partial = flags & loPartialKey;
    auto *key = static_cast<MatchKey *>(sqlite3_get_auxdata(context, 1));
    if (!key) {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
        const QString text = QString::fromUtf8(bytes, sqlite3_value_bytes(argv[1]));
        auto *made = new MatchKey;
        made->text = caseInsensitive ? caseless(text) : text;
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
        if (!caseInsensitive || std::all_of(value.begin(), value.end(), [](char c) { return uchar(c) < 0x80; })) {
            sqlite3_result_int(context, 0);
            return;
        }
    }
    bool ascii = true;
    if (caseInsensitive) {
        // ASCII folds to its lower case, so plain bytes compare without making strings.
        bool match = true;
        for (qsizetype i = 0; i < value.size() && ascii; ++i) {
            const auto c = uchar(value[i]);
            if (c >= 0x80)
                ascii = false;
            else if (i < wanted.size() && (c >= 'A' && c <= 'Z' ? c + 32 : c) != uchar(wanted[i]))
                match = false;
        }
        if (ascii) {
            sqlite3_result_int(context, match && (partial ? value.size() >= wanted.size() : value.size() == wanted.size()));
            return;
        }
        const QString folded = caseless(QString::fromUtf8(value));
        sqlite3_result_int(context, partial ? folded.startsWith(key->text) : folded == key->text);
        return;
    }
    // UTF-8 keeps both equality and a prefix that ends on a character.
    sqlite3_result_int(context, partial ? value.startsWith(wanted) : value == wanted);
}

} // namespace

Table::Table(QObject *parent) : QObject(parent), m_empty(std::make_shared<RecordBuffer>()) {}

Table::~Table()
{
    try {
        close();
    } catch (...) {
        // Nothing left to tell anyone at destruction.
    }
    for (DataSource *source : std::as_const(m_sources))
        source->m_dataSet = nullptr;
}

void Table::setTableName(const QString &name)
{
    if (active())
        throw Error(tr("Cannot perform this operation on an open dataset"));
    m_tableName = name;
}

void Table::setDirectory(const QString &directory)
{
    if (active())
        throw Error(tr("Cannot perform this operation on an open dataset"));
    m_directory = directory;
}

QString Table::fileName() const
{
    const QString file = m_tableName + QStringLiteral(".db");
    return m_directory.isEmpty() ? file : QDir(m_directory).filePath(file);
}

QString Table::blobTableName() const
{
    return m_tableName + QStringLiteral("_blobs");
}

QString Table::metaTableName() const
{
    return m_tableName + QStringLiteral("_fields");
}

QString Table::renditionTableName() const
{
    return m_tableName + QStringLiteral("_previews");
}

void Table::setReadOnly(bool readOnly)
{
    if (active())
        throw Error(tr("Cannot perform this operation on an open dataset"));
    m_readOnly = readOnly;
}

bool Table::canModify() const
{
    return active() && !m_readOnly && !m_fileReadOnly;
}

bool Table::exists() const
{
    return !m_tableName.isEmpty() && QFileInfo::exists(fileName());
}

// ---------------------------------------------------------------------------------------------
// Creating, deleting, opening

void Table::createTable(const FieldDefs &defs)
{
    if (active())
        throw Error(tr("Cannot perform this operation on an open dataset"));
    if (m_tableName.isEmpty())
        throw Error(tr("No table name given"));
    if (exists())
        throw Error(tr("Table '%1' already exists").arg(fileName()));
    if (defs.isEmpty())
        throw Error(tr("Cannot create table '%1' without fields").arg(m_tableName));

    QSet<QString> names;
    QStringList columns{sql::quoted(kRowId) + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT")};
    for (const FieldDef &def : defs) {
        const QString folded = def.name.toCaseFolded();
        if (def.name.trimmed().isEmpty() || folded == kRowId)
            throw Error(tr("Invalid field name '%1'").arg(def.name));
        if (names.contains(folded))
            throw Error(tr("Duplicate field name '%1'").arg(def.name));
        names.insert(folded);
        const QString type = declaredType(def);
        if (type.isEmpty() || (def.type == ftString && def.size <= 0))
            throw Error(tr("Field '%1' has a type or size that tables cannot hold").arg(def.name));
        columns << sql::quoted(def.name) + QLatin1Char(' ') + type;
    }

    // Made under a name of its own and moved into place only where no file stands, so that a
    // failing create never deletes a file it did not make, nor replaces a table made meanwhile.
    const QString target = fileName();
    // SQLite would replay an earlier table's log into the new file the first time it opens it.
    for (const char *suffix : {"-wal", "-journal"}) {
        if (QFileInfo::exists(target + QLatin1String(suffix)))
            throw Error(tr("Cannot create table '%1': the log %2 of an earlier table stands beside it")
                            .arg(target, target + QLatin1String(suffix)));
    }
    QString made;
    try {
        {
            QTemporaryFile placeholder(target + QStringLiteral(".new-XXXXXX"));
            placeholder.setAutoRemove(false);
            if (!placeholder.open())
                throw Error(placeholder.errorString());
            made = placeholder.fileName();
        }
        sql::Database db(made, sql::Database::Mode::ReadWriteCreate);
        db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        sql::Transaction transaction(db);
        db.exec(QStringLiteral("CREATE TABLE %1 (%2)")
                    .arg(sql::quoted(m_tableName), columns.join(QStringLiteral(", "))));
        // "id" never repeats, so it tells apart every version of a record's bytes.
        db.exec(QStringLiteral("CREATE TABLE %1 (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                               "\"rid\" INTEGER NOT NULL, \"field\" TEXT NOT NULL, \"data\" BLOB NOT NULL, "
                               "UNIQUE (\"rid\", \"field\"))")
                    .arg(sql::quoted(blobTableName())));
        RenditionStore::createTable(db, renditionTableName());
        db.exec(QStringLiteral("CREATE TABLE %1 (\"name\" TEXT PRIMARY KEY, \"label\" TEXT, "
                               "\"width\" INTEGER, \"format\" TEXT, \"mask\" TEXT)")
                    .arg(sql::quoted(metaTableName())));
        sql::Statement meta = db.prepare(
            QStringLiteral("INSERT INTO %1 (\"name\", \"label\", \"width\", \"format\", \"mask\") "
                           "VALUES (?, ?, ?, ?, ?)")
                .arg(sql::quoted(metaTableName())));
        for (const FieldDef &def : defs) {
            if (def.displayLabel.isEmpty() && def.displayWidth == 0 && def.displayFormat.isEmpty()
                && def.editMask.isEmpty())
                continue;
            meta.bindText(1, def.name);
            meta.bindText(2, def.displayLabel);
            meta.bindInt64(3, def.displayWidth);
            meta.bindText(4, def.displayFormat);
            meta.bindText(5, def.editMask);
            meta.run();
        }
        meta = sql::Statement();
        transaction.commit();
        // Closing folds the log into the file, which then stands alone and can be moved.
        db.close();
        if (QFileInfo::exists(made + QStringLiteral("-wal")))
            throw Error(tr("the new table's log could not be written into it"));
        // Never over another file: the rename refuses a name that is taken.
        if (!QFile::rename(made, target))
            throw Error(QFileInfo::exists(target) ? tr("another table file appeared meanwhile")
                                                  : tr("the new file could not be given its name"));
    } catch (const Error &e) {
        if (!made.isEmpty()) {
            for (const char *suffix : {"-wal", "-shm", "-journal", ""})
                QFile::remove(made + QLatin1String(suffix));
        }
        throw Error(tr("Cannot create table '%1': %2").arg(target, e.message()));
    }
}

namespace {

// The files of a table: its log and journal first, so that no log ever stands beside a file
// other than its own, not even for a moment.
const char *const kTableFileSuffixes[] = {"-wal", "-journal", "-shm", ""};

} // namespace

bool Table::hasFiles() const
{
    return std::any_of(std::begin(kTableFileSuffixes), std::end(kTableFileSuffixes), [this](const char *suffix) {
        return QFileInfo::exists(fileName() + QLatin1String(suffix));
    });
}

QString Table::moveFilesAside(const QString &stem)
{
    if (active())
        throw Error(tr("Cannot perform this operation on an open dataset"));
    const QString folder = QFileInfo(fileName()).path();
    QString failure;
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        const QString name = attempt == 1 ? stem : QStringLiteral("%1-%2").arg(stem).arg(attempt);
        const QString kept = QDir(folder).filePath(name + QStringLiteral(".db"));
        const bool taken = std::any_of(std::begin(kTableFileSuffixes), std::end(kTableFileSuffixes),
                                       [&](const char *suffix) { return QFileInfo::exists(kept + QLatin1String(suffix)); });
        if (taken)
            continue;
        QStringList moved;
        bool complete = true;
        for (const char *suffix : kTableFileSuffixes) {
            const QString from = fileName() + QLatin1String(suffix);
            if (!QFileInfo::exists(from))
                continue;
            // The rename refuses a name that is taken, so nothing is ever overwritten.
            QFile file(from);
            if (!file.rename(kept + QLatin1String(suffix))) {
                failure = file.errorString();
                complete = false;
                break;
            }
            moved << QLatin1String(suffix);
        }
        if (complete)
            return kept;
        for (const QString &suffix : std::as_const(moved))
            QFile::rename(kept + suffix, fileName() + suffix);
        // Another name may do where this one was taken meanwhile; any other failure stays.
        if (std::none_of(std::begin(kTableFileSuffixes), std::end(kTableFileSuffixes),
                         [&](const char *suffix) { return QFileInfo::exists(kept + QLatin1String(suffix)); }))
            break;
    }
    throw Error(tr("Cannot move the table %1 aside: %2").arg(fileName(), failure.isEmpty() ? tr("no free name") : failure));
}

void Table::deleteTable()
{
    if (active())
        throw Error(tr("Cannot perform this operation on an open dataset"));
    if (!exists())
        throw Error(tr("Table '%1' does not exist").arg(fileName()));
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm"), QString()}) {
        QFile file(fileName() + suffix);
        if (file.exists() && !file.remove())
            throw Error(tr("Cannot delete table '%1': %2").arg(fileName(), file.errorString()));
    }
}

FieldDefs Table::fieldDefs() const
{
    FieldDefs defs;
    for (const auto &field : m_ownedFields)
        defs << field->def();
    return defs;
}

void Table::setActive(bool active)
{
    if (active)
        open();
    else
        close();
}

void Table::open()
{
    if (active())
        return;
    if (m_tableName.isEmpty())
        throw Error(tr("No table name given"));
    if (!exists())
        throw Error(tr("Table '%1' does not exist").arg(fileName()));

    const QFileInfo info(fileName());
    const QFileInfo folder(info.absolutePath());
    // The journal lives beside the table, so a locked folder makes the table read-only too.
    m_fileReadOnly = !info.isWritable() || !folder.isWritable();
    const bool readOnlyOpen = m_readOnly || m_fileReadOnly;
    try {
        openDatabase(readOnlyOpen);
        // An open that fails must leave the files as it found them: closing would otherwise fold
        // the log into the file, or delete a log that holds records, before anyone looked at it.
        m_db.setCheckpointOnClose(false);
        readSchema();
        registerFunctions();
        prepareStatements();
        // Only a file known to be one of our tables is ever written to.
        if (!readOnlyOpen) {
            m_db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            m_db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        }
        if (m_selectBlob.isValid())
            m_renditions = std::make_unique<RenditionStore>(m_db, blobTableName(), renditionTableName(), !readOnlyOpen);
        m_indexFields = m_indexFieldNames.isEmpty() ? QList<Field *>() : parseFieldList(m_indexFieldNames, true);
        m_range = Range();
        m_ids = queryIds(m_indexFields, m_range);
        m_posValid = false;
        m_cache.clear();
        m_lastLoaded = 0;
        m_pos = -1;
        setPosition(m_ids.empty() ? -1 : 0, true, m_ids.empty());
        m_db.setCheckpointOnClose(true);
    } catch (const BusyError &e) {
        releaseDatabase();
        throw BusyError(tr("Cannot open table '%1': it is in use by another program (%2)").arg(fileName(), e.message()));
    } catch (const Error &e) {
        releaseDatabase();
        throw Error(tr("Cannot open table '%1': %2").arg(fileName(), e.message()));
    }
    tablefiles::add(fileName());
    m_state = dsBrowse;
    m_modified = false;
    dataEvent(DataEvent::UpdateState);
    Q_EMIT afterOpen();
    if (!isEmpty())
        Q_EMIT afterScroll();
}

void Table::openDatabase(bool readOnly)
{
    m_db = sql::Database(fileName(), readOnly ? sql::Database::Mode::ReadOnly : sql::Database::Mode::ReadWrite);
    m_db.exec(QStringLiteral("PRAGMA cell_size_check=ON"));
    if (!readOnly)
        return;
    try {
        m_db.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const Error &) {
        // A table in WAL mode needs a shared-memory file beside it even to be read. Where that
        // file cannot be made, the table can still be read as an unchanging file, provided
        // no write-ahead log holds changes that are not in the table file yet.
        const int code = m_db.lastErrorCode() & 0xff;
        const QFileInfo wal(fileName() + QStringLiteral("-wal"));
        if ((code != SQLITE_READONLY && code != SQLITE_CANTOPEN) || (wal.exists() && wal.size() > 0))
            throw;
        m_db = sql::Database(fileName(), sql::Database::Mode::Immutable);
        m_db.exec(QStringLiteral("PRAGMA cell_size_check=ON"));
    }
}

void Table::registerFunctions()
{
    // Both are ours alone: DIRECTONLY keeps the schema, triggers and views of a foreign file
    // from calling them.
    sqlite3_create_function_v2(m_db.handle(), "kelvara_row", -1, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr,
                               rowFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(m_db.handle(), "kelvara_match", 3,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr, matchFunction,
                               nullptr, nullptr, nullptr);
}

void Table::releaseDatabase()
{
    m_selectRows = sql::Statement();
    m_selectSpan = sql::Statement();
    m_insertRow = sql::Statement();
    m_updateRow = sql::Statement();
    m_selectBlob = sql::Statement();
    m_selectBlobId = sql::Statement();
    m_renditions.reset();
    m_cache.clear();
    m_current.reset();
    m_override.reset();
    m_ids.clear();
    m_insertPos = -1;
    m_posOf.clear();
    m_posValid = false;
    m_pos = -1;
    m_bof = m_eof = true;
    m_indexFields.clear();
    m_fields.clear();
    m_ownedFields.clear();
    m_db.close();
}

void Table::readSchema()
{
    {
        sql::Statement exists = m_db.prepare(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"));
        exists.bindText(1, m_tableName);
        if (!exists.step() || exists.int64(0) == 0)
            throw Error(tr("the file holds no table '%1'").arg(m_tableName));
    }
    {
        // Another program's triggers would run on our writes, and its views would stand for our
        // tables in its queries: a file holding either is not one of ours.
        sql::Statement foreign = m_db.prepare(
            QStringLiteral("SELECT type, name FROM sqlite_master WHERE type IN ('trigger', 'view') "
                           "AND (instr(lower(tbl_name), lower(?1)) > 0 OR instr(lower(sql), lower(?1)) > 0) "
                           "ORDER BY type, name"));
        foreign.bindText(1, m_tableName);
        if (foreign.step())
            throw Error(tr("the file holds the %1 '%2', which this program did not make and which acts on "
                           "its tables")
                            .arg(foreign.text(0), foreign.text(1)));
    }
    sql::Statement info = m_db.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(sql::quoted(m_tableName)));
    FieldDefs defs;
    bool first = true;
    while (info.step()) {
        const QString name = info.text(1);
        const QString declared = info.text(2);
        if (first) {
            if (name != kRowId || info.int64(5) != 1)
                throw Error(tr("the table '%1' was not made by this program").arg(m_tableName));
            first = false;
            continue;
        }
        const auto def = parseDeclaredType(name, declared);
        if (!def)
            throw Error(tr("the column '%1' has the type '%2', which a table cannot hold")
                            .arg(name, declared));
        defs << *def;
    }
    if (defs.isEmpty())
        throw Error(tr("the table '%1' has no fields").arg(m_tableName));

    const bool hasBlobs = std::any_of(defs.cbegin(), defs.cend(), [](const FieldDef &d) {
        return isBlobType(d.type) && !isMemoType(d.type);
    });
    auto tableExists = [this](const QString &name) {
        sql::Statement stmt = m_db.prepare(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"));
        stmt.bindText(1, name);
        return stmt.step() && stmt.int64(0) > 0;
    };
    if (hasBlobs && !tableExists(blobTableName()))
        throw Error(tr("the picture table '%1' is missing").arg(blobTableName()));
    if (tableExists(metaTableName())) {
        sql::Statement meta = m_db.prepare(
            QStringLiteral("SELECT \"name\", \"label\", \"width\", \"format\", \"mask\" FROM %1")
                .arg(sql::quoted(metaTableName())));
        while (meta.step()) {
            for (FieldDef &def : defs) {
                if (def.name != meta.text(0))
                    continue;
                def.displayLabel = meta.text(1);
                def.displayWidth = int(meta.int64(2));
                def.displayFormat = meta.text(3);
                def.editMask = meta.text(4);
            }
        }
    }

    m_defs = defs;
    m_fields.clear();
    m_ownedFields.clear();
    int fieldNo = 1;
    for (const FieldDef &def : std::as_const(m_defs)) {
        m_ownedFields.push_back(std::make_unique<Field>(this, def, fieldNo++));
        m_fields << m_ownedFields.back().get();
    }
}

void Table::prepareStatements()
{
    QStringList columns, params, assignments;
    for (const FieldDef &def : std::as_const(m_defs)) {
        columns << sql::quoted(def.name);
        params << QStringLiteral("?");
        assignments << sql::quoted(def.name) + QStringLiteral(" = ?");
    }
    m_columnList = columns.join(QStringLiteral(", "));
    const QString table = sql::quoted(m_tableName);
    QStringList marks;
    for (int i = 0; i < kReadAhead; ++i)
        marks << QStringLiteral("?");
    const QString rowid = sql::quoted(kRowId);
    const QString packed = QStringLiteral("kelvara_row(?, %1, %2)").arg(rowid, m_columnList);
    m_selectRows = m_db.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4)")
                                    .arg(packed, table, rowid, marks.join(QStringLiteral(", "))));
    m_selectSpan = m_db.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 BETWEEN ? AND ?")
                                    .arg(packed, table, rowid));
    if (!m_db.isReadOnly()) {
        m_insertRow = m_db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                       .arg(table, m_columnList, params.join(QStringLiteral(", "))));
        m_updateRow = m_db.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                                       .arg(table, assignments.join(QStringLiteral(", ")), rowid));
    }
    const bool hasBlobs = std::any_of(m_ownedFields.cbegin(), m_ownedFields.cend(),
                                      [](const auto &f) { return f->keepsBytesApart(); });
    if (hasBlobs) {
        m_selectBlob = m_db.prepare(QStringLiteral("SELECT \"data\" FROM %1 WHERE \"rid\" = ? AND \"field\" = ?")
                                        .arg(sql::quoted(blobTableName())));
        m_selectBlobId = m_db.prepare(QStringLiteral("SELECT \"id\" FROM %1 WHERE \"rid\" = ? AND \"field\" = ?")
                                          .arg(sql::quoted(blobTableName())));
    }
}

void Table::close()
{
    if (!active())
        return;
    m_state = dsInactive;
    m_editBuffer.reset();
    m_keyBuffer.reset();
    m_override.reset();
    m_current.reset();
    m_cache.clear();
    m_ids.clear();
    m_insertPos = -1;
    m_posOf.clear();
    m_posValid = false;
    m_pos = -1;
    m_bof = m_eof = true;
    m_modified = false;
    m_range = Range();
    // Links let go of their fields before the fields go.
    dataEvent(DataEvent::UpdateState);
    releaseDatabase();
    tablefiles::remove(fileName());
    Q_EMIT afterClose();
}

// ---------------------------------------------------------------------------------------------
// Reading records

std::vector<qint64> Table::queryIds(const QList<Field *> &order, const Range &range) const
{
    QVariantList binds;
    const QString where = rangeClause(order, range, &binds);
    sql::Statement stmt = m_db.prepare(QStringLiteral("SELECT %1 FROM %2%3%4")
                                           .arg(sql::quoted(kRowId), sql::quoted(m_tableName),
                                                where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where,
                                                orderClause(order)));
    for (int i = 0; i < binds.size(); ++i)
        stmt.bind(i + 1, binds.at(i));
    std::vector<qint64> ids;
    while (stmt.step())
        ids.push_back(stmt.int64(0));
    return ids;
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

QString Table::rangeClause(const QList<Field *> &order, const Range &range, QVariantList *binds) const
{
    if (!range.active)
        return QString();
    QStringList conditions;
    auto bound = [&](const QVariantList &values, const QString &op) {
        if (values.isEmpty())
            return;
        QStringList columns, marks;
        for (int i = 0; i < values.size() && i < order.size(); ++i) {
            const Field *field = order.at(i);
            columns << sql::quoted(field->fieldName());
            marks << QStringLiteral("?");
            binds->append(toSql(field, values.at(i)));
        }
        conditions << QStringLiteral("(%1) %2 (%3)")
                          .arg(columns.join(QStringLiteral(", ")), op, marks.join(QStringLiteral(", ")));
    };
    bound(range.start, QStringLiteral(">="));
    bound(range.end, QStringLiteral("<="));
    return conditions.join(QStringLiteral(" AND "));
}

void Table::reload(const QList<Field *> &order, const Range &range, bool keepRecord)
{
    std::optional<qint64> rid;
    if (m_pos >= 0 && m_pos < int(m_ids.size()) && m_pos != m_insertPos)
        rid = m_ids[size_t(m_pos)];
    const int old = m_pos;
    std::vector<qint64> ids = queryIds(order, range);
    std::vector<qint64> previous = std::move(m_ids);
    m_ids = std::move(ids);
    m_posValid = false;
    m_cache.clear();
    try {
        int position = -1;
        if (!m_ids.empty()) {
            position = keepRecord && rid ? positionOf(*rid) : -1;
            if (position < 0)
                position = keepRecord ? qBound(0, old, int(m_ids.size()) - 1) : 0;
        }
        setPosition(position, m_ids.empty() || position == 0, m_ids.empty());
    } catch (...) {
        m_ids = std::move(previous);
        m_posValid = false;
        throw;
    }
    m_indexFields = order;
    m_range = range;
}

int Table::positionOf(qint64 rid) const
{
    if (!m_posValid) {
        m_posOf.clear();
        m_posOf.reserve(qsizetype(m_ids.size()));
        for (size_t i = 0; i < m_ids.size(); ++i) {
            if (int(i) != m_insertPos)
                m_posOf.insert(m_ids[i], int(i));
        }
        m_posValid = true;
    }
    return m_posOf.value(rid, -1);
}

QVariant Table::decodeCell(const RecordBuffer &buffer, int column, const Field *field,
                           std::optional<QString> *invalid) const
{
    if (!buffer.isPacked())
        return buffer.values.value(column);
    const PackedRow &row = buffer.packed;
    if (row.kind(column) == PackedRow::Null)
        return QVariant();
    // Another program may have stored anything in a number column; what the field cannot hold
    // is an error, never a value made up from it.
    auto refuse = [&](const QString &message) {
        if (!invalid)
            throw Error(message);
        *invalid = row.toText(column);
        return QVariant();
    };
    switch (field->dataType()) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: {
        const std::optional<qint64> value = row.exactInteger(column);
        if (!value || *value < field->minValue() || *value > field->maxValue())
            return refuse(tr("Field '%1' holds '%2', which is not a valid value for it. The allowed range is %3 to %4")
                              .arg(field->displayName(), row.toText(column))
                              .arg(field->minValue())
                              .arg(field->maxValue()));
        return int(*value);
    }
    case ftBoolean: {
        const std::optional<qint64> value = row.exactInteger(column);
        if (!value)
            return refuse(tr("Field '%1' holds '%2', which is not a valid boolean value")
                              .arg(field->displayName(), row.toText(column)));
        return *value != 0;
    }
    case ftFloat: case ftCurrency: case ftBCD: {
        const std::optional<double> value = row.exactReal(column);
        if (!value)
            return refuse(tr("Field '%1' holds '%2', which is not a valid floating point value")
                              .arg(field->displayName(), row.toText(column)));
        return *value;
    }
    case ftDate: {
        const QDate date = isoDate(row.bytes(column));
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case ftTime: {
        const QTime time = QTime::fromString(row.toText(column), QStringLiteral("HH:mm:ss"));
        return time.isValid() ? QVariant(time) : QVariant();
    }
    case ftDateTime: {
        const QString text = row.toText(column);
        QDateTime dateTime = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!dateTime.isValid())
            dateTime = QDateTime::fromString(text, Qt::ISODate);
        return dateTime.isValid() ? QVariant(dateTime) : QVariant();
    }
    default:
        if (field->keepsBytesApart()) {
            const qint64 size = row.toInteger(column);
            return size > 0 ? QVariant(size) : QVariant();
        }
        return row.toText(column);
    }
}

QVariant Table::fieldValue(const Field *field, std::optional<QString> *invalid) const
{
    return decodeCell(activeBuffer(), field->fieldNo() - 1, field, invalid);
}

bool Table::fieldIsNull(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (!buffer.isPacked()) {
        const QVariant v = buffer.values.value(column);
        return !v.isValid() || v.isNull();
    }
    if (buffer.packed.kind(column) == PackedRow::Null)
        return true;
    // Values that decode to nothing (a bad date, a zero blob size) count as null.
    if (field->isDateTimeField() || field->keepsBytesApart()) {
        const QVariant v = decodeCell(buffer, column, field);
        return !v.isValid() || v.isNull();
    }
    return false;
}

QString Table::dateText(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (buffer.isPacked() && buffer.packed.kind(column) == PackedRow::Text) {
        // A stored date turns into its display text without a QDate in between.
        int parts[3];
        if (isoDateParts(buffer.packed.bytes(column), parts))
            return QDate::isValid(parts[0], parts[1], parts[2]) ? dateToText(parts[0], parts[1], parts[2]) : QString();
    }
    const QVariant v = decodeCell(buffer, column, field);
    return v.isValid() && !v.isNull() ? dateToText(v.toDate()) : QString();
}

QString Table::fieldString(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (buffer.isPacked())
        return buffer.packed.toText(column);
    const QVariant v = buffer.values.value(column);
    return v.isValid() && !v.isNull() ? v.toString() : QString();
}

std::shared_ptr<RecordBuffer> Table::workingCopy(const RecordBuffer &source) const
{
    auto copy = std::make_shared<RecordBuffer>();
    copy->rid = source.rid;
    copy->pendingBlobs = source.pendingBlobs;
    copy->values.reserve(qsizetype(m_ownedFields.size()));
    for (size_t i = 0; i < m_ownedFields.size(); ++i)
        copy->values.append(decodeCell(source, int(i), m_ownedFields[i].get()));
    return copy;
}

std::shared_ptr<RecordBuffer> Table::loadRecords(int position) const
{
    // A jump reads one record; stepping near the last read reads ahead the way it goes.
    const bool sequential = std::abs(position - m_lastLoaded) <= kReadAhead;
    const int step = position < m_lastLoaded ? -1 : 1;
    const qint64 wanted = m_ids[size_t(position)];
    std::vector<qint64> batch{wanted};
    const int limit = sequential ? kReadAhead : 1;
    for (int p = position + step; p >= 0 && p < int(m_ids.size()) && int(batch.size()) < limit; p += step) {
        const qint64 rid = m_ids[size_t(p)];
        if (p != m_insertPos && !m_cache.contains(rid))
            batch.push_back(rid);
    }

    if (batch.size() > 1) {
        // A damaged neighbour must not make the wanted record unreadable: read it alone.
        try {
            return readBatch(position, batch);
        } catch (const Error &) {
            return readBatch(position, {wanted});
        }
    }
    return readBatch(position, batch);
}

std::shared_ptr<RecordBuffer> Table::readBatch(int position, const std::vector<qint64> &batch) const
{
    // Records of the natural order lie close together: one scan over their span is cheaper
    // than a look-up per record. Rows in the span that were not asked for are skipped.
    const qint64 wanted = batch.front();
    const auto [low, high] = std::minmax_element(batch.cbegin(), batch.cend());
    // Unsigned, so that ids as far apart as the whole 64-bit range do not overflow.
    const bool span = quint64(*high) - quint64(*low) < quint64(2 * kReadAhead);
    auto &stmt = const_cast<sql::Statement &>(span ? m_selectSpan : m_selectRows);
    RowSink sink;
    sink.columns = int(m_ownedFields.size());
    sink.spares = &m_cache.spares();
    sink.rows.reserve(batch.size());
    try {
        stmt.bindPointer(1, &sink, kRowSinkType);
        if (span) {
            stmt.bindInt64(2, *low);
            stmt.bindInt64(3, *high);
        } else {
            for (int i = 0; i < kReadAhead; ++i) {
                if (i < int(batch.size()))
                    stmt.bindInt64(i + 2, batch[size_t(i)]);
                else
                    stmt.bindNull(i + 2);
            }
        }
        while (stmt.step()) {
        }
    } catch (...) {
        stmt.reset();
        throw;
    }
    stmt.reset();

    std::shared_ptr<RecordBuffer> found;
    for (auto &record : sink.rows) {
        if (span && record->rid != wanted
            && std::find(batch.cbegin(), batch.cend(), *record->rid) == batch.cend())
            continue;
        m_cache.insert(record);
        if (record->rid == wanted)
            found = record;
    }
    m_lastLoaded = position;
    if (!found)
        throw Error(tr("Record not found; it may have been deleted by another program"));
    return found;
}

void Table::cacheRecord(const std::shared_ptr<RecordBuffer> &record) const
{
    m_cache.insert(record);
}

std::shared_ptr<RecordBuffer> Table::storedRecord(int position) const
{
    const qint64 rid = m_ids[size_t(position)];
    if (auto record = m_cache.find(rid))
        return record;
    return loadRecords(position);
}

std::shared_ptr<RecordBuffer> Table::recordAt(int position) const
{
    if (position < 0 || position >= int(m_ids.size()))
        return m_empty;
    if (position == m_pos && m_editBuffer)
        return m_editBuffer;
    if (position == m_insertPos)
        return m_editBuffer ? m_editBuffer : m_empty;
    return storedRecord(position);
}

void Table::setPosition(int position, bool bof, bool eof)
{
    std::shared_ptr<RecordBuffer> record;
    if (position >= 0 && position < int(m_ids.size()) && position != m_insertPos)
        record = storedRecord(position);
    m_pos = position;
    m_bof = bof;
    m_eof = eof;
    m_override.reset();
    m_current = std::move(record);
}

void Table::setCurrentRecord()
{
    setPosition(m_pos, m_bof, m_eof);
}

const RecordBuffer &Table::activeBuffer() const
{
    if (m_override)
        return *m_override;
    if (m_state == dsSetKey && m_keyBuffer)
        return *m_keyBuffer;
    if (m_editBuffer)
        return *m_editBuffer;
    if (m_current)
        return *m_current;
    return *m_empty;
}

void Table::selectBuffer(const DataLink *link, int index)
{
    const int position = link->m_first + index;
    if (position == m_pos)
        m_override.reset();
    else
        m_override = recordAt(position);
}

QByteArray Table::readBlob(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (const auto it = buffer.pendingBlobs.constFind(column); it != buffer.pendingBlobs.constEnd())
        return *it;
    if (!buffer.rid || !m_selectBlob.isValid())
        return QByteArray();
    auto &stmt = const_cast<sql::Statement &>(m_selectBlob);
    stmt.bindInt64(1, *buffer.rid);
    stmt.bindText(2, field->fieldName());
    QByteArray bytes;
    try {
        if (stmt.step())
            bytes = stmt.blob(0);
    } catch (...) {
        stmt.reset();
        throw;
    }
    stmt.reset();
    return bytes;
}

qint64 Table::blobRevision(const Field *field) const
{
    const RecordBuffer &buffer = activeBuffer();
    const int column = field->fieldNo() - 1;
    if (buffer.pendingBlobs.contains(column))
        return -1;
    if (!buffer.rid || !m_selectBlobId.isValid())
        return 0;
    auto &stmt = const_cast<sql::Statement &>(m_selectBlobId);
    stmt.bindInt64(1, *buffer.rid);
    stmt.bindText(2, field->fieldName());
    qint64 id = 0;
    try {
        if (stmt.step())
            id = stmt.int64(0);
    } catch (...) {
        stmt.reset();
        throw;
    }
    stmt.reset();
    return id;
}

std::optional<Rendition> Table::rendition(const Field *field, RenditionKind kind, bool rebuild) const
{
    if (!m_renditions || !field->keepsBytesApart() || field->isNull())
        return std::nullopt;
    const qint64 revision = blobRevision(field);
    if (revision <= 0)
        return std::nullopt;
    return m_renditions->rendition(*activeBuffer().rid, field->fieldName(), revision, kind, rebuild);
}

QByteArray Table::photoStamp(const Field *field) const
{
    const qint64 revision = blobRevision(field);
    if (revision <= 0)
        return QByteArray();
    const std::optional<PhotoStamp> stamp = m_renditions ? m_renditions->storedStamp(revision) : std::nullopt;
    if (!stamp)
        return QByteArray::number(revision);
    return QByteArray::number(stamp->blobId) + '/' + QByteArray::number(stamp->size) + '/' + stamp->digest.toHex();
}

int Table::renditionRebuilds() const
{
    return m_renditions ? m_renditions->rebuilds() : 0;
}

// ---------------------------------------------------------------------------------------------
// Events and links

void Table::attach(DataSource *source)
{
    if (!m_sources.contains(source))
        m_sources.append(source);
}

void Table::detach(DataSource *source)
{
    m_sources.removeAll(source);
}

void Table::dataEvent(DataEvent event, Field *field)
{
    const bool closing = event == DataEvent::UpdateState && m_state == dsInactive;
    if (controlsDisabled() && event != DataEvent::UpdateRecord && !closing) {
        if (event == DataEvent::LayoutChange)
            m_pendingLayout = true;
        return;
    }
    // Nothing to copy when no one listens, as on every move of a walk without controls.
    if (m_sources.isEmpty())
        return;
    for (DataSource *source : QList<DataSource *>(m_sources)) {
        if (m_sources.contains(source))
            source->dataEvent(event, field);
    }
}

void Table::layoutChanged()
{
    if (active())
        dataEvent(DataEvent::LayoutChange);
}

int Table::syncLink(DataLink *link, bool scroll) const
{
    const int old = link->m_first;
    const int count = sequenceCount();
    const int buffer = link->m_bufferCount;
    int first = old;
    if (count == 0 || m_pos < 0) {
        first = 0;
    } else {
        if (!scroll)
            first = m_pos - qBound(0, link->m_lastActive, buffer - 1);
        if (m_pos < first)
            first = m_pos;
        if (m_pos >= first + buffer)
            first = m_pos - buffer + 1;
        if (first + buffer > count)
            first = count - buffer;
        first = qMax(0, first);
    }
    link->m_first = first;
    link->m_lastActive = m_pos < 0 ? 0 : m_pos - first;
    link->m_activeIndex = -1;
    return first - old;
}

void Table::disableControls()
{
    ++m_disableCount;
}

void Table::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount > 0)
        return;
    dataEvent(DataEvent::UpdateState);
    if (active()) {
        const bool layout = m_pendingLayout;
        m_pendingLayout = false;
        dataEvent(layout ? DataEvent::LayoutChange : DataEvent::DataSetChange);
    }
}

DisabledControlsScope::~DisabledControlsScope()
{
    if (m_resumed)
        return;
    try {
        m_table.enableControls();
    } catch (...) {
        // Left by an exception: that one is reported, not what the controls made of it.
    }
}

void DisabledControlsScope::resume()
{
    if (m_resumed)
        return;
    m_resumed = true;
    m_table.enableControls();
}

// ---------------------------------------------------------------------------------------------
// Checks

void Table::checkActive() const
{
    if (!active())
        throw Error(tr("Cannot perform this operation on a closed dataset"));
}

void Table::checkCanModify() const
{
    if (!canModify())
        throw Error(tr("Cannot modify a read-only dataset"));
}

void Table::checkWriteState() const
{
    if (m_state != dsEdit && m_state != dsInsert)
        throw Error(tr("Dataset not in edit or insert mode"));
}

// ---------------------------------------------------------------------------------------------
// Moves

bool Table::isEmpty() const
{
    return recordCount() == 0 && m_state != dsInsert;
}

int Table::recordCount() const
{
    if (!active())
        return 0;
    return int(m_ids.size()) - (m_state == dsInsert ? 1 : 0);
}

int Table::recNo() const
{
    if (!active() || m_pos < 0)
        return 0;
    return m_pos + 1;
}

void Table::setRecNo(int recNo)
{
    checkActive();
    finishPendingEdit();
    const int count = recordCount();
    if (count == 0)
        return;
    moveTo(qBound(0, recNo - 1, count - 1), false);
}

void Table::moveTo(int position, bool scrolled)
{
    setPosition(position, false, false);
    dataEvent(scrolled ? DataEvent::DataSetScroll : DataEvent::DataSetChange);
    Q_EMIT afterScroll();
}

void Table::first()
{
    checkActive();
    finishPendingEdit();
    const int count = recordCount();
    setPosition(count > 0 ? 0 : -1, true, count == 0);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterScroll();
}

void Table::last()
{
    checkActive();
    finishPendingEdit();
    const int count = recordCount();
    setPosition(count - 1, count == 0, true);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterScroll();
}

void Table::next()
{
    moveBy(1);
}

void Table::prior()
{
    moveBy(-1);
}

int Table::moveBy(int distance)
{
    checkActive();
    const int dropped = finishPendingEdit();
    if (distance == 0)
        return 0;
    if ((distance > 0 && m_eof) || (distance < 0 && m_bof))
        return 0;
    const int count = recordCount();
    if (count == 0)
        return 0;
    // A dropped new record stood between its neighbours: a step forward lands on the record
    // that followed it, a step back on the one before it.
    const qint64 from = dropped < 0 ? qBound(0, m_pos, count - 1)
                                    : (distance > 0 ? qint64(dropped) - 1 : qint64(dropped));
    const qint64 target = from + distance;
    int position = int(qBound(qint64(0), target, qint64(count - 1)));
    setPosition(position, target < 0, target >= count);
    dataEvent(DataEvent::DataSetScroll);
    Q_EMIT afterScroll();
    return int(position - from);
}

Bookmark Table::bookmark() const
{
    if (!active())
        return Bookmark();
    // While a link reads another visible record, that record is the one meant.
    if (m_override)
        return m_override->rid ? Bookmark(*m_override->rid) : Bookmark();
    if (m_pos < 0 || m_pos == m_insertPos)
        return Bookmark();
    return Bookmark(m_ids[size_t(m_pos)]);
}

void Table::gotoBookmark(const Bookmark &bookmark)
{
    checkActive();
    finishPendingEdit();
    const int position = bookmark.isNull() ? -1 : positionOf(bookmark.recordId());
    if (position < 0)
        throw Error(tr("Record not found"));
    moveTo(position, false);
}

bool Table::bookmarkValid(const Bookmark &bookmark) const
{
    return active() && !bookmark.isNull() && positionOf(bookmark.recordId()) >= 0;
}

int Table::compareBookmarks(const Bookmark &a, const Bookmark &b) const
{
    if (a == b)
        return 0;
    if (a.isNull())
        return -1;
    if (b.isNull())
        return 1;
    const int pa = positionOf(a.recordId());
    const int pb = positionOf(b.recordId());
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

// ---------------------------------------------------------------------------------------------
// Editing

void Table::setFieldValue(Field *field, const QVariant &converted)
{
    const int column = field->fieldNo() - 1;
    if (m_state == dsSetKey && m_keyBuffer) {
        m_keyBuffer->values[column] = converted;
        m_keyBuffer->assigned[column] = true;
        return;
    }
    checkActive();
    checkWriteState();
    if (field->readOnly())
        throw Error(tr("Field '%1' cannot be modified").arg(field->displayName()));
    RecordBuffer &buffer = *m_editBuffer;
    if (field->keepsBytesApart()) {
        const QByteArray bytes = converted.toByteArray();
        buffer.pendingBlobs.insert(column, bytes);
        buffer.values[column] = bytes.isEmpty() ? QVariant() : QVariant(qint64(bytes.size()));
    } else {
        buffer.values[column] = converted;
    }
    m_modified = true;
    dataEvent(DataEvent::FieldChange, field);
}

void Table::edit()
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    if (m_state == dsSetKey)
        cancel();
    if (recordCount() == 0) {
        insert();
        return;
    }
    checkCanModify();
    m_editBuffer = workingCopy(*recordAt(m_pos));
    m_override.reset();
    m_state = dsEdit;
    m_modified = false;
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::RecordChange);
    Q_EMIT afterEdit();
}

void Table::beginInsert(bool atEnd)
{
    checkActive();
    finishPendingEdit();
    checkCanModify();
    auto buffer = std::make_shared<RecordBuffer>();
    buffer->values.resize(qsizetype(m_ownedFields.size()));
    const int position = atEnd || m_pos < 0 ? int(m_ids.size()) : m_pos;
    // The new record's place; its row id is unknown until it is saved.
    m_ids.insert(m_ids.begin() + position, 0);
    m_insertPos = position;
    m_posValid = false;
    m_pos = position;
    m_editBuffer = buffer;
    m_current.reset();
    m_override.reset();
    m_state = dsInsert;
    m_modified = false;
    m_bof = m_eof = false;
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterInsert();
    Q_EMIT afterScroll();
}

void Table::insert()
{
    beginInsert(false);
}

void Table::append()
{
    beginInsert(true);
}

void Table::insertRecord(const QVariantList &values)
{
    insert();
    // One operation: when a value or the save fails, no half-filled record is left pending
    // for the next move to save.
    try {
        for (int i = 0; i < values.size() && i < m_fields.size(); ++i)
            m_fields.at(i)->setValue(values.at(i));
        post();
    } catch (...) {
        if (m_state == dsInsert) {
            try {
                cancelRecord(true);
            } catch (...) {
                // The failure that brought us here is the one to report.
            }
        }
        throw;
    }
}

void Table::writeRecord()
{
    RecordBuffer &buffer = *m_editBuffer;
    sql::Transaction transaction(m_db);
    sql::Statement &stmt = m_state == dsInsert ? m_insertRow : m_updateRow;
    if (!stmt.isValid())
        throw Error(tr("Cannot modify a read-only dataset"));
    try {
        int index = 1;
        for (const auto &field : m_ownedFields)
            stmt.bind(index++, toSql(field.get(), buffer.values.at(field->fieldNo() - 1)));
        if (m_state == dsEdit)
            stmt.bindInt64(index, buffer.rid.value());
        stmt.run();
    } catch (...) {
        stmt.reset();
        throw;
    }
    if (m_state == dsEdit && m_db.changes() == 0)
        throw Error(tr("Record not found; it may have been deleted by another program"));
    const qint64 rid = m_state == dsInsert ? m_db.lastInsertRowId() : buffer.rid.value();

    if (!buffer.pendingBlobs.isEmpty()) {
        sql::Statement put = m_db.prepare(
            QStringLiteral("INSERT OR REPLACE INTO %1 (\"rid\", \"field\", \"data\") VALUES (?, ?, ?)")
                .arg(sql::quoted(blobTableName())));
        sql::Statement remove = m_db.prepare(
            QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ? AND \"field\" = ?").arg(sql::quoted(blobTableName())));
        for (auto it = buffer.pendingBlobs.cbegin(); it != buffer.pendingBlobs.cend(); ++it) {
            const QString name = m_ownedFields[size_t(it.key())]->fieldName();
            sql::Statement &target = it->isEmpty() ? remove : put;
            target.bindInt64(1, rid);
            target.bindText(2, name);
            if (!it->isEmpty())
                target.bindBlob(3, *it);
            target.run();
            if (m_renditions && it->isEmpty())
                m_renditions->photoRemoved(rid, name);
            else if (m_renditions)
                m_renditions->photoWritten(rid, name, m_db.lastInsertRowId(), *it);
        }
    }
    transaction.commit();
    buffer.rid = rid;
    buffer.pendingBlobs.clear();
}

void Table::post()
{
    postRecord(true);
}

void Table::postRecord(bool notify, bool writeBack)
{
    checkActive();
    if (writeBack)
        updateRecord();
    else
        checkWriteState();
    checkCanModify();
    writeRecord();
    if (m_state == dsInsert) {
        m_ids[size_t(m_insertPos)] = m_editBuffer->rid.value();
        m_insertPos = -1;
        m_posValid = false;
    }
    cacheRecord(m_editBuffer);
    m_editBuffer.reset();
    m_state = dsBrowse;
    m_modified = false;
    setCurrentRecord();
    if (notify) {
        dataEvent(DataEvent::UpdateState);
        dataEvent(DataEvent::DataSetChange);
    }
    Q_EMIT afterPost();
}

void Table::cancel()
{
    cancelRecord(true);
}

void Table::cancelRecord(bool notify)
{
    checkActive();
    const DataSetState was = m_state;
    if (was == dsBrowse)
        return;
    if (was == dsInsert)
        removeInsertRow();
    m_editBuffer.reset();
    m_keyBuffer.reset();
    m_state = dsBrowse;
    m_modified = false;
    // The links hear of the change even when the record to stand on cannot be read.
    std::exception_ptr failure;
    try {
        setCurrentRecord();
    } catch (...) {
        failure = std::current_exception();
        m_current.reset();
    }
    if (notify) {
        dataEvent(DataEvent::UpdateState);
        if (was != dsSetKey)
            dataEvent(DataEvent::DataSetChange);
    }
    if (failure)
        std::rethrow_exception(failure);
    if (was != dsSetKey)
        Q_EMIT afterCancel();
}

void Table::removeInsertRow()
{
    if (m_insertPos >= 0 && m_insertPos < int(m_ids.size()))
        m_ids.erase(m_ids.begin() + m_insertPos);
    m_insertPos = -1;
    m_posValid = false;
    if (m_ids.empty()) {
        m_pos = -1;
        m_bof = m_eof = true;
    } else if (m_pos >= int(m_ids.size())) {
        m_pos = int(m_ids.size()) - 1;
    }
}

void Table::checkBrowseMode()
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert) {
        updateRecord();
        if (m_modified)
            postRecord(true, false);
        else
            cancel();
    } else if (m_state == dsSetKey) {
        cancel();
    }
}

int Table::finishPendingEdit()
{
    // Handlers of the post may put the record back into edit state; an unmodified edit state
    // begun that way is dropped, since the operation that called us is about to leave it.
    int dropped = -1;
    auto drop = [&] {
        if (m_state == dsInsert)
            dropped = m_pos;
        cancelRecord(false);
    };
    for (int round = 0; round < 3; ++round) {
        if (m_state == dsEdit || m_state == dsInsert) {
            updateRecord();
            if (m_modified)
                postRecord(false, false);
            else
                drop();
        } else if (m_state == dsSetKey) {
            cancelRecord(false);
        } else {
            return dropped;
        }
    }
    if (m_state != dsBrowse) {
        if (m_modified)
            throw Error(tr("The record could not be saved because it keeps changing"));
        drop();
    }
    return dropped;
}

void Table::updateRecord()
{
    checkWriteState();
    dataEvent(DataEvent::UpdateRecord);
}

void Table::deleteRecord()
{
    checkActive();
    if (m_state == dsInsert || m_state == dsSetKey) {
        cancel();
        return;
    }
    if (recordCount() == 0)
        throw Error(tr("Cannot perform this operation on an empty dataset"));
    checkCanModify();
    const qint64 rid = m_ids[size_t(m_pos)];
    {
        sql::Transaction transaction(m_db);
        sql::Statement row = m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                                              .arg(sql::quoted(m_tableName), sql::quoted(kRowId)));
        row.bindInt64(1, rid);
        row.run();
        if (m_selectBlob.isValid()) {
            sql::Statement blobs = m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ?")
                                                    .arg(sql::quoted(blobTableName())));
            blobs.bindInt64(1, rid);
            blobs.run();
            if (m_renditions)
                m_renditions->recordDeleted(rid);
        }
        transaction.commit();
    }
    m_ids.erase(m_ids.begin() + m_pos);
    m_posValid = false;
    m_cache.remove(rid);
    m_editBuffer.reset();
    m_state = dsBrowse;
    m_modified = false;
    m_current.reset();
    std::exception_ptr failure;
    try {
        if (m_ids.empty())
            setPosition(-1, true, true);
        else
            setPosition(qMin(m_pos, int(m_ids.size()) - 1), false, false);
    } catch (...) {
        failure = std::current_exception();
        m_pos = qMin(m_pos, int(m_ids.size()) - 1);
    }
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::DataSetChange);
    if (failure)
        std::rethrow_exception(failure);
    Q_EMIT afterDelete();
    Q_EMIT afterScroll();
}

void Table::refresh()
{
    checkActive();
    finishPendingEdit();
    reload(m_indexFields, m_range, true);
    dataEvent(DataEvent::UpdateState);
    dataEvent(DataEvent::DataSetChange);
    Q_EMIT afterRefresh();
}

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
    const QString query = QStringLiteral("SELECT %1 FROM %2%3")
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
    const int position = firstPosition(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                                           .arg(sql::quoted(kRowId), sql::quoted(m_tableName),
                                                conditions.join(QStringLiteral(" AND "))),
                                       binds);
    if (position < 0)
        return false;
    moveTo(position, false);
    return true;
}

int Table::firstPosition(const QString &sql, const QVariantList &binds) const
{
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

// ---------------------------------------------------------------------------------------------
// Fields

Field *Table::findField(const QString &name) const
{
    for (Field *field : m_fields) {
        if (field->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return field;
    }
    return nullptr;
}

Field *Table::fieldByName(const QString &name) const
{
    if (Field *field = findField(name))
        return field;
    throw Error(tr("Field '%1' not found").arg(name));
}

} // namespace kelvara
