#include "grid/fieldkind.h"

#include "store/field.h"

namespace kelvara {

FieldKind fieldKind(const Field *field, const std::function<bool(const Field &)> &isBoolean)
{
    if (!field)
        return FieldKind::Plain;
    const FieldType type = field->dataType();
    if (type == ftMemo || type == ftFmtMemo || type == ftBytes)
        return FieldKind::MemoLike;
    if (field->isBlobField())
        return FieldKind::Picture;
    if (isBoolean ? isBoolean(*field) : field->isBooleanField())
        return FieldKind::Boolean;
    if (field->isDateTimeField())
        return FieldKind::DateTime;
    return FieldKind::Plain;
}

}  // namespace kelvara
