#include "gridsizing.h"

#include "field.h"
#include "gridcanvas.h"
#include "table.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kelvara::sizing {

namespace {

// Nearest integer, a half going to the even neighbour, whatever the floating point rounding
// mode happens to be.
int roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        result = floor + 1.0;
    return int(result);
}

int visibleCount(const QList<bool> &visible, qsizetype columns)
{
    int count = 0;
    for (qsizetype i = 0; i < columns; ++i)
        count += visible.value(i) ? 1 : 0;
    return count;
}

// One measured column during the walk. Texts seen before are not measured again: most columns
// repeat a small set of values (names, places, pick-list entries). Long texts are seldom
// repeated and the distinct ones of a big table would fill memory, so only short ones are kept,
// and only so many.
struct ColumnMeasure
{
    static constexpr qsizetype kLongestKept = 64;
    static constexpr qsizetype kKeptTexts = 8192;

    Field *field = nullptr;
    bool wholeText = false;
    GridCanvas canvas;
    int widest = 0;
    QHash<QString, int> widths;

    void measure()
    {
        if (field->isNull())
            return;
        const QString text = wholeText ? field->asString() : field->displayText();
        if (text.isEmpty())
            return;
        int width;
        const bool keep = text.size() <= kLongestKept;
        const auto known = keep ? widths.constFind(text) : widths.constEnd();
        if (known != widths.constEnd()) {
            width = *known;
        } else {
            width = canvas.textWidth(text);
            if (keep && widths.size() < kKeptTexts)
                widths.insert(text, width);
        }
        widest = std::max(widest, width);
    }
};

} // namespace

bool isMemoLike(FieldType type)
{
    return type == ftMemo || type == ftFmtMemo || type == ftBytes;
}

int availableWidth(int clientWidth, int visibleCount, int gridLineWidth, bool colLines, bool indicator)
{
    int available = clientWidth;
    if (colLines)
        available -= gridLineWidth * visibleCount;
    if (indicator)
        available -= kIndicatorWidth;
    if (indicator && colLines)
        available -= gridLineWidth;
    return available;
}

QList<int> proportionalWidths(const QList<int> &widths, const QList<bool> &visible, int available)
{
    int remaining = visibleCount(visible, widths.size());
    qint64 sum = 0;
    for (qsizetype i = 0; i < widths.size(); ++i) {
        if (visible.value(i))
            sum += widths.at(i);
    }
    // No column has a share to keep; equal shares are the only proportion left.
    if (sum == 0)
        return uniformWidths(widths, visible, available);

    QList<int> result = widths;
    int rest = available;
    for (qsizetype i = 0; i < widths.size() && remaining > 0; ++i) {
        if (!visible.value(i))
            continue;
        const int width = roundHalfEven(double(widths.at(i)) / double(sum) * double(available));
        rest -= width;
        --remaining;
        result[i] = remaining == 0 ? rest + width : width;
    }
    return result;
}

QList<int> uniformWidths(const QList<int> &widths, const QList<bool> &visible, int available)
{
    const int count = visibleCount(visible, widths.size());
    QList<int> result = widths;
    if (count == 0)
        return result;
    const int share = available / count;
    const int extra = available % count;
    for (qsizetype i = 0; i < widths.size(); ++i) {
        if (visible.value(i))
            result[i] = i < extra ? share + 1 : share;
    }
    return result;
}

int measuredWidth(int widest, int defaultWidth, int clientWidth)
{
    if (widest == 0)
        return defaultWidth;
    const int width = widest + kMeasuredMargin;
    return clientWidth < width ? clientWidth : width;
}

QList<int> widestValues(Table &table, const QList<MeasuredColumn> &columns)
{
    std::vector<ColumnMeasure> measures;
    measures.reserve(size_t(columns.size()));
    for (const MeasuredColumn &column : columns) {
        if (!column.field)
            continue;
        ColumnMeasure &measure = measures.emplace_back();
        measure.field = column.field;
        measure.wholeText = column.wholeText;
        measure.canvas.setFont(column.font);
        measure.widest = column.startWidth;
    }

    if (!measures.empty()) {
        DisabledControlsScope suspended(table);
        // Each record is read once for all columns. The walk runs backwards so that it ends on
        // the first record, where a grid that has just been sized is best looked at.
        table.last();
        while (!table.bof()) {
            for (ColumnMeasure &measure : measures)
                measure.measure();
            table.prior();
        }
        suspended.resume();
    }

    QList<int> result;
    result.reserve(columns.size());
    auto measure = measures.cbegin();
    for (const MeasuredColumn &column : columns)
        result << (column.field ? (measure++)->widest : column.startWidth);
    return result;
}

int wrappedTitleHeight(const QFont &font, const QString &caption, int width)
{
    const GridCanvas canvas(font);
    if (width > 0)
        return canvas.wrappedTextHeight(caption, width);
    if (caption.isEmpty())
        return 0;
    const QRect unbounded(0, 0, 1 << 20, 1 << 20);
    return canvas.textRect(unbounded, Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs, caption).height();
}

} // namespace kelvara::sizing
