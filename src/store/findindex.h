#pragma once

#include "store/sqlite.h"

#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <utility>
#include <vector>

namespace kelvara {

// The word index of a table's texts, for finding jobs by any word as the user types: an FTS5
// table "<table>_find" holding one folded document per record (findwords.h), and a table
// "<table>_find_stamp" holding, by row id, a hash of the texts the document was made from.
//
// The index never answers for records it does not match. Our own saves and deletes update it in
// their transaction (follow, forget). Another program may change the table while we are away or
// while we run, and nothing it does tells us which records: so after the open, and whenever the
// file's data version shows another connection's commit, a pass compares every record's stamp
// with the texts it holds now and makes the documents of those that differ anew. Until the pass
// is through, finds scan the records instead (same results, slower). The pass runs in slices
// on the table's own connection, so the window stays responsive and no second writer competes.
class FindIndex
{
public:
    // The columns whose texts are indexed, quoted for SQL. The tables are made when missing;
    // fails with an Error when they cannot be (no FTS5, a full disk, a busy file).
    FindIndex(sql::Database &db, const QString &tableName, const QString &rowIdColumn, const QStringList &columns);

    // The functions the index and a scan call, for every connection of ours.
    static void registerFunctions(sqlite3 *db);

    // Whether the documents match the records: no pass is under way or due.
    bool ready() const { return !m_passDue && !m_passing; }
    // Starts a pass again when another connection committed since the last one began.
    void noticeOtherWriters();
    // Does one slice of the pass, of about `budgetMs`; true while more is left.
    bool work(int budgetMs);

    // Inside the caller's write transaction: the record's document now, or none when it is gone.
    void follow(qint64 rid);
    void forget(qint64 rid);

    // The row ids of the records holding every word, ascending.
    std::vector<qint64> matches(const QStringList &words) const;
    // Gathers the row ids a query gives into ids: the query's first parameter is bound to the
    // gatherer, and the query sums kelvara_collect(?1, <row id>) over its rows, so that tens of
    // thousands of row ids come back in one step rather than one step each.
    static void collect(sql::Statement &query, std::vector<qint64> &ids);

    // The SQL that finds the row ids of the records holding every word, and its one parameter.
    QString matchingRowIds() const;
    static QString matchArgument(const QStringList &words);

    // The condition a scan uses instead, with the row's columns; its one parameter is
    // scanArgument(words).
    static QString scanCondition(const QStringList &quotedColumns);
    static QString scanArgument(const QStringList &words);

    QString ftsTableName() const { return m_fts; }
    QString stampTableName() const { return m_stamps; }

private:
    qint64 dataVersion() const;
    void startPass();

    sql::Database &m_db;
    QString m_table;
    QString m_rid;
    QString m_fts;
    QString m_stamps;
    QString m_columnList;  // the texts, as arguments of the document and stamp functions
    sql::Statement m_putDocument;
    sql::Statement m_putStamp;
    sql::Statement m_dropDocument;
    sql::Statement m_dropStamp;
    bool m_passing = false;
    bool m_fresh = false;
    // The matches of each word of the last finds, while the documents stay as they were: typing
    // a second word asks the index for that word alone.
    quint64 m_generation = 0;  // counts changes of the documents
    mutable quint64 m_setsGeneration = 0;
    mutable std::vector<std::pair<QString, std::vector<qint64>>>
        m_wordSets;         // no document made yet: the pass makes them all, without comparing
    qint64 m_passFrom = 0;  // the pass has checked the records up to this row id
    bool m_passDue = true;
    qint64 m_versionAtPass = 0;
    int m_sliceRows = 256;
};

}  // namespace kelvara
