#include "grid/gridcanvas.h"

#include <algorithm>

namespace kelvara {

void GridCanvas::setFont(const QFont &font)
{
    if (font == m_font && m_metrics)
        return;
    m_font = font;
    m_metrics.reset();
}

const QFontMetrics &GridCanvas::metrics() const
{
    if (!m_metrics)
        m_metrics.emplace(m_font);
    return *m_metrics;
}

int GridCanvas::textWidth(const QString &text) const
{
    return metrics().horizontalAdvance(text);
}

int GridCanvas::textHeight(const QString &text) const
{
    Q_UNUSED(text);
    return metrics().height();
}

QRect GridCanvas::textRect(const QRect &bounds, int flags, const QString &text) const
{
    return metrics().boundingRect(bounds, flags, text);
}

int GridCanvas::wrappedTextHeight(const QString &text, int width) const
{
    if (text.isEmpty())
        return 0;
    const QRect bounds(0, 0, std::max(1, width), 1 << 20);
    return textRect(bounds, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs, text).height();
}

}  // namespace kelvara
