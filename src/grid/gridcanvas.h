#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

#include <optional>

namespace kelvara {

// The grid's drawing surface for measuring: a current font on which text width and height are
// taken, single-line or word-wrapped into a given width.
class GridCanvas
{
public:
    GridCanvas() = default;
    explicit GridCanvas(const QFont &font) : m_font(font) { }

    const QFont &font() const { return m_font; }
    void setFont(const QFont &font);

    int textWidth(const QString &text) const;
    // The height of one line of text in the font, whatever the characters.
    int textHeight(const QString &text) const;
    // The rectangle text takes when laid out in bounds with Qt alignment and text flags.
    QRect textRect(const QRect &bounds, int flags, const QString &text) const;
    // The height of text broken at word boundaries into width (tabs expanded).
    int wrappedTextHeight(const QString &text, int width) const;

private:
    const QFontMetrics &metrics() const;

    QFont m_font;
    mutable std::optional<QFontMetrics> m_metrics;
};

}  // namespace kelvara
