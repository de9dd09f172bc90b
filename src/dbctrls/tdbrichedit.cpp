#include "tdbrichedit.h"

#include "editingkeys.h"
#include "errorreport.h"
#include "field.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QScopedValueRollback>

namespace kelvara {

TDBRichEdit::TDBRichEdit(QWidget *parent) : BoundControl(parent)
{
    setTabChangesFocus(true);
    setAcceptRichText(true);
    m_link.onActiveChange = [this] { setReadOnly(!m_link.canModify()); };
    m_link.onEditingChange = [this] { setReadOnly(!m_link.canModify()); };
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] { m_link.field()->setText(toHtml()); };
    connect(this, &QTextEdit::textChanged, this, [this] {
        if (!m_loading)
            guarded(this, [&] { userEdited(); });
    });
    setReadOnly(true);
}

void TDBRichEdit::showField()
{
    const Field *f = m_link.field();
    const QString value = f ? f->text() : QString();
    const bool rich = Qt::mightBeRichText(value);
    // Reloading what is shown would move the caret to the start.
    if (rich ? value == toHtml() : value == toPlainText())
        return;
    QScopedValueRollback<bool> loading(m_loading, true);
    if (rich)
        setHtml(value);
    else
        setPlainText(value);
}

void TDBRichEdit::userEdited()
{
    if (!m_link.editing() && !m_link.editForTypedText())
        return;
    m_link.setModified();
}

void TDBRichEdit::focusOutEvent(QFocusEvent *event)
{
    QTextEdit::focusOutEvent(event);
    m_link.writeBackOnFocusOut(this, *event);
}

void TDBRichEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_link.isModified()) {
        m_link.reset();
        event->accept();
        return;
    }
    const bool newLine = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if ((newLine || isEditingKey(event)) && !isReadOnly() && !beginEdit()) {
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

} // namespace kelvara
