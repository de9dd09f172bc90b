#include "gridwin/entrydrag.h"

#include "platform/errorreport.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QMouseEvent>

namespace kelvara {

EntryDrag::EntryDrag(QAbstractScrollArea *view, Handlers handlers, Qt::CursorShape inside, Qt::CursorShape outside)
    : QObject(view), m_view(view), m_viewport(view->viewport()), m_handlers(std::move(handlers)),
      m_insideCursor(inside), m_outsideCursor(outside)
{
    view->viewport()->installEventFilter(this);
}

bool EntryDrag::eventFilter(QObject *watched, QEvent *event)
{
    bool handled = false;
    // Only the pointer's events matter; the others come also while the view is being destroyed.
    const QEvent::Type type = event->type();
    const bool pointer
        = type == QEvent::MouseButtonPress || type == QEvent::MouseMove || type == QEvent::MouseButtonRelease;
    if (watched == m_viewport && pointer)
        guarded(m_view, [&] { handled = handle(event); });
    return handled;
}

bool EntryDrag::handle(QEvent *event)
{
    QWidget *viewport = m_view->viewport();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint pos = mouse->position().toPoint();
        m_pressed = mouse->button() == Qt::LeftButton && m_handlers.canStart(pos);
        m_pressPos = pos;
        return m_pressed && m_handlers.takesPress;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint pos = mouse->position().toPoint();
        if (!m_dragging) {
            if (!m_pressed || !(mouse->buttons() & Qt::LeftButton)
                || (pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
                return false;
            // The drag enters where the entry was picked up: the entry pressed is the one dragged.
            m_dragging = true;
            m_inside = true;
            viewport->setCursor(m_insideCursor);
            if (m_handlers.entered)
                m_handlers.entered(m_pressPos);
        }
        const bool inside = viewport->rect().contains(pos);
        if (inside != m_inside) {
            m_inside = inside;
            viewport->setCursor(inside ? m_insideCursor : m_outsideCursor);
            if (inside && m_handlers.entered)
                m_handlers.entered(pos);
            else if (!inside && m_handlers.left)
                m_handlers.left();
        } else if (inside && m_handlers.moved) {
            m_handlers.moved(pos);
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        m_pressed = false;
        if (!m_dragging)
            return false;
        m_dragging = false;
        viewport->unsetCursor();
        m_handlers.dropped(static_cast<QMouseEvent *>(event)->position().toPoint(), m_inside);
        return true;
    }
    default: return false;
    }
}

}  // namespace kelvara
