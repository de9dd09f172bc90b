#include "store/storetypes.h"

#include <QMetaEnum>

namespace kelvara {

QString fieldTypeName(FieldType type)
{
    const char *key = QMetaEnum::fromType<FieldType>().valueToKey(type);
    return key ? QString::fromLatin1(key + 2) : QStringLiteral("Unknown");
}

bool isBlobType(FieldType type)
{
    switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary: return true;
    default: return false;
    }
}

bool isMemoType(FieldType type)
{
    return type == ftMemo || type == ftFmtMemo;
}

bool isDateTimeType(FieldType type)
{
    return type == ftDate || type == ftTime || type == ftDateTime;
}

bool isNumericType(FieldType type)
{
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftAutoInc: return true;
    default: return false;
    }
}

}  // namespace kelvara
