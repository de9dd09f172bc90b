#pragma once

#include <QStringView>
#include <QTextOption>

namespace kelvara {

// A text box that wraps at word boundaries looks, for every line it lays out, through the rest
// of the run of characters the line starts in for a place to break: a run of hundreds of
// thousands of characters without a blank, as a damaged or hostile file may hold, takes it
// minutes. Such text wraps anywhere; other text keeps to word boundaries.
QTextOption::WrapMode wrapModeFor(QStringView text);

// Sets a box's wrap mode for the text about to be put in it (QPlainTextEdit, QTextEdit).
template <typename TextBox>
void wrapFor(TextBox &box, QStringView text)
{
    const QTextOption::WrapMode mode = wrapModeFor(text);
    if (box.wordWrapMode() != mode)
        box.setWordWrapMode(mode);
}

} // namespace kelvara
