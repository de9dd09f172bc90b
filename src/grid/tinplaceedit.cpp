#include "grid/tinplaceedit.h"

#include "platform/editingkeys.h"

#include "grid/tdbgrid.h"
#include "platform/errorreport.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace kelvara {

TInplaceEdit::TInplaceEdit(TDBGrid *grid) : QLineEdit(grid->viewport()), m_grid(grid)
{
    setFrame(false);
    setAutoFillBackground(true);
    hide();
}

bool TInplaceEdit::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && m_grid->takesKey(*key)) {
            QCoreApplication::sendEvent(m_grid, key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

bool TInplaceEdit::forwardsKey(const QKeyEvent &event) const
{
    const bool ctrl = event.modifiers() & Qt::ControlModifier;
    switch (event.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Insert: return true;
    case Qt::Key_Left: return !hasSelectedText() && cursorPosition() == 0 && !(event.modifiers() & Qt::ShiftModifier);
    case Qt::Key_Right:
        return !hasSelectedText() && cursorPosition() == text().size() && !(event.modifiers() & Qt::ShiftModifier);
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Delete: return ctrl;
    default: return false;
    }
}

void TInplaceEdit::keyPressEvent(QKeyEvent *event)
{
    if (forwardsKey(*event)) {
        // The grid handles it; a key the grid does not take goes on from the grid to the window.
        QCoreApplication::sendEvent(m_grid, event);
        event->accept();
        return;
    }
    if (isReadOnly() && isEditingKey(event)) {
        bool allowed = false;
        guarded(m_grid, [&] { allowed = m_grid->canEditModify(); });
        if (!allowed) {
            event->accept();
            return;
        }
        setReadOnly(false);
    }
    QLineEdit::keyPressEvent(event);
}

void TInplaceEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    guarded(m_grid, [&] { m_grid->cancelOnExit(event->reason()); });
}

}  // namespace kelvara
