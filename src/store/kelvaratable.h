#pragma once

#include "store/fielddef.h"

namespace kelvara {

class Table;

// The design of the "kelvara" table: one record per swarm removal job, 32 fields.
FieldDefs kelvaraFieldDefs();

// Creates the table's file from that design (the table must not exist yet).
void createKelvaraTable(Table &table);

}  // namespace kelvara
