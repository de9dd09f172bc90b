#pragma once

#include "store/storetypes.h"

#include <QList>
#include <QString>

namespace kelvara {

// One field of a table's design: what createTable is given and what an opened table reports.
struct FieldDef
{
    QString name;
    FieldType type = ftString;
    int size = 0;           // characters of a text field; 0 for the other types
    QString displayLabel;   // empty: the name
    int displayWidth = 0;   // characters; 0: the type's default
    QString displayFormat;  // number picture or empty
    QString editMask;       // the mask a bound edit box applies, or empty

    bool operator==(const FieldDef &other) const
    {
        return name == other.name && type == other.type && size == other.size && displayLabel == other.displayLabel
            && displayWidth == other.displayWidth && displayFormat == other.displayFormat && editMask == other.editMask;
    }
};

using FieldDefs = QList<FieldDef>;

struct IndexDef
{
    QString name;
    QString fields;  // ';'-separated field names
};

}  // namespace kelvara
