#pragma once

#include "store/storetypes.h"

#include <functional>

namespace kelvara {

class Field;

// How the grid shows, edits, keys and prints a field's cells.
enum class FieldKind { MemoLike, Picture, Boolean, DateTime, Plain };

// The kind of a field, decided in the order of the enumeration. isBoolean, when given, alone
// decides whether a field is a boolean (the grid's OnIsBooleanField); without it only boolean
// fields are. No field is plain.
FieldKind fieldKind(const Field *field, const std::function<bool(const Field &)> &isBoolean = {});

// The parts of that decision, for the questions that ask one of them alone.
// Memo-like by data type: ftMemo, ftFmtMemo and ftBytes, text the grid shows and edits whole.
bool isMemoLike(FieldType type);
// A boolean field: isBoolean's answer when given, else its data type.
bool isBooleanField(const Field &field, const std::function<bool(const Field &)> &isBoolean);

}  // namespace kelvara
