#include "grid/optionsmenu.h"

#include "platform/errorreport.h"
#include "store/error.h"
#include "store/table.h"

#include <QAction>
#include <QActionGroup>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include <algorithm>
#include <iterator>

#include <optional>

namespace kelvara {

namespace {

using Grid = TEnhancedGrid;

using Menu = OptionsMenu;

// The switches whose check mark is a Boolean property of the grid.
struct Toggle
{
    Menu::Item item;
    bool (Grid::*get)() const;
    void (Grid::*set)(bool);
};

constexpr Toggle kToggles[] = {
    {Menu::miAutoSize, &Grid::gridAutoSize, &Grid::setGridAutoSize},
    {Menu::miDisplayBoolean, &Grid::displayBoolean, &Grid::setDisplayBoolean},
    {Menu::miDisplayImages, &Grid::displayImages, &Grid::setDisplayImages},
    {Menu::miDisplayMemo, &Grid::displayMemo, &Grid::setDisplayMemo},
    {Menu::miDisplayDateTime, &Grid::displayDateTime, &Grid::setDisplayDateTime},
    {Menu::miShowTextEllipsis, &Grid::showTextEllipsis, &Grid::setShowTextEllipsis},
    {Menu::miShowTitleEllipsis, &Grid::showTitleEllipsis, &Grid::setShowTitleEllipsis},
    {Menu::miFullSizeMemo, &Grid::fullSizeMemo, &Grid::setFullSizeMemo},
    {Menu::miAllowRowSizing, &Grid::rowSizingAllowed, &Grid::setRowSizingAllowed},
    {Menu::miCellHints, &Grid::cellHints, &Grid::setCellHints},
    {Menu::miMultiLineTitles, &Grid::multiLineTitles, &Grid::setMultiLineTitles},
    {Menu::miUseRowColors, &Grid::useRowColors, &Grid::setUseRowColors},
    {Menu::miSearchMode, &Grid::searchMode, &Grid::setSearchMode},
};

struct Command
{
    Menu::Item item;
    void (Grid::*run)();
};

constexpr Command kCommands[] = {
    {Menu::miPrintGrid, &Grid::printGrid},     {Menu::miPrintDataSet, &Grid::printDataSet},
    {Menu::miExportGrid, &Grid::exportGrid},   {Menu::miSelectAll, &Grid::selectAll},
    {Menu::miUnSelectAll, &Grid::unselectAll}, {Menu::miQueryByForm, &Grid::queryByForm},
    {Menu::miSortByForm, &Grid::sortByForm},   {Menu::miCustomize, &Grid::customize},
    {Menu::miSaveLayout, &Grid::saveLayout},   {Menu::miLoadLayout, &Grid::loadLayout},
};

// The members that show each item: any one of them will do. Lines show with the group they border.
struct ShownBy
{
    Menu::Item item;
    Grid::TMenuOptions members;
};

// clang-format off
constexpr ShownBy kShownBy[] = {
    {Menu::miAutoSize,           Grid::moAutoSize},
    {Menu::miAutoWidth,          Grid::moAutoWidth},
    {Menu::miAutoSizingLine,     Grid::moAutoSize | Grid::moAutoWidth},
    {Menu::miDisplayBoolean,     Grid::moDisplayBoolean},
    {Menu::miDisplayImages,      Grid::moDisplayImages},
    {Menu::miDisplayMemo,        Grid::moDisplayMemo},
    {Menu::miDisplayDateTime,    Grid::moDisplayDateTime},
    {Menu::miDisplayLine,        Grid::moDisplayBoolean | Grid::moDisplayImages | Grid::moDisplayMemo
                                     | Grid::moDisplayDateTime},
    {Menu::miShowTextEllipsis,   Grid::moShowTextEllipsis},
    {Menu::miShowTitleEllipsis,  Grid::moShowTitleEllipsis},
    {Menu::miFullSizeMemo,       Grid::moFullSizeMemo},
    {Menu::miEllipsisLine,       Grid::moShowTextEllipsis | Grid::moShowTitleEllipsis | Grid::moFullSizeMemo},
    {Menu::miAllowRowSizing,     Grid::moAllowRowSizing},
    {Menu::miCellHints,          Grid::moCellHints},
    {Menu::miMultiLineTitles,    Grid::moMultiLineTitles},
    {Menu::miUseRowColors,       Grid::moUseRowColors},
    {Menu::miFixedColumns,       Grid::moFixedColumns},
    {Menu::miRowsLine,           Grid::moAllowRowSizing | Grid::moCellHints | Grid::moMultiLineTitles
                                     | Grid::moUseRowColors | Grid::moFixedColumns},
    {Menu::miPrintGrid,          Grid::moPrintGrid},
    {Menu::miPrintDataSet,       Grid::moPrintDataSet},
    {Menu::miPrintLine,          Grid::moPrintGrid | Grid::moPrintDataSet},
    {Menu::miExportGrid,         Grid::moExportGrid},
    {Menu::miExportLine,         Grid::moExportGrid},
    {Menu::miSelectAll,          Grid::moSelectAll},
    {Menu::miUnSelectAll,        Grid::moUnSelectAll},
    {Menu::miFormsLineAbove,     Grid::moQueryByForm | Grid::moSortByForm},
    {Menu::miQueryByForm,        Grid::moQueryByForm},
    {Menu::miSortByForm,         Grid::moSortByForm},
    {Menu::miFormsLineBelow,     Grid::moQueryByForm | Grid::moSortByForm},
    {Menu::miMemoEditorMode,     Grid::moMemoInplaceEditors},
    {Menu::miRichEditEditorMode, Grid::moMemoInplaceEditors},
    {Menu::miEditorModesLine,    Grid::moMemoInplaceEditors},
    {Menu::miCustomize,          Grid::moCustomize},
    {Menu::miSearchMode,         Grid::moSearchMode},
    {Menu::miLayoutLine,         Grid::moSaveLayout | Grid::moLoadLayout},
    {Menu::miSaveLayout,         Grid::moSaveLayout},
    {Menu::miLoadLayout,         Grid::moLoadLayout},
};
// clang-format on

// itemShown looks an item up by its number: the table must hold every item, in menu order.
constexpr bool inMenuOrder()
{
    for (int i = 0; i < Menu::ItemCount; ++i) {
        if (kShownBy[i].item != i)
            return false;
    }
    return true;
}
static_assert(std::size(kShownBy) == Menu::ItemCount && inMenuOrder(), "one row for each item, in menu order");

bool needsPrinter(int index)
{
    return index >= Menu::miPrintGrid && index <= Menu::miPrintLine;
}

QString fixedColumnsCaption(int n)
{
    return n == 1 ? QStringLiteral("1 Fixed Column") : QStringLiteral("%1 Fixed Columns").arg(n);
}

}  // namespace

OptionsMenu::OptionsMenu(TEnhancedGrid &grid)
    : QObject(&grid), m_grid(grid), m_menu(new QMenu(&grid)), m_fixedMenu(new QMenu(m_menu)),
      m_fixedGroup(new QActionGroup(this))
{
    build();
}

OptionsMenu::~OptionsMenu() = default;

void OptionsMenu::build()
{
    const QStringList captions = m_grid.popupStrings();
    for (int i = 0; i < ItemCount; ++i) {
        auto *action = new QAction(m_menu);
        m_items[size_t(i)] = action;
        if (i == miFixedColumns) {
            for (int n = 0; n < FixedColumnChoices; ++n) {
                QAction *choice = m_fixedMenu->addAction(fixedColumnsCaption(n));
                choice->setCheckable(true);
                choice->setData(n + 1);
                choice->setChecked(n == 0);
                m_fixedGroup->addAction(choice);
                m_fixedChoices[size_t(n)] = choice;
            }
            action->setMenu(m_fixedMenu);
        }
        m_menu->addAction(action);
    }
    for (const Toggle &toggle : kToggles) {
        QAction *action = item(toggle.item);
        action->setCheckable(true);
        // Qt has flipped the mark before triggered arrives: the mark the user saw is the other one.
        connect(action, &QAction::triggered, this, [this, toggle](bool checked) { toggled(toggle.item, !checked); });
    }
    item(miAutoWidth)->setCheckable(true);
    connect(item(miAutoWidth), &QAction::triggered, this, [this](bool checked) { toggled(miAutoWidth, !checked); });
    for (int editorItem : {miMemoEditorMode, miRichEditEditorMode}) {
        item(editorItem)->setCheckable(true);
        connect(item(editorItem), &QAction::triggered, this,
                [this, editorItem](bool checked) { editorChosen(editorItem, !checked); });
    }
    for (const Command &command : kCommands)
        connect(item(command.item), &QAction::triggered, this, [this, command] { runCommand(command.run); });
    // A caption "-" beside a separator shows as a second line, as the captions ask.
    m_menu->setSeparatorsCollapsible(false);
    connect(m_fixedGroup, &QActionGroup::triggered, this, &OptionsMenu::fixedColumnsChosen);
    connect(m_menu, &QMenu::aboutToShow, this, [this] { guarded(&m_grid, [this] { refresh(); }); });
    setCaptions(captions);
}

void OptionsMenu::setCaptions(const QStringList &captions)
{
    for (int i = 0; i < ItemCount; ++i) {
        if (i >= captions.size())
            throw Error(QStringLiteral("List index out of bounds (%1)").arg(i));
        const QString &caption = captions.at(i);
        QAction *action = item(i);
        const bool separator = caption == QLatin1String("-");
        action->setSeparator(separator);
        // Some styles print a separator's text beside its line.
        action->setText(separator ? QString() : caption);
    }
}

bool OptionsMenu::itemShown(int index, TEnhancedGrid::TMenuOptions options, int printers)
{
    if (needsPrinter(index) && printers < 1)
        return false;
    return (options & kShownBy[index].members).toInt() != 0;
}

void OptionsMenu::applyMenuOptions(TEnhancedGrid::TMenuOptions options, int printers)
{
    for (int i = 0; i < ItemCount; ++i)
        item(i)->setVisible(itemShown(i, options, printers));
}

void OptionsMenu::refresh()
{
    setCaptions(m_grid.popupStrings());
    for (const Toggle &toggle : kToggles)
        item(toggle.item)->setChecked((m_grid.*toggle.get)());
    item(miAutoWidth)->setChecked(m_grid.gridAutoWidth() != TEnhancedGrid::awNone);
    // A count no choice stands for leaves the last mark where it was.
    const int tag = m_grid.lockedCols() + 1;
    for (QAction *choice : m_fixedChoices) {
        if (choice->data().toInt() == tag)
            choice->setChecked(true);
    }
    const bool memo = m_grid.memoInplaceEditor() == TEnhancedGrid::Memo;
    item(miMemoEditorMode)->setChecked(memo);
    item(miRichEditEditorMode)->setChecked(!memo);
}

void OptionsMenu::popup(const QPoint &globalPos)
{
    refresh();
    m_menu->popup(placement(globalPos, m_menu->sizeHint(), screenArea(globalPos)));
}

QRect OptionsMenu::screenArea(const QPoint &globalPos) const
{
    QScreen *screen = QGuiApplication::screenAt(globalPos);
    if (!screen)
        screen = m_grid.screen();
    return screen ? screen->availableGeometry() : QRect(globalPos, QSize(1 << 16, 1 << 16));
}

QPoint OptionsMenu::placement(const QPoint &globalPos, const QSize &size, const QRect &screen)
{
    // The menu is taller than the room below the corner cell of a grid low in its window: left
    // to itself, it would open above the pointer, far from the cell. It moves up only as far as
    // the screen needs instead, staying over the cell.
    QPoint pos = globalPos;
    pos.setX(std::max(screen.left(), std::min(pos.x(), screen.right() + 1 - size.width())));
    pos.setY(std::max(screen.top(), std::min(pos.y(), screen.bottom() + 1 - size.height())));
    return pos;
}

template <class Step> void OptionsMenu::withUpdatesSuspended(Step &&step)
{
    guarded(&m_grid, [&] {
        Table *table = m_grid.dataSet();
        std::optional<DisabledControlsScope> suspended;
        if (table)
            suspended.emplace(*table);
        step();
        if (suspended)
            suspended->resume();
    });
}

void OptionsMenu::toggled(int index, bool wasChecked)
{
    QAction *action = item(index);
    // The mark shows what the grid took, also when its setter failed halfway.
    action->setChecked(wasChecked);
    withUpdatesSuspended([this, index, wasChecked, action] {
        setToggle(index, !wasChecked);
        action->setChecked(!wasChecked);
    });
}

void OptionsMenu::setToggle(int index, bool on)
{
    if (index == miAutoWidth) {
        m_grid.setGridAutoWidth(on ? TEnhancedGrid::awUniform : TEnhancedGrid::awNone);
        return;
    }
    for (const Toggle &toggle : kToggles) {
        if (toggle.item == index)
            (m_grid.*toggle.set)(on);
    }
}

void OptionsMenu::editorChosen(int index, bool wasChecked)
{
    QAction *chosen = item(index);
    QAction *other = item(index == miMemoEditorMode ? miRichEditEditorMode : miMemoEditorMode);
    chosen->setChecked(wasChecked);
    if (wasChecked)
        return;
    withUpdatesSuspended([&] {
        m_grid.setMemoInplaceEditor(index == miMemoEditorMode ? TEnhancedGrid::Memo : TEnhancedGrid::RichEdit);
        chosen->setChecked(true);
        other->setChecked(false);
    });
}

void OptionsMenu::fixedColumnsChosen(QAction *choice)
{
    withUpdatesSuspended([&] { m_grid.chooseLockedCols(choice->data().toInt() - 1); });
}

void OptionsMenu::runCommand(void (TEnhancedGrid::*command)())
{
    guarded(&m_grid, [&] { (m_grid.*command)(); });
}

}  // namespace kelvara
