#pragma once

class QKeyEvent;

namespace kelvara {

// Keys that change the text of an edit box: a bound box or a grid editor must be editing its
// record before they act.
bool isEditingKey(const QKeyEvent *event);

// Whether the key's text is what the keyboard layout typed. A letter held with Alt or Ctrl is a
// command key, not a character, whatever text the platform passes with it; AltGr (Ctrl+Alt, or
// the group switch) types the characters of its layout, such as '@' and '{' on a Norwegian one.
bool typesText(const QKeyEvent *event);

// Whether the key carries text that a box would insert although the key does not type it (see
// typesText); the application delivers such a key without its text.
bool carriesCommandText(const QKeyEvent *event);

}  // namespace kelvara
