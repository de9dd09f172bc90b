#include "store/kelvaratable.h"

#include "store/table.h"

namespace kelvara {

FieldDefs kelvaraFieldDefs()
{
    // Real addresses and e-mail addresses are longer than the 20 characters shown: the fields
    // hold 60 (e-mail 254, the longest address mail allows) and keep a display width of 20, so
    // that layouts, printouts and exports keep their columns.
    auto text = [](const char *name) {
        FieldDef def;
        def.name = QString::fromLatin1(name);
        def.type = ftString;
        def.size = qstrcmp(name, "Email") == 0 ? 254 : 60;
        def.displayWidth = 20;
        return def;
    };
    auto typed = [](const char *name, FieldType type) {
        FieldDef def;
        def.name = QString::fromLatin1(name);
        def.type = type;
        return def;
    };

    FieldDef dato = typed("Dato", ftDate);
    dato.editMask = QStringLiteral("!99/99/0000;1;_");
    FieldDef timeused = typed("timeused", ftSmallint);
    timeused.displayWidth = 5;
    timeused.displayFormat = QStringLiteral("00.00");

    FieldDefs defs{dato};
    for (const char *name :
         {"Firstname", "Lastname", "HomePhone", "WorkPhone", "Cellular", "Email", "Street1", "Street2", "City1",
          "Zipcode", "street3", "Street4", "city2", "camefrom", "wentinto", "Typeofbee", "method"})
        defs << text(name);
    FieldDef notes = typed("notes", ftMemo);
    notes.size = 1;
    defs << notes << text("State1") << text("State2") << timeused;
    for (const char *name : {"pic1", "pic2", "pic3", "pic4", "pic5"})
        defs << typed(name, ftBlob);
    for (const char *name : {"comment1", "comment2", "comment3", "comment4", "comment5"})
        defs << typed(name, ftMemo);
    return defs;
}

void createKelvaraTable(Table &table)
{
    table.createTable(kelvaraFieldDefs());
}

}  // namespace kelvara
