#pragma once

#include "grid/tenhancedgrid.h"

#include <QObject>
#include <QRect>
#include <QStringList>

#include <array>

class QAction;
class QActionGroup;
class QMenu;

namespace kelvara {

// The enhanced grid's own pop-up menu of 37 items: display switches, the locked-column choice,
// the memo editor mode and the grid commands. Built once with the grid; it reads and sets the
// grid's properties only through their setters and runs the commands the grid offers.
class OptionsMenu : public QObject
{
    Q_OBJECT

public:
    // The items in menu order, each named after the menu-option member that shows it. The items
    // the default captions make lines are named after the group of items they border.
    // clang-format off
    enum Item : int {
        miAutoSize, miAutoWidth, miAutoSizingLine,
        miDisplayBoolean, miDisplayImages, miDisplayMemo, miDisplayDateTime, miDisplayLine,
        miShowTextEllipsis, miShowTitleEllipsis, miFullSizeMemo, miEllipsisLine,
        miAllowRowSizing, miCellHints, miMultiLineTitles, miUseRowColors, miFixedColumns, miRowsLine,
        miPrintGrid, miPrintDataSet, miPrintLine,
        miExportGrid, miExportLine,
        miSelectAll, miUnSelectAll,
        miFormsLineAbove, miQueryByForm, miSortByForm, miFormsLineBelow,
        miMemoEditorMode, miRichEditEditorMode, miEditorModesLine,
        miCustomize, miSearchMode,
        miLayoutLine, miSaveLayout, miLoadLayout,
    };
    // clang-format on
    static constexpr int ItemCount = miLoadLayout + 1;
    static constexpr int FixedColumnChoices = 6;

    explicit OptionsMenu(TEnhancedGrid &grid);
    ~OptionsMenu() override;

    QMenu *menu() const { return m_menu; }
    QAction *item(int index) const { return m_items.at(size_t(index)); }
    // Sub-item n of miFixedColumns (n locked columns), tagged n + 1.
    QAction *fixedColumnsChoice(int n) const { return m_fixedChoices.at(size_t(n)); }

    // Items take their captions from the lines in item order; "-" makes a separator line.
    // Fails with "List index out of bounds (%d)" at the first missing line, after the captions
    // before it were set.
    void setCaptions(const QStringList &captions);
    // Shows the items the option set asks for; the print items also need a printer.
    void applyMenuOptions(TEnhancedGrid::TMenuOptions options, int printers);
    // Whether item i shows under an option set with the given number of printers.
    static bool itemShown(int index, TEnhancedGrid::TMenuOptions options, int printers);
    // Captions and check marks from the grid as it is now.
    void refresh();
    // Refreshes, then pops the menu up at a point on the screen.
    void popup(const QPoint &globalPos);
    // Where a menu of the given size opens for a point: at the point, moved back onto the
    // screen area only as far as it sticks out.
    static QPoint placement(const QPoint &globalPos, const QSize &size, const QRect &screen);

private:
    QRect screenArea(const QPoint &globalPos) const;
    void build();
    void toggled(int index, bool wasChecked);
    void setToggle(int index, bool on);
    void editorChosen(int index, bool wasChecked);
    void fixedColumnsChosen(QAction *choice);
    // Runs a step with the display updates of the grid's record set held back.
    template <class Step> void withUpdatesSuspended(Step &&step);
    void runCommand(void (TEnhancedGrid::*command)());

    TEnhancedGrid &m_grid;
    QMenu *m_menu;
    QMenu *m_fixedMenu;
    QActionGroup *m_fixedGroup;
    std::array<QAction *, ItemCount> m_items{};
    std::array<QAction *, FixedColumnChoices> m_fixedChoices{};
};

}  // namespace kelvara
