#pragma once

#include <QStringView>
#include <QTextOption>

namespace kelvara {

// A text box that wraps at word boundaries looks, for every line it lays out, through the rest
// of the run of characters the line starts in for a place to break: a run of hundreds of
// thousands of characters without a blank, as a damaged or hostile file may hold, takes it
// minutes. Such text wraps anywhere; other text keeps to word boundaries.
QTextOption::WrapMode wrapModeFor(QStringView text);

// Puts text into a box (QPlainTextEdit, QTextEdit) by `put`, with the wrap mode for it. Each
// change of mode lays the box's text out anew, so a box never holds a long run while it wraps
// at word boundaries: the mode changes before such a text goes in, and after it has gone.
template <typename TextBox, typename Put> void putWrapped(TextBox &box, QStringView text, Put &&put)
{
    const QTextOption::WrapMode mode = wrapModeFor(text);
    if (mode == QTextOption::WrapAnywhere && box.wordWrapMode() != mode)
        box.setWordWrapMode(mode);
    put();
    if (box.wordWrapMode() != mode)
        box.setWordWrapMode(mode);
}

}  // namespace kelvara
