#include "app/storedfont.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kelvara {

namespace {

// Rounds half away from zero, as the platform's size and height conversions do. A result no int
// holds is the nearest one that does.
int scaled(int value, int numerator, int denominator)
{
    const double result = std::round(double(value) * numerator / denominator);
    return int(std::clamp(result, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

// The tallest character a screen shows whole: the height of the tallest screen.
int tallestCharacter()
{
    int tallest = 0;
    for (const QScreen *screen : QGuiApplication::screens())
        tallest = std::max(tallest, screen->size().height());
    return tallest > 0 ? tallest : 1080;
}

}  // namespace

TFontValues::TFontValues(const QFont &font, const QColor &color, int pixelsPerInch)
    : m_font(font), m_color(color), m_pixelsPerInch(pixelsPerInch > 0 ? pixelsPerInch : 96)
{ }

int TFontValues::height() const
{
    if (m_font.pixelSize() > 0)
        return -m_font.pixelSize();
    return -int(std::lround(m_font.pointSizeF() * m_pixelsPerInch / 72.0));
}

void TFontValues::setHeight(int height)
{
    // A positive height counts the line's leading too; the em height is the nearest Qt offers.
    if (height == 0 || height == this->height())
        return;
    // Taller than the screen it is only boxes, and the stored number may be any int.
    m_font.setPixelSize(int(std::min<qint64>(std::abs(qint64(height)), tallestCharacter())));
}

void TFontValues::setName(const QString &name)
{
    if (!name.isEmpty())
        m_font.setFamily(name);
}

int TFontValues::size() const
{
    return -scaled(height(), 72, m_pixelsPerInch);
}

void TFontValues::setSize(int size)
{
    // The size is read after the height and names the same thing less exactly: a size that the
    // height already gives leaves the height as it is.
    if (size <= 0 || size == this->size())
        return;
    setHeight(-scaled(size, m_pixelsPerInch, 72));
}

TFontValues::TFontStyles TFontValues::style() const
{
    TFontStyles style;
    style.setFlag(fsBold, m_font.bold());
    style.setFlag(fsItalic, m_font.italic());
    style.setFlag(fsUnderline, m_font.underline());
    style.setFlag(fsStrikeOut, m_font.strikeOut());
    return style;
}

void TFontValues::setStyle(TFontStyles style)
{
    m_font.setBold(style.testFlag(fsBold));
    m_font.setItalic(style.testFlag(fsItalic));
    m_font.setUnderline(style.testFlag(fsUnderline));
    m_font.setStrikeOut(style.testFlag(fsStrikeOut));
}

}  // namespace kelvara
