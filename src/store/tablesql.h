#pragma once

#include <QString>

#include <sqlite3.h>

#include <memory>
#include <vector>

namespace kelvara {

struct RecordBuffer;

namespace tablesql {

// What the parts of Table share about its SQL: the row id column and the functions it
// registers on every connection, each defined beside the code that uses it.

inline const QString kRowId = QStringLiteral("_rid");

// Where kelvara_row puts the records a read produces.
struct RowSink
{
    int columns = 0;
    bool lean = false;  // the rows come without their late columns
    std::vector<std::shared_ptr<RecordBuffer>> rows;
    std::vector<std::shared_ptr<RecordBuffer>> *spares = nullptr;  // records to fill anew
    struct Value
    {
        int type;
        const char *data;
        int size;
    };
    std::vector<Value> scratch;
};
inline const char *const kRowSinkType = "kelvara_row_sink";

void rowFunction(sqlite3_context *context, int argc, sqlite3_value **argv);  // kelvara_row
void matchFunction(sqlite3_context *context, int, sqlite3_value **argv);     // kelvara_match
void shownFunction(sqlite3_context *context, int, sqlite3_value **argv);     // kelvara_shown

}  // namespace tablesql

}  // namespace kelvara
