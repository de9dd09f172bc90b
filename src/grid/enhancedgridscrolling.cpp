// The enhanced grid's scrolling: the records follow a dragged scroll box, a hint tells the record
// position while the scroll bar is held, and the wheel moves one record per notch.

#include "grid/tenhancedgrid.h"

#include "grid/scrollhintwindow.h"
#include "store/datasource.h"
#include "store/table.h"

#include <QCursor>
#include <QGuiApplication>

namespace kelvara {

void TEnhancedGrid::verticalScroll(ScrollCode code, int position)
{
    const UpdateLock update(*this);
    if (m_extendedScroll && code == ScrollCode::ThumbTrack) {
        // The records follow the box while it is dragged, not only when it is let go; a record
        // that cannot be reached yet is left for the release to settle.
        try {
            verticalScroll(ScrollCode::ThumbPosition, position);
        } catch (const std::exception &) { }
    }
    TDBGrid::verticalScroll(code, position);
    showScrollHint();
}

void TEnhancedGrid::horizontalScroll(ScrollCode code, int position)
{
    const UpdateLock update(*this);
    if (m_extendedScroll && code == ScrollCode::ThumbTrack) {
        try {
            horizontalScroll(ScrollCode::ThumbPosition, position);
        } catch (const std::exception &) { }
    }
    // With a background picture the whole grid is painted again where the view moves (topLeftChanged).
    TDBGrid::horizontalScroll(code, position);
}

void TEnhancedGrid::showScrollHint()
{
    if (!m_scrollHints || !dataSource() || dataSource()->state() == dsInactive)
        return;
    if (!m_scrollHint)
        m_scrollHint = new ScrollHintWindow(this);
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        m_scrollHint->hide();
        return;
    }
    const Table *table = dataSet();
    m_scrollHint->activate(ScrollHintWindow::placeFor(QCursor::pos()),
                           ScrollHintWindow::positionText(table->recNo(), table->recordCount()));
}

bool TEnhancedGrid::wheelStep(bool down, Qt::KeyboardModifiers modifiers, const QPoint &pos)
{
    bool handled = false;
    if (const TMouseWheelUpDownEvent &handler = down ? OnMouseWheelDown : OnMouseWheelUp)
        handler(this, modifiers, pos, handled);
    if (!handled)
        handled = TDBGrid::wheelStep(down, modifiers, pos);
    return handled;
}

}  // namespace kelvara
