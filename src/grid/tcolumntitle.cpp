#include "grid/tcolumntitle.h"

#include "grid/tcolumn.h"
#include "grid/tdbgrid.h"
#include "store/field.h"

namespace kelvara {

TColumnTitle::TColumnTitle(TColumn *column) : QObject(nullptr), m_column(column) { }

Alignment TColumnTitle::alignment() const
{
    return m_alignment.isAssigned() ? m_alignment.value() : taLeftJustify;
}

void TColumnTitle::setAlignment(Alignment alignment)
{
    if (m_alignment.set(alignment))
        changed(false);
}

void TColumnTitle::restoreAlignment()
{
    if (m_alignment.restore())
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
    return m_caption.isAssigned() ? m_caption.value() : defaultCaption();
}

void TColumnTitle::setCaption(const QString &caption)
{
    // With titles shown, the caption's width takes part in the column's default width.
    if (m_caption.set(caption))
        m_column->changed(TColumn::Change::Width);
}

void TColumnTitle::restoreCaption()
{
    if (m_caption.restore())
        m_column->changed(TColumn::Change::Width);
}

QColor TColumnTitle::defaultColor() const
{
    const TDBGrid *grid = m_column->grid();
    return grid ? grid->fixedColor() : QColor(Qt::lightGray);
}

QColor TColumnTitle::color() const
{
    return m_color.isAssigned() ? m_color.value() : defaultColor();
}

void TColumnTitle::setColor(const QColor &color)
{
    if (m_color.set(color))
        changed(false);
}

void TColumnTitle::restoreColor()
{
    if (m_color.restore())
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
    return m_font.isAssigned() ? m_font.font() : defaultFont();
}

QColor TColumnTitle::fontColor() const
{
    return m_font.isAssigned() ? m_font.color() : defaultFontColor();
}

void TColumnTitle::setFont(const QFont &font)
{
    if (m_font.setFont(font, defaultFontColor()))
        changed(true);
}

void TColumnTitle::setFontColor(const QColor &color)
{
    if (m_font.setColor(color, defaultFont()))
        changed(false);
}

void TColumnTitle::restoreFont()
{
    if (m_font.restore())
        changed(true);
}

void TColumnTitle::assign(const TColumnTitle &other)
{
    m_alignment = other.m_alignment;
    m_caption = other.m_caption;
    m_color = other.m_color;
    m_font = other.m_font;
    changed(true);
}

void TColumnTitle::restoreDefaults()
{
    m_alignment.restore();
    m_caption.restore();
    m_color.restore();
    m_font.restore();
    changed(true);
}

void TColumnTitle::changed(bool layout)
{
    // A title font sets the title row's height; everything else only repaints.
    m_column->changed(layout ? TColumn::Change::Layout : TColumn::Change::Paint);
}

}  // namespace kelvara
