#include "storedfont.h"

#include <cmath>
#include <cstdlib>

namespace kelvara {

namespace {

// Rounds half away from zero, as the platform's size and height conversions do.
int scaled(int value, int numerator, int denominator)
{
    return int(std::lround(double(value) * numerator / denominator));
}

} // namespace

TFontValues::TFontValues(const QFont &font, const QColor &color, int pixelsPerInch)
    : m_font(font), m_color(color), m_pixelsPerInch(pixelsPerInch > 0 ? pixelsPerInch : 96)
{
}

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
    m_font.setPixelSize(std::abs(height));
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

} // namespace kelvara
