#include "grid/tcolumn.h"

#include "grid/gridcanvas.h"
#include "grid/tdbgrid.h"
#include "grid/tdbgridcolumns.h"
#include "store/field.h"

#include <algorithm>

namespace kelvara {

TColumn::TColumn(TDBGridColumns *collection)
    : QObject(nullptr), m_collection(collection), m_title(std::make_unique<TColumnTitle>(this))
{ }

TColumn::~TColumn() = default;

TDBGrid *TColumn::grid() const
{
    return m_collection ? m_collection->grid() : nullptr;
}

int TColumn::index() const
{
    return m_collection ? m_collection->indexOf(this) : -1;
}

void TColumn::setIndex(int index)
{
    if (m_collection)
        m_collection->move(this->index(), index);
}

Field *TColumn::field() const
{
    const TDBGrid *grid = this->grid();
    return grid ? grid->fields(index()) : nullptr;
}

void TColumn::changed(Change change)
{
    if (change == Change::None)
        return;
    if (TDBGrid *grid = this->grid())
        grid->columnChanged(this, int(change));
}

Alignment TColumn::defaultAlignment() const
{
    const Field *field = this->field();
    return field ? field->alignment() : taLeftJustify;
}

Alignment TColumn::alignment() const
{
    return m_alignment.isAssigned() ? m_alignment.value() : defaultAlignment();
}

void TColumn::setAlignment(Alignment alignment)
{
    if (m_alignment.set(alignment))
        changed(Change::Paint);
}

void TColumn::restoreAlignment()
{
    if (m_alignment.restore())
        changed(Change::Paint);
}

void TColumn::setButtonStyle(TColumnButtonStyle style)
{
    m_buttonStyle = style;
}

QColor TColumn::defaultColor() const
{
    const TDBGrid *grid = this->grid();
    return grid ? grid->color() : QColor(Qt::white);
}

QColor TColumn::ownColor() const
{
    return m_color.isAssigned() ? m_color.value() : defaultColor();
}

QColor TColumn::color() const
{
    return m_lockedLook ? m_lockedLook->color : ownColor();
}

void TColumn::setColor(const QColor &color)
{
    if (m_color.set(color))
        changed(Change::Paint);
}

void TColumn::restoreColor()
{
    if (m_color.restore())
        changed(Change::Paint);
}

void TColumn::setDropDownRows(int rows)
{
    m_dropDownRows = rows;
}

void TColumn::setExpanded(bool expanded)
{
    m_expanded = expanded;
}

void TColumn::setFieldName(const QString &name)
{
    if (name == m_fieldName)
        return;
    m_fieldName = name;
    changed(Change::Layout);
}

QFont TColumn::defaultFont() const
{
    const TDBGrid *grid = this->grid();
    return grid ? grid->font() : QFont();
}

QColor TColumn::defaultFontColor() const
{
    const TDBGrid *grid = this->grid();
    return grid ? grid->fontColor() : QColor(Qt::black);
}

QFont TColumn::ownFont() const
{
    return m_font.isAssigned() ? m_font.font() : defaultFont();
}

QColor TColumn::ownFontColor() const
{
    return m_font.isAssigned() ? m_font.color() : defaultFontColor();
}

QFont TColumn::font() const
{
    return m_lockedLook ? m_lockedLook->font : ownFont();
}

QColor TColumn::fontColor() const
{
    return m_lockedLook ? m_lockedLook->fontColor : ownFontColor();
}

void TColumn::setLockedLook(const std::optional<LockedLook> &look)
{
    if (look == m_lockedLook)
        return;
    const QFont before = font();
    m_lockedLook = look;
    // The default width is measured in the font the column is drawn in.
    if (font() != before)
        changed(Change::Width);
    changed(Change::Paint);
}

void TColumn::setFont(const QFont &font)
{
    if (!m_font.setFont(font, defaultFontColor()))
        return;
    // The default width is measured in the column's font.
    changed(Change::Width);
    changed(Change::Paint);
}

void TColumn::setFontColor(const QColor &color)
{
    if (m_font.setColor(color, defaultFont()))
        changed(Change::Paint);
}

void TColumn::restoreFont()
{
    if (!m_font.restore())
        return;
    changed(Change::Width);
    changed(Change::Paint);
}

void TColumn::setPickList(const QStringList &list)
{
    m_pickList = list;
}

void TColumn::setPopupMenu(QMenu *menu)
{
    m_popupMenu = menu;
}

bool TColumn::defaultReadOnly() const
{
    const Field *field = this->field();
    return field && field->readOnly();
}

bool TColumn::readOnly() const
{
    return m_readOnly.isAssigned() ? m_readOnly.value() : defaultReadOnly();
}

void TColumn::setReadOnly(bool readOnly)
{
    if (m_readOnly.set(readOnly))
        changed(Change::Paint);
}

void TColumn::restoreReadOnly()
{
    if (m_readOnly.restore())
        changed(Change::Paint);
}

void TColumn::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    changed(Change::Width);
}

int TColumn::defaultWidth() const
{
    const TDBGrid *grid = this->grid();
    if (!grid)
        return 64;
    const Field *field = this->field();
    if (!field)
        return grid->defaultColWidth();
    int width = field->displayWidth() * GridCanvas(font()).textWidth(QStringLiteral("0")) + 4;
    if (grid->options() & TDBGrid::dgTitles)
        width = std::max(width, GridCanvas(m_title->font()).textWidth(m_title->caption()) + 4);
    return width;
}

int TColumn::width() const
{
    if (!m_visible)
        return -1;
    return m_width.isAssigned() ? m_width.value() : defaultWidth();
}

void TColumn::setWidth(int width)
{
    // A negative width stands for no width of its own.
    if (width < 0) {
        restoreWidth();
        return;
    }
    if (m_width.set(width))
        changed(Change::Width);
}

void TColumn::restoreWidth()
{
    if (m_width.restore())
        changed(Change::Width);
}

void TColumn::assign(const TColumn &other)
{
    m_fieldName = other.m_fieldName;
    m_alignment = other.m_alignment;
    m_buttonStyle = other.m_buttonStyle;
    m_color = other.m_color;
    m_dropDownRows = other.m_dropDownRows;
    m_expanded = other.m_expanded;
    m_font = other.m_font;
    m_imeMode = other.m_imeMode;
    m_imeName = other.m_imeName;
    m_pickList = other.m_pickList;
    m_popupMenu = other.m_popupMenu;
    m_readOnly = other.m_readOnly;
    m_visible = other.m_visible;
    m_width = other.m_width;
    m_title->assign(*other.m_title);
    changed(Change::Layout);
}

void TColumn::restoreDefaults()
{
    m_alignment.restore();
    m_color.restore();
    m_font.restore();
    m_readOnly.restore();
    m_width.restore();
    m_title->restoreDefaults();
    changed(Change::Layout);
}

}  // namespace kelvara
