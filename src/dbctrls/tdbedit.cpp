#include "dbctrls/tdbedit.h"

#include "platform/characterlimit.h"
#include "platform/editingkeys.h"

#include "platform/errorreport.h"
#include "store/error.h"
#include "store/field.h"
#include "store/textconv.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace kelvara {

QString TDBEdit::invalidInputMessage()
{
    return QStringLiteral("Invalid input value.  Use escape key to abandon changes");
}

TDBEdit::TDBEdit(QWidget *parent) : BoundControl(parent)
{
    m_link.onActiveChange = [this] { applyField(); };
    m_link.onEditingChange = [this] { setReadOnly(!m_link.canModify()); };
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] { writeField(); };
    connect(this, &QLineEdit::textEdited, this, [this] { guarded(this, [&] { userEdited(); }); });
    applyField();
}

void TDBEdit::applyField()
{
    const Field *f = m_link.field();
    const QString mask = f ? f->editMask() : QString();
    m_mask = convertEditMask(mask, dateOrder().separator);
    if (m_mask.inputMask != inputMask())
        setInputMask(m_mask.inputMask);
    setCharacterLimit(this, f && f->isStringField() ? f->size() : 0);
    setReadOnly(!m_link.canModify());
}

void TDBEdit::showField()
{
    const Field *f = m_link.field();
    QString value;
    if (f)
        value = hasFocus() ? f->text() : f->displayText();
    if (text() == value)
        return;
    setText(value);
    // A value wider than the box shows its beginning, as the user reads it, until typed into.
    if (!hasFocus())
        setCursorPosition(0);
}

bool TDBEdit::nothingEntered() const
{
    const QString current = text();
    for (const QChar c : current) {
        if (!m_mask.literals.contains(c) && c != QLatin1Char(' '))
            return false;
    }
    return true;
}

void TDBEdit::writeField()
{
    QString value = text();
    if (!m_mask.inputMask.isEmpty()) {
        // A box left all blank clears the field; one partly filled must be completed.
        if (nothingEntered())
            value.clear();
        else if (!hasAcceptableInput())
            throw Error(invalidInputMessage());
    }
    m_link.field()->setText(value);
}

void TDBEdit::userEdited()
{
    // Typed before the record set was editing (a paste from the menu, a drop).
    if (!m_link.editing() && !m_link.editForTypedText())
        return;
    m_link.setModified();
}

void TDBEdit::focusInEvent(QFocusEvent *event)
{
    if (!m_link.isModified())
        showField();
    QLineEdit::focusInEvent(event);
    // Typing into a masked box fills it from its first position; otherwise the cursor may stand
    // past the mask, where typed characters go nowhere. A click places the cursor itself, and
    // coming back from a menu or from another window finds it where it was left.
    const Qt::FocusReason reason = event->reason();
    const bool returning
        = reason == Qt::PopupFocusReason || (reason == Qt::ActiveWindowFocusReason && m_leftWithWindow);
    if (!m_mask.inputMask.isEmpty() && reason != Qt::MouseFocusReason && !returning)
        setCursorPosition(0);
    m_leftWithWindow = false;
}

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    m_leftWithWindow = event->reason() == Qt::ActiveWindowFocusReason;
    QLineEdit::focusOutEvent(event);
    if (m_link.writeBackOnFocusOut(this, *event, [this] { selectAll(); }))
        m_link.reset();
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (m_link.isModified()) {
            m_link.reset();
            selectAll();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter belongs to the window (its default button).
        QLineEdit::keyPressEvent(event);
        event->ignore();
        return;
    default:
        if (isEditingKey(event) && !isReadOnly() && !beginEdit()) {
            event->accept();
            return;
        }
        break;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace kelvara
