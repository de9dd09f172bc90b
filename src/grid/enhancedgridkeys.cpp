// The enhanced grid's keys: Enter as Tab, Space, Enter and F2 that activate a cell, copying and
// pasting a cell through the clipboard, and no new record appended by moving past the last one.

#include "grid/tenhancedgrid.h"

#include "grid/gridsharedstate.h"
#include "grid/tinplaceedit.h"
#include "store/error.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScopeGuard>

#include <optional>

namespace kelvara {

namespace {

bool isEnter(const QKeyEvent &event)
{
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

}  // namespace

bool TEnhancedGrid::keyDown(QKeyEvent *event)
{
    std::optional<QKeyEvent> tab;
    QKeyEvent *key = event;
    if (m_enterAsTab && isEnter(*event)) {
        tab.emplace(QEvent::KeyPress, Qt::Key_Tab, event->modifiers());
        key = &*tab;
    }
    if (m_cellHints)
        hideCellHint();
    bool done = TDBGrid::keyDown(key);
    if (tab)
        event->setAccepted(tab->isAccepted());
    Table *table = activeTable();
    if (!table || !isEditable())
        return done;

    const UpdateLock lock(*this);
    const int code = key->key();
    const bool cellEditing = !(options() & dgRowSelect) && (options() & dgEditing);
    if (event->modifiers() == Qt::ControlModifier && (code == Qt::Key_C || code == Qt::Key_V)) {
        // The character that follows runs the command (keyPress).
        GridSharedState::instance().pendingClipboardKey = code;
        event->accept();
        return false;
    }
    if (cellEditing && (code == Qt::Key_Space || isEnter(*key))) {
        event->accept();
        activateCell(true);
        return done;
    }
    if (cellEditing && code == Qt::Key_F2) {
        activateCell(false);
        return done;
    }
    if (code == Qt::Key_Down || code == Qt::Key_PageDown || code == Qt::Key_Tab) {
        // Moving past the last record appends one; a grid that may not append drops it again.
        if (!m_allowAutoAppend && table->state() == dsInsert
            && (table->eof() || table->recNo() > table->recordCount())) {
            table->cancel();
            event->accept();
            return true;
        }
    }
    return done;
}

void TEnhancedGrid::keyPress(QKeyEvent *event)
{
    if (m_cellHints)
        hideCellHint();
    const bool editorActive = inplaceEditor() && inplaceEditor()->isVisible();
    if (!editorActive && m_enterAsTab && event->text() == QLatin1String("\r")) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, event->modifiers(), QStringLiteral("\t"));
        TDBGrid::keyPress(&tab);
        event->setAccepted(tab.isAccepted());
    } else {
        TDBGrid::keyPress(event);
    }
    if (GridSharedState::instance().pendingClipboardKey != 0 && isEditable()) {
        const UpdateLock lock(*this);
        event->accept();
        runClipboardCommand();
    }
}

void TEnhancedGrid::runClipboardCommand()
{
    int &pending = GridSharedState::instance().pendingClipboardKey;
    const int command = pending;
    const auto clear = qScopeGuard([&pending] { pending = 0; });
    Field *field = selectedField();
    Table *table = activeTable();
    if (!field || !table)
        return;
    if (command == Qt::Key_C) {
        QGuiApplication::clipboard()->setText(field->asString());
    } else if (table->state() == dsEdit || table->state() == dsInsert) {
        const QString text = QGuiApplication::clipboard()->text();
        // A text field would keep only the start of a longer text; a paste is all or nothing.
        if (field->dataType() == ftString && field->size() > 0 && text.size() > field->size())
            throw Error(tr("The clipboard's text is %1 characters long; field '%2' holds at most %3")
                            .arg(text.size())
                            .arg(field->displayName())
                            .arg(field->size()));
        field->setAsString(text);
    } else {
        QApplication::beep();
    }
}

void TEnhancedGrid::keyUp(QKeyEvent *event)
{
    if (m_enterAsTab && isEnter(*event)) {
        QKeyEvent tab(QEvent::KeyRelease, Qt::Key_Tab, event->modifiers());
        TDBGrid::keyUp(&tab);
        return;
    }
    TDBGrid::keyUp(event);
}

}  // namespace kelvara
