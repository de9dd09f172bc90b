#include "tcolumntitle.h"

#include "field.h"
#include "tcolumn.h"
#include "tdbgrid.h"

namespace kelvara {

TColumnTitle::TColumnTitle(TColumn *column) : QObject(nullptr), m_column(column) {}

Alignment TColumnTitle::alignment() const
{
    return m_alignmentAssigned ? m_alignment : taLeftJustify;
}

void TColumnTitle::setAlignment(Alignment alignment)
{
    if (m_alignmentAssigned && alignment == m_alignment)
        return;
    m_alignment = alignment;
    m_alignmentAssigned = true;
    changed(false);
}

void TColumnTitle::restoreAlignment()
{
    if (!m_alignmentAssigned)
        return;
    m_alignmentAssigned = false;
    changed(false);
}

QString TColumnTitle::defaultCaption() const
{
    if (const Field *field = m_column->field())
        return field->displayLabel();
    return m_column->fieldName();
}

QString TColumnTitle::caption() const
{
    return m_captionAssigned ? m_caption : defaultCaption();
}

void TColumnTitle::setCaption(const QString &caption)
{
    if (m_captionAssigned && caption == m_caption)
        return;
    m_caption = caption;
    m_captionAssigned = true;
    // With titles shown, the caption's width takes part in the column's default width.
    m_column->changed(TColumn::Change::Width);
}

void TColumnTitle::restoreCaption()
{
    if (!m_captionAssigned)
        return;
    m_captionAssigned = false;
    m_column->changed(TColumn::Change::Width);
}

QColor TColumnTitle::defaultColor() const
{
    const TDBGrid *grid = m_column->grid();
    return grid ? grid->fixedColor() : QColor(Qt::lightGray);
}

QColor TColumnTitle::color() const
{
    return m_colorAssigned ? m_color : defaultColor();
}

void TColumnTitle::setColor(const QColor &color)
{
    if (m_colorAssigned && color == m_color)
        return;
    m_color = color;
    m_colorAssigned = true;
    changed(false);
}

void TColumnTitle::restoreColor()
{
    if (!m_colorAssigned)
        return;
    m_colorAssigned = false;
    changed(false);
}

QFont TColumnTitle::defaultFont() const
{
    const TDBGrid *grid = m_column->grid();
    return grid ? grid->titleFont() : QFont();
}

QColor TColumnTitle::defaultFontColor() const
{
    const TDBGrid *grid = m_column->grid();
    return grid ? grid->titleFontColor() : QColor(Qt::black);
}

QFont TColumnTitle::font() const
{
    return m_fontAssigned ? m_font : defaultFont();
}

QColor TColumnTitle::fontColor() const
{
    return m_fontAssigned ? m_fontColor : defaultFontColor();
}

void TColumnTitle::setFont(const QFont &font)
{
    if (m_fontAssigned && font == m_font)
        return;
    if (!m_fontAssigned)
        m_fontColor = defaultFontColor();
    m_font = font;
    m_fontAssigned = true;
    changed(true);
}

void TColumnTitle::setFontColor(const QColor &color)
{
    if (m_fontAssigned && color == m_fontColor)
        return;
    if (!m_fontAssigned)
        m_font = defaultFont();
    m_fontColor = color;
    m_fontAssigned = true;
    changed(false);
}

void TColumnTitle::restoreFont()
{
    if (!m_fontAssigned)
        return;
    m_fontAssigned = false;
    changed(true);
}

void TColumnTitle::assign(const TColumnTitle &other)
{
    m_alignment = other.m_alignment;
    m_caption = other.m_caption;
    m_color = other.m_color;
    m_font = other.m_font;
    m_fontColor = other.m_fontColor;
    m_alignmentAssigned = other.m_alignmentAssigned;
    m_captionAssigned = other.m_captionAssigned;
    m_colorAssigned = other.m_colorAssigned;
    m_fontAssigned = other.m_fontAssigned;
    changed(true);
}

void TColumnTitle::restoreDefaults()
{
    m_alignmentAssigned = m_captionAssigned = m_colorAssigned = m_fontAssigned = false;
    changed(true);
}

void TColumnTitle::changed(bool layout)
{
    // A title font sets the title row's height; everything else only repaints.
    m_column->changed(layout ? TColumn::Change::Layout : TColumn::Change::Paint);
}

} // namespace kelvara
