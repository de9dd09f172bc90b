#pragma once

class QKeyEvent;

namespace kelvara {

// Keys that change the text of an edit box: a bound box or a grid editor must be editing its
// record before they act.
bool isEditingKey(const QKeyEvent *event);

} // namespace kelvara
