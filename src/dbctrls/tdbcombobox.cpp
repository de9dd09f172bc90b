#include "dbctrls/tdbcombobox.h"

#include "dbctrls/tdbedit.h"
#include "platform/editingkeys.h"
#include "platform/errorreport.h"
#include "store/field.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>

namespace kelvara {

TDBComboBox::TDBComboBox(QWidget *parent) : BoundControl(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Completion would change what the user types and take Enter from the window.
    setCompleter(nullptr);
    m_link.onActiveChange = [this] { lineEdit()->setReadOnly(!m_link.canModify()); };
    m_link.onEditingChange = [this] { lineEdit()->setReadOnly(!m_link.canModify()); };
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] { m_link.field()->setText(currentText()); };
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { guarded(this, [&] { userEdited(); }); });
    connect(this, &QComboBox::textActivated, this, [this] {
        if (!m_loading)
            guarded(this, [&] { userEdited(); });
    });
    lineEdit()->setReadOnly(true);

    // Filling the list of an empty box makes its first entry current and so replaces the
    // text; the window reloads the list each time the box is entered, so keep the text.
    QAbstractItemModel *items = model();
    auto keep = [this] {
        m_keptText = currentText();
        m_keeping = true;
    };
    auto restore = [this] {
        if (!m_keeping)
            return;
        m_keeping = false;
        if (currentText() != m_keptText) {
            QScopedValueRollback<bool> loading(m_loading, true);
            setCurrentIndex(-1);
            setEditText(m_keptText);
            showBeginning();
        }
    };
    connect(items, &QAbstractItemModel::rowsAboutToBeInserted, this, keep);
    connect(items, &QAbstractItemModel::rowsAboutToBeRemoved, this, keep);
    connect(items, &QAbstractItemModel::modelAboutToBeReset, this, keep);
    connect(items, &QAbstractItemModel::rowsInserted, this, restore);
    connect(items, &QAbstractItemModel::rowsRemoved, this, restore);
    connect(items, &QAbstractItemModel::modelReset, this, restore);
}

void TDBComboBox::showField()
{
    const Field *f = m_link.field();
    const QString value = f ? f->text() : QString();
    if (currentText() == value)
        return;
    QScopedValueRollback<bool> loading(m_loading, true);
    setEditText(value);
    showBeginning();
}

void TDBComboBox::showBeginning()
{
    // Setting the text leaves the cursor at its end, and the box shows the end of a value wider
    // than itself, its first letters cut, until it is entered again.
    if (!hasFocus() && lineEdit())
        lineEdit()->setCursorPosition(0);
}

void TDBComboBox::userEdited()
{
    if (!m_link.editing() && !m_link.editForTypedText())
        return;
    m_link.setModified();
}

void TDBComboBox::showPopup()
{
    // A pick from the list changes the text: the record set must be editing first.
    if (m_link.canModify())
        beginEdit();
    QComboBox::showPopup();
}

void TDBComboBox::focusInEvent(QFocusEvent *event)
{
    QComboBox::focusInEvent(event);
    // Coming back from the list or from another window is no new entry.
    if (!m_inside) {
        m_inside = true;
        Q_EMIT entered();
    }
}

void TDBComboBox::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    if (!m_link.writeBackOnFocusOut(this, *event, [this] { lineEdit()->selectAll(); }))
        return;
    // A box left for its own list or for another window comes back as it was left.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        showBeginning();
    if (m_inside) {
        m_inside = false;
        Q_EMIT exited();
    }
}

void TDBComboBox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (m_link.isModified()) {
            m_link.reset();
            lineEdit()->selectAll();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // With the list closed Enter belongs to the window (its default button).
        event->ignore();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // These step through the list when it has entries, which changes the text.
        if (count() > 0 && !(event->modifiers() & Qt::AltModifier) && m_link.canModify() && !beginEdit()) {
            event->accept();
            return;
        }
        break;
    default:
        if (isEditingKey(event) && m_link.canModify() && !beginEdit()) {
            event->accept();
            return;
        }
        break;
    }
    QComboBox::keyPressEvent(event);
}

}  // namespace kelvara
