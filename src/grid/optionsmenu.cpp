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

#include <optional>

namespace kelvara {

namespace {

using Grid = TEnhancedGrid;

// The switches whose check mark is a Boolean property of the grid.
struct Toggle
{
    int item;
    bool (Grid::*get)() const;
    void (Grid::*set)(bool);
};

constexpr Toggle kToggles[] = {
    {0, &Grid::gridAutoSize, &Grid::setGridAutoSize},
    {3, &Grid::displayBoolean, &Grid::setDisplayBoolean},
    {4, &Grid::displayImages, &Grid::setDisplayImages},
    {5, &Grid::displayMemo, &Grid::setDisplayMemo},
    {6, &Grid::displayDateTime, &Grid::setDisplayDateTime},
    {8, &Grid::showTextEllipsis, &Grid::setShowTextEllipsis},
    {9, &Grid::showTitleEllipsis, &Grid::setShowTitleEllipsis},
    {10, &Grid::fullSizeMemo, &Grid::setFullSizeMemo},
    {12, &Grid::rowSizingAllowed, &Grid::setRowSizingAllowed},
    {13, &Grid::cellHints, &Grid::setCellHints},
    {14, &Grid::multiLineTitles, &Grid::setMultiLineTitles},
    {15, &Grid::useRowColors, &Grid::setUseRowColors},
    {33, &Grid::searchMode, &Grid::setSearchMode},
};

constexpr int kAutoWidthItem = 1;
constexpr int kMemoEditorItem = 29;
constexpr int kRichEditItem = 30;

struct Command
{
    int item;
    void (Grid::*run)();
};

constexpr Command kCommands[] = {
    {18, &Grid::printGrid},   {19, &Grid::printDataSet}, {21, &Grid::exportGrid}, {23, &Grid::selectAll},
    {24, &Grid::unselectAll}, {26, &Grid::queryByForm},  {27, &Grid::sortByForm}, {32, &Grid::customize},
    {35, &Grid::saveLayout},  {36, &Grid::loadLayout},
};

// The members that show each item: any one of them will do. Separators follow the members
// of the items around them.
constexpr quint32 bit(int member)
{
    return 1u << member;
}

constexpr std::array<quint32, OptionsMenu::ItemCount> kShownBy = {
    bit(0),
    bit(1),
    bit(0) | bit(1),
    bit(2),
    bit(3),
    bit(4),
    bit(5),
    bit(2) | bit(3) | bit(4) | bit(5),
    bit(6),
    bit(7),
    bit(8),
    bit(6) | bit(7) | bit(8),
    bit(9),
    bit(10),
    bit(11),
    bit(12),
    bit(13),
    bit(9) | bit(10) | bit(11) | bit(12) | bit(13),
    bit(14),
    bit(15),
    bit(14) | bit(15),
    bit(16),
    bit(16),
    bit(17),
    bit(18),
    bit(19) | bit(20),
    bit(19),
    bit(20),
    bit(19) | bit(20),
    bit(21),
    bit(21),
    bit(21),
    bit(22),
    bit(23),
    bit(24) | bit(25),
    bit(24),
    bit(25),
};

bool needsPrinter(int index)
{
    return index >= 18 && index <= 20;
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
        if (i == FixedColumnsItem) {
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
    item(kAutoWidthItem)->setCheckable(true);
    connect(item(kAutoWidthItem), &QAction::triggered, this,
            [this](bool checked) { toggled(kAutoWidthItem, !checked); });
    for (int editorItem : {kMemoEditorItem, kRichEditItem}) {
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
    return (options.toInt() & kShownBy.at(size_t(index))) != 0;
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
    item(kAutoWidthItem)->setChecked(m_grid.gridAutoWidth() != TEnhancedGrid::awNone);
    // A count no choice stands for leaves the last mark where it was.
    const int tag = m_grid.lockedCols() + 1;
    for (QAction *choice : m_fixedChoices) {
        if (choice->data().toInt() == tag)
            choice->setChecked(true);
    }
    const bool memo = m_grid.memoInplaceEditor() == TEnhancedGrid::Memo;
    item(kMemoEditorItem)->setChecked(memo);
    item(kRichEditItem)->setChecked(!memo);
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
    withUpdatesSuspended([&] {
        if (index == kAutoWidthItem) {
            m_grid.setGridAutoWidth(wasChecked ? TEnhancedGrid::awNone : TEnhancedGrid::awUniform);
        } else {
            for (const Toggle &toggle : kToggles) {
                if (toggle.item == index)
                    (m_grid.*toggle.set)(!wasChecked);
            }
        }
        action->setChecked(!wasChecked);
    });
}

void OptionsMenu::editorChosen(int index, bool wasChecked)
{
    QAction *chosen = item(index);
    QAction *other = item(index == kMemoEditorItem ? kRichEditItem : kMemoEditorItem);
    chosen->setChecked(wasChecked);
    if (wasChecked)
        return;
    withUpdatesSuspended([&] {
        m_grid.setMemoInplaceEditor(index == kMemoEditorItem ? TEnhancedGrid::Memo : TEnhancedGrid::RichEdit);
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
