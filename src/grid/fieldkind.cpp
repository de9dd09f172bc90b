#include "grid/fieldkind.h"

#include "store/field.h"

namespace kelvara {

bool isMemoLike(FieldType type)
{
    return type == ftMemo || type == ftFmtMemo || type == ftBytes;
}

bool isBooleanField(const Field &field, const std::function<bool(const Field &)> &isBoolean)
{
    return isBoolean ? isBoolean(field) : field.isBooleanField();
}

FieldKind fieldKind(const Field *field, const std::function<bool(const Field &)> &isBoolean)
{
    if (!field)
        return FieldKind::Plain;
    if (isMemoLike(field->dataType()))
        return FieldKind::MemoLike;
    if (field->isBlobField())
        return FieldKind::Picture;
    if (isBooleanField(*field, isBoolean))
        return FieldKind::Boolean;
    if (field->isDateTimeField())
        return FieldKind::DateTime;
    return FieldKind::Plain;
}

}  // namespace kelvara
