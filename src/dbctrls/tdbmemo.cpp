#include "tdbmemo.h"

#include "editingkeys.h"
#include "errorreport.h"
#include "field.h"
#include "tdbedit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QScopedValueRollback>

namespace kelvara {

TDBMemo::TDBMemo(QWidget *parent) : BoundControl(parent)
{
    setTabChangesFocus(true);
    m_link.onActiveChange = [this] { setReadOnly(!m_link.canModify()); };
    m_link.onEditingChange = [this] { setReadOnly(!m_link.canModify()); };
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] { m_link.field()->setText(toPlainText()); };
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            guarded(this, [&] { userEdited(); });
    });
    setReadOnly(true);
}

void TDBMemo::showField()
{
    const Field *f = m_link.field();
    const QString value = f ? f->text() : QString();
    if (toPlainText() == value)
        return;
    QScopedValueRollback<bool> loading(m_loading, true);
    setPlainText(value);
}

void TDBMemo::userEdited()
{
    if (!m_link.editing() && !m_link.editForTypedText())
        return;
    m_link.setModified();
}

void TDBMemo::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    m_link.writeBackOnFocusOut(this, *event);
}

void TDBMemo::keyPressEvent(QKeyEvent *event)
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
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace kelvara
