#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QAbstractScrollArea;

namespace kelvara {

// Moves an entry of a list or form with the mouse held down in the view: it watches the view's
// viewport for a press where a drag may start, the drag distance, the pointer leaving and coming
// back, and the release, and tells its owner of each. Only drags that start in the view exist.
class EntryDrag : public QObject
{
public:
    // canStart and dropped are needed; the others may be left empty.
    struct Handlers
    {
        std::function<bool(const QPoint &)> canStart;  // a left press here may start a drag
        std::function<void(const QPoint &)> entered;   // the drag began (at the press) or came back in
        std::function<void(const QPoint &)> moved;     // the pointer moved inside the viewport
        std::function<void()> left;                    // the pointer went out of the viewport
        std::function<void(const QPoint &, bool inside)> dropped;
        // Whether a press that may start a drag is kept from the view (which would select or
        // edit what was pressed).
        bool takesPress = false;
    };

    // Installs itself on the view's viewport, as a child of the view. While a drag is under way
    // the viewport shows `inside` over it and `outside` beyond it.
    EntryDrag(QAbstractScrollArea *view, Handlers handlers, Qt::CursorShape inside, Qt::CursorShape outside);

    bool dragging() const { return m_dragging; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handle(QEvent *event);

    QAbstractScrollArea *m_view;
    // The viewport as the filter sees it: its last events come while the view is being
    // destroyed, when the view may no longer be asked for it.
    const QObject *m_viewport;
    Handlers m_handlers;
    Qt::CursorShape m_insideCursor;
    Qt::CursorShape m_outsideCursor;
    bool m_pressed = false;
    bool m_dragging = false;
    bool m_inside = false;
    QPoint m_pressPos;
};

}  // namespace kelvara
