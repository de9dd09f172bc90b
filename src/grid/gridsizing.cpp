#include "grid/gridsizing.h"

#include "grid/gridcanvas.h"
#include "store/field.h"
#include "store/table.h"

#include <QFontMetricsF>

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

// Long texts are seldom repeated and the distinct ones of a big table would fill memory, so
// only short texts (and patterns) are kept, and only so many.
constexpr qsizetype kLongestKept = 64;
constexpr qsizetype kKeptTexts = 8192;
// Texts of a pattern measured in full before the pattern's width is trusted for the rest.
constexpr int kConfirmations = 16;

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool hasDigit(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), isDigit);
}

QString zeroDigits(QString text)
{
    for (QChar &c : text) {
        if (isDigit(c))
            c = u'0';
    }
    return text;
}

// One measured column during the walk.
struct ColumnMeasure
{
    Field *field = nullptr;
    bool wholeText = false;
    TextWidths widths;
    int widest = 0;

    ColumnMeasure(Field *field, bool wholeText, const QFont &font, int startWidth)
        : field(field), wholeText(wholeText), widths(font), widest(startWidth)
    { }

    void measure()
    {
        if (field->isNull())
            return;
        const QString text = wholeText ? field->asString() : field->displayText();
        if (!text.isEmpty())
            widest = std::max(widest, widths.width(text));
    }
};

}  // namespace

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

TextWidths::TextWidths(const QFont &font, FigureCheck check) : m_canvas(font), m_check(check) { }

int TextWidths::width(const QString &text)
{
    if (text.size() > kLongestKept)
        return m_canvas.textWidth(text);
    const auto known = m_widths.constFind(text);
    if (known != m_widths.constEnd())
        return *known;
    if (m_digits != Digits::Unshared && hasDigit(text))
        return patternWidth(text);
    return measure(text);
}

int TextWidths::measure(const QString &text)
{
    const int width = m_canvas.textWidth(text);
    if (m_widths.size() < kKeptTexts)
        m_widths.insert(text, width);
    return width;
}

// Phone numbers, dates and the like are mostly distinct texts but few patterns. In a font with
// tabular figures, and without kerning or substitutions that tell digits apart, a text measures
// what any other text with the same characters and digits in the same places measures. That is
// checked on the font (the digits alone, in pairs and beside each neighbour met) and then on the
// texts: the first texts of each pattern are measured in full, and the first that disagrees
// turns sharing off for the column, so that any font still measures exactly.
int TextWidths::patternWidth(const QString &text)
{
    if (m_digits == Digits::Unchecked)
        m_digits = m_check == FigureCheck::TextsOnly || tabularFigures() ? Digits::Shared : Digits::Unshared;
    if (m_digits == Digits::Unshared)
        return measure(text);

    const QString pattern = zeroDigits(text);
    auto found = m_patterns.find(pattern);
    if (found == m_patterns.end()) {
        const bool shared = neighboursAgree(pattern);
        const int width = measure(text);
        if (m_patterns.size() < kKeptTexts)
            m_patterns.insert(pattern, Pattern{width, 1, shared});
        return width;
    }
    if (!found->shared)
        return measure(text);
    if (found->confirmed >= kConfirmations)
        return found->width;
    const int width = measure(text);
    if (width != found->width) {
        m_digits = Digits::Unshared;
        m_patterns.clear();
    } else {
        ++found->confirmed;
    }
    return width;
}

// All ten digits advance alike and no pair of them is kerned. The unrounded widths are compared,
// so that differences too small to show in one text cannot add up over several digits.
bool TextWidths::tabularFigures() const
{
    const QFontMetricsF metrics(m_canvas.font());
    const qreal zero = metrics.horizontalAdvance(QStringLiteral("0"));
    const qreal pair = metrics.horizontalAdvance(QStringLiteral("00"));
    for (char16_t first = u'0'; first <= u'9'; ++first) {
        if (metrics.horizontalAdvance(QString(QChar(first))) != zero)
            return false;
        for (char16_t second = u'0'; second <= u'9'; ++second) {
            if (metrics.horizontalAdvance(QString(QChar(first)) + QChar(second)) != pair)
                return false;
        }
    }
    return true;
}

bool TextWidths::neighboursAgree(const QString &pattern)
{
    if (m_check == FigureCheck::TextsOnly)
        return true;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern.at(i) != u'0')
            continue;
        if (i > 0 && pattern.at(i - 1) != u'0' && !neighbourAgrees(pattern.at(i - 1), true))
            return false;
        if (i + 1 < pattern.size() && pattern.at(i + 1) != u'0' && !neighbourAgrees(pattern.at(i + 1), false))
            return false;
    }
    return true;
}

// Whether the character measures alike beside (before or after) every digit: no kerning or
// substitution between it and a digit tells the digits apart.
bool TextWidths::neighbourAgrees(QChar neighbour, bool before)
{
    QHash<QChar, bool> &known = before ? m_before : m_after;
    const auto found = known.constFind(neighbour);
    if (found != known.constEnd())
        return *found;
    // Half a surrogate pair cannot be measured on its own.
    bool agrees = !neighbour.isSurrogate();
    const QFontMetricsF metrics(m_canvas.font());
    auto joined = [&](char16_t digit) {
        return before ? QString(neighbour) + QChar(digit) : QString(QChar(digit)) + neighbour;
    };
    const qreal zero = agrees ? metrics.horizontalAdvance(joined(u'0')) : 0;
    for (char16_t digit = u'1'; agrees && digit <= u'9'; ++digit)
        agrees = metrics.horizontalAdvance(joined(digit)) == zero;
    known.insert(neighbour, agrees);
    return agrees;
}

QList<int> widestValues(Table &table, const QList<MeasuredColumn> &columns)
{
    std::vector<ColumnMeasure> measures;
    measures.reserve(size_t(columns.size()));
    for (const MeasuredColumn &column : columns) {
        if (!column.field)
            continue;
        measures.emplace_back(column.field, column.wholeText, column.font, column.startWidth);
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

}  // namespace kelvara::sizing
