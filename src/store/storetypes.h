#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

namespace kelvara {
Q_NAMESPACE

// Data types of fields, named as the record store names them.
enum FieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor
};
Q_ENUM_NS(FieldType)

enum Alignment { taLeftJustify, taRightJustify, taCenter };
Q_ENUM_NS(Alignment)

enum DataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey };
Q_ENUM_NS(DataSetState)

// loAccentInsensitive compares letters without their accents ("a" finds "å", "o" finds "ø").
enum LocateOption { loCaseInsensitive = 0x1, loPartialKey = 0x2, loAccentInsensitive = 0x4 };
Q_DECLARE_FLAGS(LocateOptions, LocateOption)
Q_FLAG_NS(LocateOptions)

// What a data source tells its links; mirrors the order of events a record set produces.
enum class DataEvent {
    FieldChange,
    RecordChange,
    DataSetChange,
    DataSetScroll,
    LayoutChange,
    UpdateRecord,
    UpdateState,
    CheckBrowseMode
};

// The name of a type without its "ft" prefix, as shown in blob display texts ("Memo", "Graphic").
QString fieldTypeName(FieldType type);

bool isBlobType(FieldType type);
bool isMemoType(FieldType type);  // ftMemo and ftFmtMemo: text kept with the record
bool isDateTimeType(FieldType type);
bool isNumericType(FieldType type);

}  // namespace kelvara

Q_DECLARE_OPERATORS_FOR_FLAGS(kelvara::LocateOptions)
