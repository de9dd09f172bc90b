#pragma once

#include "dbctrls/boundcontrol.h"
#include "platform/editingkeys.h"
#include "platform/errorreport.h"
#include "platform/longtext.h"
#include "store/field.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScopedValueRollback>

namespace kelvara {

// A multi-line box bound to a memo field: Enter starts a new line, Tab moves on, Esc drops the
// typed change; the text is written back on leaving or when the record is finished. The plain
// and the formatted box differ only in how they show the field and what they write back.
template <typename Widget> class BoundTextBox : public BoundControl<Widget>
{
public:
    explicit BoundTextBox(QWidget *parent = nullptr) : BoundControl<Widget>(parent)
    {
        this->setTabChangesFocus(true);
        this->m_link.onActiveChange = [this] { this->setReadOnly(!this->m_link.canModify()); };
        this->m_link.onEditingChange = [this] { this->setReadOnly(!this->m_link.canModify()); };
        this->m_link.onDataChange = [this] { showField(); };
        this->m_link.onUpdateData = [this] { this->m_link.field()->setText(fieldText()); };
        QObject::connect(this, &Widget::textChanged, this, [this] {
            if (!m_loading)
                guarded(this, [&] { userEdited(); });
        });
        this->setReadOnly(true);
    }

protected:
    // Shows the field's text, leaving the box alone when it shows that text already (reloading
    // would move the caret to the start).
    virtual void showField() = 0;
    // What the box writes into the field.
    virtual QString fieldText() const = 0;

    // Sets the box's text without taking it for the user's typing.
    template <typename Load> void load(Load &&body)
    {
        const QScopedValueRollback<bool> loading(m_loading, true);
        body();
    }

    void focusOutEvent(QFocusEvent *event) override
    {
        Widget::focusOutEvent(event);
        this->m_link.writeBackOnFocusOut(this, *event);
    }

    // Pasted text with a long unbroken run would take minutes to lay out at word boundaries.
    void insertFromMimeData(const QMimeData *source) override
    {
        if (source->hasText() && wrapModeFor(source->text()) == QTextOption::WrapAnywhere)
            this->setWordWrapMode(QTextOption::WrapAnywhere);
        Widget::insertFromMimeData(source);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape && this->m_link.isModified()) {
            this->m_link.reset();
            event->accept();
            return;
        }
        const bool newLine = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if ((newLine || isEditingKey(event)) && !this->isReadOnly() && !this->beginEdit()) {
            event->accept();
            return;
        }
        Widget::keyPressEvent(event);
    }

private:
    void userEdited()
    {
        if (!this->m_link.editing() && !this->m_link.editForTypedText())
            return;
        this->m_link.setModified();
    }

    bool m_loading = false;
};

}  // namespace kelvara
