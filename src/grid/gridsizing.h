#pragma once

#include "grid/gridcanvas.h"
#include "store/storetypes.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QString>

namespace kelvara {

class Field;
class Table;

// The arithmetic of the grid's column width modes and the measuring of column values and
// titles, apart from the grid so that each rule can be checked on its own.
namespace sizing {

// Width of the indicator column, which the shared modes leave free.
constexpr int kIndicatorWidth = 11;
// Room added to a measured value so that its text does not touch the cell's edge.
constexpr int kMeasuredMargin = 5;

// The width that the proportional and uniform modes share among the visible columns: the client
// width less one grid line per visible column (with column lines) and less the indicator column
// with its own line.
int availableWidth(int clientWidth, int visibleCount, int gridLineWidth, bool colLines, bool indicator);

// New widths of all columns, in column order, for the proportional mode: each visible column
// keeps its share of `available`, rounded half to even, and the last visible one takes what
// rounding left over, so that the visible widths sum to `available`. Visible columns that are
// all 0 wide have no shares and are given equal ones, as uniformWidths does. Hidden columns
// keep their widths.
QList<int> proportionalWidths(const QList<int> &widths, const QList<bool> &visible, int available);

// New widths for the uniform mode: q = available div k and r = available mod k over the k
// visible columns; a visible column at a position (hidden columns counted) below r gets q + 1,
// any other q. Unchanged without visible columns.
QList<int> uniformWidths(const QList<int> &widths, const QList<bool> &visible, int available);

// The width a measured column takes: its default width when nothing was measured, else the
// widest text plus the margin, but never more than the client width.
int measuredWidth(int widest, int defaultWidth, int clientWidth);

// The widths of one column's texts in one font, exactly as the grid's canvas measures them.
// Measuring (shaping) a text is far dearer than reading it, so a text seen before is looked up,
// and texts that differ only in their digits are measured once when the font allows it.
class TextWidths
{
public:
    // Whether the font (its figures and their neighbours) is checked before texts share widths by
    // their digits, or only the first texts of each pattern (which lets the tests try that check
    // on its own).
    enum class FigureCheck { FontAndTexts, TextsOnly };

    explicit TextWidths(const QFont &font, FigureCheck check = FigureCheck::FontAndTexts);

    int width(const QString &text);
    // Whether texts that differ only in their digits may share a width: neither the font's figure
    // check nor a text measured in full has ruled it out.
    bool sharesDigitPatterns() const { return m_digits != Digits::Unshared; }

private:
    // A text with its digits made zeros, and the width its texts measured.
    struct Pattern
    {
        int width = 0;
        int confirmed = 0;    // texts measured in full that gave this width
        bool shared = false;  // its digits' neighbours measure alike beside any digit
    };
    enum class Digits { Unchecked, Shared, Unshared };

    int measure(const QString &text);
    int patternWidth(const QString &text);
    bool tabularFigures() const;
    bool neighboursAgree(const QString &pattern);
    bool neighbourAgrees(QChar neighbour, bool before);

    GridCanvas m_canvas;
    FigureCheck m_check;
    QHash<QString, int> m_widths;
    QHash<QString, Pattern> m_patterns;
    QHash<QChar, bool> m_before;  // whether a character before a digit measures alike for any digit
    QHash<QChar, bool> m_after;   // the same, after a digit
    Digits m_digits = Digits::Unchecked;
};

struct MeasuredColumn
{
    Field *field = nullptr;  // none: the column is not measured
    QFont font;              // the column's font
    int startWidth = 0;      // the widest value before the walk
    bool wholeText = false;  // measure the value as text (a whole memo, on one line), not the display text
};

// Walks the table once, from its last record to its first, and gives for each column the width
// of its widest non-null text in the column's font, at least its start width (the start width
// alone for a column without a field). The table's controls stay disabled for the walk, which
// ends on the first record; a read that fails ends the walk with its error. Without any field
// to read the table is not walked.
QList<int> widestValues(Table &table, const QList<MeasuredColumn> &columns);

// The height of a title caption broken at word boundaries (tabs expanded) into width; a caption
// with no room to break into (width 0 or less) is measured unbroken.
int wrappedTitleHeight(const QFont &font, const QString &caption, int width);

}  // namespace sizing
}  // namespace kelvara
