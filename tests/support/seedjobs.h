#pragma once

#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

namespace kelvara::test {

// Makes the job table in the working directory before a window opens it, one job per row with
// its Lastname and timeused (a null variant stores none).
inline void seedJobs(const QList<QPair<QString, QVariant>> &rows)
{
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    for (const auto &row : rows) {
        table.append();
        table.fieldByName(QStringLiteral("Lastname"))->setAsString(row.first);
        table.fieldByName(QStringLiteral("timeused"))->setValue(row.second);
        table.post();
    }
}

}  // namespace kelvara::test
