#include "grid/tenhancedgrid.h"

#include "dbctrls/tborderdatetimepicker.h"
#include "grid/cellhints.h"
#include "grid/fieldkind.h"
#include "grid/gridsizer.h"
#include "grid/optionsmenu.h"
#include "platform/colorvalues.h"
#include "platform/errorreport.h"
#include "report/printerlist.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QPaintEvent>

namespace kelvara {

QStringList TEnhancedGrid::defaultPopupStrings()
{
    return {
        QStringLiteral("Auto Size"),
        QStringLiteral("Auto Width"),
        QStringLiteral("-"),
        QStringLiteral("Display Boolean"),
        QStringLiteral("Display Images"),
        QStringLiteral("Display Memo"),
        QStringLiteral("Display Date/Time"),
        QStringLiteral("-"),
        QStringLiteral("Show Text Ellipsis"),
        QStringLiteral("Show Title Ellipsis"),
        QStringLiteral("Full Size Memo"),
        QStringLiteral("-"),
        QStringLiteral("Allow Row Sizing"),
        QStringLiteral("Cell Hints"),
        QStringLiteral("Multi Line Titles"),
        QStringLiteral("Use Row Colors"),
        QStringLiteral("Fixed Columns"),
        QStringLiteral("-"),
        QStringLiteral("Print Grid"),
        QStringLiteral("Print Dataset"),
        QStringLiteral("-"),
        QStringLiteral("Export Grid"),
        QStringLiteral("-"),
        QStringLiteral("Select All"),
        QStringLiteral("Unselect All"),
        QStringLiteral("-"),
        QStringLiteral("Query By Form"),
        QStringLiteral("Sort By Form"),
        QStringLiteral("-"),
        QStringLiteral("Memo Editor Mode"),
        QStringLiteral("RichEdit Editor Mode"),
        QStringLiteral("-"),
        QStringLiteral("Customize"),
        QStringLiteral("Search Mode"),
        QStringLiteral("-"),
        QStringLiteral("Save Layout"),
        QStringLiteral("Load Layout"),
    };
}

TEnhancedGrid::TEnhancedGrid(QWidget *parent) : TDBGrid(parent), m_controls(std::make_unique<TGridControls>(this))
{
    // Every later step may size the grid or place the editors.
    makeSizer();
    makeEditors();
    setDefaultDrawing(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setBorderStyle(bsNone);
    // Hot tracking needs the pointer's entering and leaving.
    setAttribute(Qt::WA_Hover);

    m_hotTrackColor = clNavy;
    m_lockedColor = clGray;
    m_lockedFont = QFont();
    m_lockedFontColor = systemColor(SystemColor::WindowText);
    m_popupStrings = defaultPopupStrings();
    m_optionsMenu = new OptionsMenu(*this);
}

TEnhancedGrid::~TEnhancedGrid() = default;

void TEnhancedGrid::beginLoading()
{
    m_loading = true;
}

void TEnhancedGrid::loaded()
{
    m_loading = false;
    m_hoverColor = fontColor();
    try {
        runColumnEnter();
    } catch (const std::exception &) {
        // A grid whose record set cannot be read yet still finishes loading.
    }
    if (QObject *owner = parent()) {
        for (int i = 0; i < m_controls->count(); ++i) {
            const QString name = m_controls->items(i)->controlName();
            if (name.isEmpty())
                continue;
            if (auto *control = owner->findChild<QWidget *>(name))
                control->hide();
        }
    }
}

void TEnhancedGrid::setControls(const TGridControls &controls)
{
    m_controls->assign(controls);
}

void TEnhancedGrid::setPopupStrings(const QStringList &strings)
{
    m_popupStrings = strings;
    m_optionsMenu->setCaptions(strings);
}

void TEnhancedGrid::setMenuOptions(TMenuOptions options)
{
    options &= allMenuOptions();
    if (options == m_menuOptions)
        return;
    m_menuOptions = options;
    m_optionsMenu->applyMenuOptions(options, PrinterList::count());
    invalidateGrid();
}

void TEnhancedGrid::invalidateGrid()
{
    m_sizer->keepRowSizing();
    TDBGrid::invalidateGrid();
}

void TEnhancedGrid::setDisplayImages(bool on)
{
    if (m_display.displayImages == on)
        return;
    m_display.displayImages = on;
    runColumnEnter();
    invalidateGrid();
}

void TEnhancedGrid::setDisplayMemo(bool on)
{
    m_display.displayMemo = on;
    if (!on)
        setFullSizeMemo(false);
}

void TEnhancedGrid::setDisplayBoolean(bool on)
{
    if (m_display.displayBoolean == on)
        return;
    m_display.displayBoolean = on;
    runColumnEnter();
    invalidateGrid();
}

void TEnhancedGrid::setDisplayDateTime(bool on)
{
    m_display.displayDateTime = on;
    if (!on && datePicker())
        datePicker()->hide();
    runColumnEnter();
    invalidateGrid();
}

void TEnhancedGrid::setUseRowColors(bool on)
{
    m_display.useRowColors = on;
    if (on)
        m_display.useBackgroundPicture = false;
    invalidateGrid();
}

void TEnhancedGrid::setBackgroundPicture(const QImage &picture)
{
    m_display.backgroundPicture = picture;
    // The copy painting uses is made again from the new picture at the next paint.
    m_backgroundCopy = QImage();
    invalidateGrid();
}

void TEnhancedGrid::setUseBackgroundPicture(bool on)
{
    m_display.useBackgroundPicture = on;
    if (on)
        m_display.useRowColors = false;
    invalidateGrid();
}

void TEnhancedGrid::setLockedCols(int count)
{
    m_lockedCols = count;
    applyLockedColumns();
    invalidateGrid();
}

void TEnhancedGrid::setLockedFont(const QFont &font)
{
    m_lockedFont = font;
    applyLockedColumns();
    invalidateGrid();
}

void TEnhancedGrid::setLockedFontColor(const QColor &color)
{
    m_lockedFontColor = color;
    applyLockedColumns();
    invalidateGrid();
}

void TEnhancedGrid::setLockedColor(const QColor &color)
{
    m_lockedColor = color;
    applyLockedColumns();
    invalidateGrid();
}

void TEnhancedGrid::setSearchMode(bool on)
{
    m_searchMode = on;
    if (!on)
        hideSearchBox();
    relayout();
    invalidateGrid();
}

bool TEnhancedGrid::isBooleanField(const Field &field) const
{
    return kelvara::isBooleanField(field, OnIsBooleanField);
}

void TEnhancedGrid::applyLockedColumns()
{
    if (!activeTable())
        return;
    TDBGridColumns *cols = columns();
    // Each column change would lay the grid out again; once, at the end, is enough.
    const UpdateLock update(*this);
    for (int i = 0; i < cols->count(); ++i) {
        TColumn *column = cols->items(i);
        column->setFont(font());
        column->setFontColor(fontColor());
        column->setColor(m_display.cells3D ? fixedColor() : color());
    }
    const int indicator = indicatorOffset();
    int locked = 0;
    if (m_lockedCols == 0) {
        setFixedCols(indicator);
    } else if (m_lockedCols > 0 && m_lockedCols < colCount() - indicator - 1) {
        setFixedCols(m_lockedCols + indicator);
        locked = m_lockedCols;
    }
    // The locked look is drawn over the columns' own, never put in its place: their own is what
    // the settings keep, and a restart brings the columns back unlocked.
    const TColumn::LockedLook look{m_lockedFont, m_lockedFontColor, m_lockedColor};
    for (int i = 0; i < cols->count(); ++i)
        cols->items(i)->setLockedLook(i < locked ? std::optional(look) : std::nullopt);
}

void TEnhancedGrid::columnAttributesApplied()
{
    TDBGrid::columnAttributesApplied();
    applyLockedColumns();
}

void TEnhancedGrid::enterEvent(QEnterEvent *event)
{
    TDBGrid::enterEvent(event);
    if (m_hotTrack) {
        setFontColor(m_hotTrackColor);
        // The columns carry copies of the grid's font: they take the new colour through this.
        applyLockedColumns();
    }
}

void TEnhancedGrid::leaveEvent(QEvent *event)
{
    TDBGrid::leaveEvent(event);
    // The pointer resting on a cell under its own hint has not left the grid.
    if (m_cellHint && m_cellHint->coversPointer())
        return;
    if (m_cellHints)
        hideCellHint();
    if (m_hotTrack) {
        setFontColor(m_hoverColor.isValid() ? m_hoverColor : systemColor(SystemColor::WindowText));
        applyLockedColumns();
    }
}

}  // namespace kelvara
