#pragma once

#include "store/fielddef.h"

namespace kelvara::test {

// A field of a table's design with only its name, type and size set, as most tests need it.
inline FieldDef fieldDef(const QString &name, FieldType type, int size = 0)
{
    FieldDef def;
    def.name = name;
    def.type = type;
    def.size = size;
    return def;
}

}  // namespace kelvara::test
