#pragma once

#include <QPoint>
#include <QSize>

namespace kelvara {

// The state every enhanced grid of the process shares instead of keeping its own: the check-box
// size painting uses, the click counters of the second click that opens an editor, and the
// pending clipboard command. Kept in one place so that a test can start from a clean process.
struct GridSharedState
{
    // Two clicks on the same cell open its editor, counted per kind of editor. The counts are the
    // process's, not one grid's: a click in another grid counts as the first of a new pair there.
    struct ClickCounters
    {
        int memo = 0;
        int date = 0;
        QPoint first;
        QPoint second;
    };

    // Measured again in its style by each new grid when it first paints; empty until then.
    QSize checkBoxSize;
    ClickCounters clicks;
    // Ctrl+C or Ctrl+V seen on key down, run by the character that follows (0: none); the
    // process's, as the character may reach another grid.
    int pendingClipboardKey = 0;

    static GridSharedState &instance();
    // Back to the state of a process in which no grid has run yet.
    static void reset();
};

}  // namespace kelvara
