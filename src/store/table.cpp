#include "store/table.h"

#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"
#include "store/findindex.h"
#include "store/recordbuffer.h"
#include "store/statistics.h"
#include "store/tablefiles.h"
#include "store/tablesql.h"
#include "store/textconv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kelvara {

using namespace tablesql;

namespace {

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
        {QStringLiteral("VARCHAR"), ftString},
        {QStringLiteral("SMALLINT"), ftSmallint},
        {QStringLiteral("INT"), ftInteger},
        {QStringLiteral("WORD"), ftWord},
        {QStringLiteral("BOOLEAN"), ftBoolean},
        {QStringLiteral("FLOAT"), ftFloat},
        {QStringLiteral("CURRENCY"), ftCurrency},
        {QStringLiteral("DATE"), ftDate},
        {QStringLiteral("TIME"), ftTime},
        {QStringLiteral("DATETIME"), ftDateTime},
        {QStringLiteral("MEMO"), ftMemo},
        {QStringLiteral("FMTMEMO"), ftFmtMemo},
        {QStringLiteral("BLOB"), ftBlob},
        {QStringLiteral("GRAPHIC"), ftGraphic},
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

// Whether no connection of another process uses a table's shared-memory file: each holds a
// read lock on its "dead man switch" byte (offset 128 in SQLite's Unix layout) while it has the
// file mapped. Connections of this process are not seen here and are checked by the caller.
bool sharedMemoryUnused(const QString &file)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 128;
    probe.l_len = 1;
    const bool unused = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type == F_UNLCK;
    ::close(fd);
    return unused;
#else
    Q_UNUSED(file);
    return false;
#endif
}

}  // namespace

Table::Table(QObject *parent) : QObject(parent), m_empty(std::make_shared<RecordBuffer>()) { }

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
        db.exec(
            QStringLiteral("CREATE TABLE %1 (%2)").arg(sql::quoted(m_tableName), columns.join(QStringLiteral(", "))));
        // "id" never repeats, so it tells apart every version of a record's bytes.
        db.exec(QStringLiteral("CREATE TABLE %1 (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                               "\"rid\" INTEGER NOT NULL, \"field\" TEXT NOT NULL, \"data\" BLOB NOT NULL, "
                               "UNIQUE (\"rid\", \"field\"))")
                    .arg(sql::quoted(blobTableName())));
        RenditionStore::createTable(db, renditionTableName());
        db.exec(QStringLiteral("CREATE TABLE %1 (\"name\" TEXT PRIMARY KEY, \"label\" TEXT, "
                               "\"width\" INTEGER, \"format\" TEXT, \"mask\" TEXT)")
                    .arg(sql::quoted(metaTableName())));
        sql::Statement meta
            = db.prepare(QStringLiteral("INSERT INTO %1 (\"name\", \"label\", \"width\", \"format\", \"mask\") "
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

}  // namespace

bool Table::hasFiles() const
{
    return std::any_of(std::begin(kTableFileSuffixes), std::end(kTableFileSuffixes),
                       [this](const char *suffix) { return QFileInfo::exists(fileName() + QLatin1String(suffix)); });
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
        const bool taken
            = std::any_of(std::begin(kTableFileSuffixes), std::end(kTableFileSuffixes),
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
    throw Error(
        tr("Cannot move the table %1 aside: %2").arg(fileName(), failure.isEmpty() ? tr("no free name") : failure));
}

void Table::removeUnfinishedCreations()
{
    if (m_tableName.isEmpty())
        return;
    const QFileInfo target(fileName());
    // The names createTable makes its new file under, with the files SQLite keeps beside it.
    const QRegularExpression made(QStringLiteral("^%1\\.new-[A-Za-z0-9]{6}(-wal|-shm|-journal)?$")
                                      .arg(QRegularExpression::escape(target.fileName())));
    const QDir folder = target.dir();
    for (const QString &name :
         folder.entryList({target.fileName() + QStringLiteral(".new-*")}, QDir::Files | QDir::Hidden | QDir::System)) {
        if (made.match(name).hasMatch())
            QFile::remove(folder.filePath(name));
    }
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

void Table::setExpectedDesign(const FieldDefs &design)
{
    m_expectedDesign = design;
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
    // SQLite makes a log and a shared-memory file beside the table as it opens it. An open that
    // fails, or that reads the table as an unchanging file, removes the empty ones it made
    // rather than leave them beside a file it refused or did not use.
    QStringList madeHere;
    for (const char *suffix : {"-wal", "-shm"}) {
        if (!QFileInfo::exists(fileName() + QLatin1String(suffix)))
            madeHere << fileName() + QLatin1String(suffix);
    }
    auto removeEmptyMadeHere = [this, &madeHere] {
        // Never under another connection: a table open elsewhere in this process, or a shared-
        // memory file another process has mapped, is left alone.
        if (tablefiles::contains(fileName()))
            return;
        for (const QString &file : std::as_const(madeHere)) {
            const QFileInfo made(file);
            if (!made.isFile() || made.isSymLink())
                continue;
            // The shared memory holds nothing lasting (SQLite rebuilds it from the log); a log
            // made here and still empty holds nothing either.
            if (file.endsWith(QLatin1String("-shm")) ? sharedMemoryUnused(file) : made.size() == 0)
                QFile::remove(file);
        }
    };
    try {
        if (openDatabase(readOnlyOpen))
            removeEmptyMadeHere();
        // An open that fails must leave the files as it found them: closing would otherwise fold
        // the log into the file, or delete a log that holds records, before anyone looked at it.
        m_db.setCheckpointOnClose(false);
        readSchema();
        registerFunctions();
        try {
            prepareStatements();
        } catch (const DamagedError &) {
            throw;
        } catch (const BusyError &) {
            throw;
        } catch (const Error &e) {
            // The schema read, but our statements do not fit it: tables of another shape.
            throw DamagedError(e.message());
        }
        // Only a file known to be one of our tables is ever written to.
        if (!readOnlyOpen) {
            m_db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            m_db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        }
        if (m_selectBlob.isValid())
            m_renditions = std::make_unique<RenditionStore>(m_db, blobTableName(), renditionTableName(), !readOnlyOpen);
        if (!readOnlyOpen)
            openFindIndex();
        m_indexFields = m_indexFieldNames.isEmpty() ? QList<Field *>() : parseFieldList(m_indexFieldNames, true);
        m_range = Range();
        m_ids = queryIds(m_indexFields, m_range);
        m_inSortOrder = true;
        m_posValid = false;
        m_cache.clear();
        m_readLate = false;
        m_lastLoaded = 0;
        m_pos = -1;
        setPosition(m_ids.empty() ? -1 : 0, true, m_ids.empty());
        m_db.setCheckpointOnClose(true);
    } catch (const BusyError &e) {
        // Another program has the table open: what stands beside it may be its own.
        releaseDatabase();
        throw BusyError(
            tr("Cannot open table '%1': it is in use by another program (%2)").arg(fileName(), e.message()));
    } catch (const DamagedError &e) {
        releaseDatabase();
        removeEmptyMadeHere();
        throw DamagedError(tr("Cannot open table '%1': %2").arg(fileName(), e.message()));
    } catch (const Error &e) {
        releaseDatabase();
        removeEmptyMadeHere();
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

bool Table::openDatabase(bool readOnly)
{
    m_db = sql::Database(fileName(), readOnly ? sql::Database::Mode::ReadOnly : sql::Database::Mode::ReadWrite);
    m_db.exec(QStringLiteral("PRAGMA cell_size_check=ON"));
    if (!readOnly)
        return false;
    try {
        m_db.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const Error &) {
        // A table in WAL mode needs a shared-memory file beside it even to be read. Where that
        // file cannot be made (a folder we may not write, a full disk), the table can still be
        // read as an unchanging file, provided no write-ahead log holds changes that are not
        // in the table file yet.
        const int code = m_db.lastErrorCode() & 0xff;
        const QFileInfo wal(fileName() + QStringLiteral("-wal"));
        if ((code != SQLITE_READONLY && code != SQLITE_CANTOPEN && code != SQLITE_FULL && code != SQLITE_IOERR)
            || (wal.exists() && wal.size() > 0))
            throw;
        m_db = sql::Database(fileName(), sql::Database::Mode::Immutable);
        m_db.exec(QStringLiteral("PRAGMA cell_size_check=ON"));
        return true;
    }
    return false;
}

void Table::registerFunctions()
{
    // All are ours alone: DIRECTONLY keeps the schema, triggers and views of a foreign file
    // from calling them.
    sqlite3_create_function_v2(m_db.handle(), "kelvara_row", -1, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr, rowFunction,
                               nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(m_db.handle(), "kelvara_match", 3,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr, matchFunction, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(m_db.handle(), "kelvara_shown", 2,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr, shownFunction, nullptr,
                               nullptr, nullptr);
    FindIndex::registerFunctions(m_db.handle());
    registerStatisticsFunctions(m_db.handle());
}

void Table::releaseDatabase()
{
    m_findIndex.reset();
    m_unfound = UnfoundIds();
    m_selectRows = sql::Statement();
    m_selectSpan = sql::Statement();
    m_selectLeanRows = sql::Statement();
    m_selectLeanSpan = sql::Statement();
    m_selectLate = sql::Statement();
    m_insertRow = sql::Statement();
    m_updateRow = sql::Statement();
    m_selectBlob = sql::Statement();
    m_selectBlobId = sql::Statement();
    m_renditions.reset();
    m_cache.clear();
    m_current.reset();
    m_override.reset();
    m_ids.clear();
    m_inSortOrder = false;
    m_insertPos = -1;
    m_posOf.clear();
    m_posValid = false;
    m_pos = -1;
    m_bof = m_eof = true;
    m_indexFields.clear();
    m_fields.clear();
    m_ownedFields.clear();
    m_checkedColumns.clear();
    m_lastFound = nullptr;
    m_db.close();
}

void Table::readSchema()
{
    if (!m_db.hasTable(m_tableName))
        throw DamagedError(tr("the file holds no table '%1'").arg(m_tableName));
    // Views and triggers another program made may stand beside our tables: they are its own, and
    // stay idle here, as every connection runs with triggers and views off.
    sql::Statement info = m_db.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(sql::quoted(m_tableName)));
    FieldDefs defs;
    bool first = true;
    while (info.step()) {
        const QString name = info.text(1);
        const QString declared = info.text(2);
        if (first) {
            if (name != kRowId || info.int64(5) != 1)
                throw DamagedError(tr("the table '%1' was not made by this program").arg(m_tableName));
            first = false;
            continue;
        }
        const auto def = parseDeclaredType(name, declared);
        if (!def)
            throw DamagedError(tr("the column '%1' has the type '%2', which a table cannot hold").arg(name, declared));
        defs << *def;
    }
    if (defs.isEmpty())
        throw DamagedError(tr("the table '%1' has no fields").arg(m_tableName));

    const bool hasBlobs = std::any_of(defs.cbegin(), defs.cend(),
                                      [](const FieldDef &d) { return isBlobType(d.type) && !isMemoType(d.type); });
    if (hasBlobs && !m_db.hasTable(blobTableName()))
        throw DamagedError(tr("the picture table '%1' is missing").arg(blobTableName()));
    if (m_db.hasTable(metaTableName())) {
        sql::Statement meta
            = m_db.prepare(QStringLiteral("SELECT \"name\", \"label\", \"width\", \"format\", \"mask\" FROM %1")
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

    for (FieldDef &def : defs) {
        if (def.type != ftString)
            continue;
        for (const FieldDef &expected : std::as_const(m_expectedDesign)) {
            if (expected.type != ftString || expected.size <= def.size
                || expected.name.compare(def.name, Qt::CaseInsensitive) != 0)
                continue;
            if (def.displayWidth == 0)
                def.displayWidth = def.size;
            def.size = expected.size;
        }
    }

    m_defs = defs;
    m_fields.clear();
    m_ownedFields.clear();
    m_checkedColumns.clear();
    m_lastFound = nullptr;
    int fieldNo = 1;
    for (const FieldDef &def : std::as_const(m_defs)) {
        m_ownedFields.push_back(std::make_unique<Field>(this, def, fieldNo++));
        m_fields << m_ownedFields.back().get();
        switch (m_fields.back()->dataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftBoolean:
        case ftFloat:
        case ftCurrency:
        case ftBCD: m_checkedColumns.push_back(int(m_ownedFields.size()) - 1); break;
        default: break;  // text, dates and bytes read as something (or null) whatever was stored
        }
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
    m_selectSpan = m_db.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 BETWEEN ? AND ?").arg(packed, table, rowid));
    // Memos and photo sizes are late columns: a walk over the table seldom reads them, and
    // leaving them out of its reads spares a good part of the work per record.
    QStringList leanColumns, lateColumns;
    m_leanIndex.clear();
    for (const auto &field : m_ownedFields) {
        const bool late = field->keepsBytesApart() || isMemoType(field->dataType());
        QStringList &list = late ? lateColumns : leanColumns;
        m_leanIndex.push_back(late ? -1 - int(lateColumns.size()) : int(leanColumns.size()));
        list << sql::quoted(field->fieldName());
    }
    m_leanCount = int(leanColumns.size());
    m_lateCount = int(lateColumns.size());
    m_readLate = false;
    if (m_lateCount > 0 && m_leanCount > 0) {
        const QString lean
            = QStringLiteral("kelvara_row(?, %1, %2)").arg(rowid, leanColumns.join(QStringLiteral(", ")));
        m_selectLeanRows = m_db.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4)")
                                            .arg(lean, table, rowid, marks.join(QStringLiteral(", "))));
        m_selectLeanSpan
            = m_db.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 BETWEEN ? AND ?").arg(lean, table, rowid));
        m_selectLate = m_db.prepare(QStringLiteral("SELECT kelvara_row(?, %1, %2) FROM %3 WHERE %1 = ?")
                                        .arg(rowid, lateColumns.join(QStringLiteral(", ")), table));
    }
    if (!m_db.isReadOnly()) {
        m_insertRow = m_db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                       .arg(table, m_columnList, params.join(QStringLiteral(", "))));
        m_updateRow = m_db.prepare(
            QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?").arg(table, assignments.join(QStringLiteral(", ")), rowid));
    }
    const bool hasBlobs
        = std::any_of(m_ownedFields.cbegin(), m_ownedFields.cend(), [](const auto &f) { return f->keepsBytesApart(); });
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
    m_inSortOrder = false;
    m_insertPos = -1;
    m_posOf.clear();
    m_posValid = false;
    m_pos = -1;
    m_bof = m_eof = true;
    m_modified = false;
    m_range = Range();
    m_find = FindFilter();
    m_findWords.clear();
    // Links let go of their fields before the fields go.
    dataEvent(DataEvent::UpdateState);
    releaseDatabase();
    tablefiles::remove(fileName());
    Q_EMIT afterClose();
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
    if (m_disableCount++ == 0)
        m_heldControlsWritten = false;
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
// Fields

Field *Table::findField(const QString &name) const
{
    // Handlers that look a field up on every move mostly spell it as it is defined: that exact
    // match is a plain comparison, and only a name spelt otherwise folds case character by
    // character, for names of its length.
    if (m_lastFound && m_lastFound->fieldName() == name)
        return m_lastFound;
    for (Field *field : m_fields) {
        if (field->fieldName() == name)
            return m_lastFound = field;
    }
    for (Field *field : m_fields) {
        const QString &fieldName = field->fieldName();
        if (fieldName.size() == name.size() && fieldName.compare(name, Qt::CaseInsensitive) == 0)
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

}  // namespace kelvara
