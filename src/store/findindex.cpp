#include "store/findindex.h"

#include "store/error.h"
#include "store/findwords.h"

#include <QElapsedTimer>

#include <algorithm>
#include <iterator>
#include <limits>
#include <vector>

namespace kelvara {

namespace {

// Changes whenever the documents would be made differently, so that every stamp made before
// differs and the next pass makes every document anew.
constexpr quint64 kDocumentVersion = 1;

QString valueText(sqlite3_value *value)
{
    if (sqlite3_value_type(value) == SQLITE_NULL)
        return QString();
    // A BLOB reads as the text of its bytes, as the data sheet shows it.
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return QString::fromUtf8(bytes, sqlite3_value_bytes(value));
}

QString documentOf(int argc, sqlite3_value **argv)
{
    QString document;
    for (int i = 0; i < argc; ++i)
        findwords::appendToDocument(document, valueText(argv[i]));
    return document;
}

// kelvara_find_doc(text, ...): the document of a record's texts.
void documentFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    try {
        const QByteArray utf8 = documentOf(argc, argv).toUtf8();
        sqlite3_result_text(context, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

// kelvara_find_stamp(text, ...): a hash of the stored texts (FNV-1a over their types and bytes).
void stampFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    quint64 hash = 14695981039346656037ULL ^ kDocumentVersion;
    auto add = [&hash](uchar byte) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    };
    for (int i = 0; i < argc; ++i) {
        const int type = sqlite3_value_type(argv[i]);
        add(uchar(type));
        if (type == SQLITE_NULL)
            continue;
        const auto *bytes = static_cast<const uchar *>(sqlite3_value_blob(argv[i]));
        const int size = sqlite3_value_bytes(argv[i]);
        for (int b = 0; b < size; ++b)
            add(bytes[b]);
        add(0xff);  // no UTF-8 byte: "ab","c" and "a","bc" differ
    }
    sqlite3_result_int64(context, qint64(hash));
}

// kelvara_found(words, text, ...): whether every word starts a word of the record's texts.
void foundFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    try {
        auto *words = static_cast<QStringList *>(sqlite3_get_auxdata(context, 0));
        if (!words) {
            auto *made = new QStringList(valueText(argv[0]).split(QLatin1Char(' '), Qt::SkipEmptyParts));
            sqlite3_set_auxdata(context, 0, made, [](void *p) { delete static_cast<QStringList *>(p); });
            words = static_cast<QStringList *>(sqlite3_get_auxdata(context, 0));
            if (!words) {
                sqlite3_result_error_nomem(context);
                return;
            }
        }
        sqlite3_result_int(context, findwords::documentMatches(*words, documentOf(argc - 1, argv + 1)));
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

const char *const kCollectorType = "kelvara_rowids";

// kelvara_collect(ids, rowid): appends the row id to the gatherer; 0.
void collectFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    auto *ids = static_cast<std::vector<qint64> *>(sqlite3_value_pointer(argv[0], kCollectorType));
    if (!ids) {
        sqlite3_result_error(context, "kelvara_collect needs a gatherer", -1);
        return;
    }
    try {
        ids->push_back(sqlite3_value_int64(argv[1]));
        sqlite3_result_int(context, 0);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

}  // namespace

void FindIndex::collect(sql::Statement &query, std::vector<qint64> &ids)
{
    query.bindPointer(1, &ids, kCollectorType);
    while (query.step()) { }
    query.reset();
    if (!std::is_sorted(ids.begin(), ids.end()))
        std::sort(ids.begin(), ids.end());
}

std::vector<qint64> FindIndex::matches(const QStringList &words) const
{
    if (m_setsGeneration != m_generation) {
        m_wordSets.clear();
        m_setsGeneration = m_generation;
    }
    std::vector<std::pair<QString, std::vector<qint64>>> sets;
    for (const QString &word : words) {
        auto kept
            = std::find_if(m_wordSets.begin(), m_wordSets.end(), [&](const auto &set) { return set.first == word; });
        if (kept != m_wordSets.end()) {
            sets.push_back(std::move(*kept));
            m_wordSets.erase(kept);
            continue;
        }
        sql::Statement query = m_db.prepare(
            QStringLiteral("SELECT sum(kelvara_collect(?1, rowid)) FROM %1 WHERE %1 MATCH ?2").arg(sql::quoted(m_fts)));
        query.bindText(2, matchArgument({word}));
        std::vector<qint64> ids;
        collect(query, ids);
        sets.emplace_back(word, std::move(ids));
    }
    // The jobs holding every word, from the smallest set on.
    std::vector<const std::vector<qint64> *> bySize;
    for (const auto &set : sets)
        bySize.push_back(&set.second);
    std::sort(bySize.begin(), bySize.end(), [](const auto *a, const auto *b) { return a->size() < b->size(); });
    std::vector<qint64> result = bySize.empty() ? std::vector<qint64>() : *bySize.front();
    for (size_t i = 1; i < bySize.size(); ++i) {
        std::vector<qint64> both;
        std::set_intersection(result.begin(), result.end(), bySize[i]->begin(), bySize[i]->end(),
                              std::back_inserter(both));
        result = std::move(both);
    }
    m_wordSets = std::move(sets);
    return result;
}

void FindIndex::registerFunctions(sqlite3 *db)
{
    // DIRECTONLY: the schema, triggers and views of a foreign file cannot call them.
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY;
    sqlite3_create_function_v2(db, "kelvara_find_doc", -1, flags, nullptr, documentFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "kelvara_find_stamp", -1, flags, nullptr, stampFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "kelvara_found", -1, flags, nullptr, foundFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "kelvara_collect", 2, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr, collectFunction,
                               nullptr, nullptr, nullptr);
}

FindIndex::FindIndex(sql::Database &db, const QString &tableName, const QString &rowIdColumn,
                     const QStringList &columns)
    : m_db(db), m_table(sql::quoted(tableName)), m_rid(sql::quoted(rowIdColumn)),
      m_fts(tableName + QStringLiteral("_find")), m_stamps(tableName + QStringLiteral("_find_stamp")),
      m_columnList(columns.join(QStringLiteral(", ")))
{
    {
        sql::Transaction transaction(m_db);
        m_db.exec(QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS %1 USING fts5(\"words\", "
                                 "tokenize = 'unicode61 remove_diacritics 2', prefix = '1 2 3')")
                      .arg(sql::quoted(m_fts)));
        m_db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"rid\" INTEGER PRIMARY KEY, \"stamp\" INTEGER)")
                      .arg(sql::quoted(m_stamps)));
        transaction.commit();
    }
    // A table of that name that another program made is no word index: this fails on it.
    m_db.prepare(matchingRowIds() + QStringLiteral(" LIMIT 0")).run();
    m_putDocument = m_db.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (rowid, \"words\") "
                                                "SELECT %2, kelvara_find_doc(%3) FROM %4 WHERE %2 = ?")
                                     .arg(sql::quoted(m_fts), m_rid, m_columnList, m_table));
    m_putStamp = m_db.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (\"rid\", \"stamp\") "
                                             "SELECT %2, kelvara_find_stamp(%3) FROM %4 WHERE %2 = ?")
                                  .arg(sql::quoted(m_stamps), m_rid, m_columnList, m_table));
    m_dropDocument = m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(sql::quoted(m_fts)));
    m_dropStamp = m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE \"rid\" = ?").arg(sql::quoted(m_stamps)));
}

QString FindIndex::matchingRowIds() const
{
    return QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?").arg(sql::quoted(m_fts));
}

QString FindIndex::matchArgument(const QStringList &words)
{
    return findwords::ftsQuery(words);
}

QString FindIndex::scanCondition(const QStringList &quotedColumns)
{
    return QStringLiteral("kelvara_found(?, %1)").arg(quotedColumns.join(QStringLiteral(", ")));
}

QString FindIndex::scanArgument(const QStringList &words)
{
    return words.join(QLatin1Char(' '));
}

void FindIndex::follow(qint64 rid)
{
    // A record that is gone puts nothing: its old document goes first.
    forget(rid);
    m_putDocument.bindInt64(1, rid);
    m_putDocument.run();
    m_putStamp.bindInt64(1, rid);
    m_putStamp.run();
}

void FindIndex::forget(qint64 rid)
{
    ++m_generation;
    m_dropDocument.bindInt64(1, rid);
    m_dropDocument.run();
    m_dropStamp.bindInt64(1, rid);
    m_dropStamp.run();
}

qint64 FindIndex::dataVersion() const
{
    sql::Statement version = m_db.prepare(QStringLiteral("PRAGMA data_version"));
    return version.step() ? version.int64(0) : 0;
}

void FindIndex::noticeOtherWriters()
{
    if (!m_passDue && dataVersion() != m_versionAtPass)
        m_passDue = true;
}

void FindIndex::startPass()
{
    ++m_generation;
    m_passDue = false;
    m_passing = true;
    m_passFrom = std::numeric_limits<qint64>::min();
    m_versionAtPass = dataVersion();
    sql::Statement made = m_db.prepare(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(sql::quoted(m_stamps)));
    m_fresh = made.step() && made.int64(0) == 0;
    if (m_fresh) {
        // Documents without stamps are none we made: they go, and every one is made anew.
        sql::Transaction transaction(m_db);
        m_db.exec(QStringLiteral("DELETE FROM %1").arg(sql::quoted(m_fts)));
        transaction.commit();
    }
}

bool FindIndex::work(int budgetMs)
{
    if (m_passDue)
        startPass();
    if (!m_passing)
        return false;
    QElapsedTimer timer;
    timer.start();
    sql::Statement upTo = m_db.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE %1 > ? ORDER BY %1 LIMIT 1 OFFSET ?").arg(m_rid, m_table));
    sql::Statement changed = m_db.prepare(
        QStringLiteral("SELECT t.%1 FROM %2 t LEFT JOIN %3 s ON s.\"rid\" = t.%1 WHERE t.%1 > ?1 AND t.%1 <= ?2 "
                       "AND s.\"stamp\" IS NOT kelvara_find_stamp(%4)")
            .arg(m_rid, m_table, sql::quoted(m_stamps), m_columnList));
    sql::Statement gone
        = m_db.prepare(QStringLiteral("SELECT s.\"rid\" FROM %1 s WHERE s.\"rid\" > ?1 AND s.\"rid\" <= ?2 "
                                      "AND NOT EXISTS (SELECT 1 FROM %2 t WHERE t.%3 = s.\"rid\")")
                           .arg(sql::quoted(m_stamps), m_table, m_rid));
    // A first pass puts every record's document in one statement a slice.
    sql::Statement putDocuments = m_db.prepare(
        QStringLiteral("INSERT OR REPLACE INTO %1 (rowid, \"words\") SELECT %2, kelvara_find_doc(%3) FROM %4 "
                       "WHERE %2 > ?1 AND %2 <= ?2")
            .arg(sql::quoted(m_fts), m_rid, m_columnList, m_table));
    sql::Statement putStamps = m_db.prepare(
        QStringLiteral("INSERT OR REPLACE INTO %1 (\"rid\", \"stamp\") SELECT %2, kelvara_find_stamp(%3) FROM %4 "
                       "WHERE %2 > ?1 AND %2 <= ?2")
            .arg(sql::quoted(m_stamps), m_rid, m_columnList, m_table));
    bool last = false;
    while (!last && timer.elapsed() < budgetMs) {
        const qint64 sliceStart = timer.elapsed();
        upTo.bindInt64(1, m_passFrom);
        upTo.bindInt64(2, m_sliceRows - 1);
        qint64 to = std::numeric_limits<qint64>::max();
        if (upTo.step())
            to = upTo.int64(0);
        else
            last = true;
        upTo.reset();
        // The documents are made again from the records whenever lost: a crash may cost the
        // last slices, never a record, so they need not wait for the disk.
        m_db.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        try {
            sql::Transaction transaction(m_db);
            if (m_fresh) {
                for (sql::Statement *put : {&putDocuments, &putStamps}) {
                    put->bindInt64(1, m_passFrom);
                    put->bindInt64(2, to);
                    put->run();
                }
            } else {
                std::vector<qint64> stale;
                for (sql::Statement *query : {&changed, &gone}) {
                    query->bindInt64(1, m_passFrom);
                    query->bindInt64(2, to);
                    while (query->step())
                        stale.push_back(query->int64(0));
                    query->reset();
                }
                for (const qint64 rid : stale)
                    follow(rid);
            }
            transaction.commit();
        } catch (...) {
            m_db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
            throw;
        }
        m_db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        ++m_generation;
        m_passFrom = to;
        // Slices of about a fifth of the budget keep the pause a slice makes short.
        const qint64 took = qMax<qint64>(1, timer.elapsed() - sliceStart);
        m_sliceRows = int(std::clamp<qint64>(qint64(m_sliceRows) * qMax(1, budgetMs / 5) / took, 64, 20000));
    }
    if (last) {
        m_passing = false;
        // Another program wrote during the pass: what it changed may lie behind the pass.
        if (dataVersion() != m_versionAtPass)
            m_passDue = true;
    }
    return !ready();
}

}  // namespace kelvara
