#include "grid/titlesearch.h"

#include "grid/tcolumn.h"
#include "grid/tdbgrid.h"
#include "platform/errorreport.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace kelvara {

TitleSearch::TitleSearch(TDBGrid *grid) : QObject(grid), m_grid(grid) { }

TitleSearch::~TitleSearch()
{
    // The box is the viewport's child; the grid may outlive the search.
    if (m_box) {
        m_box->hide();
        m_box->deleteLater();
    }
}

bool TitleSearch::isVisible() const
{
    return m_box && m_box->isVisible();
}

QLineEdit *TitleSearch::ensureBox()
{
    if (!m_box) {
        m_box = new QLineEdit(m_grid->viewport());
        m_box->hide();
        m_box->setObjectName(QStringLiteral("titleSearchBox"));
        // A frame tells the box from the title it covers.
        m_box->setFrame(true);
        m_box->setAutoFillBackground(true);
        m_box->installEventFilter(this);
        m_watchedBox = m_box;
    }
    return m_box;
}

void TitleSearch::titleClicked(TColumn *column, const QRect &titleRect)
{
    QLineEdit *box = ensureBox();
    box->hide();
    box->setGeometry(titleRect);
    box->setFont(m_grid->font());
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, m_grid->editColor());
    palette.setColor(QPalette::Window, m_grid->editColor());
    box->setPalette(palette);

    m_fieldName = column->fieldName();
    Table *table = m_grid->dataSet();
    if (!table || !table->isTable())
        return;
    QString indexFields;
    // An index of exactly this one field; with several, the last one counts.
    for (const IndexDef &index : table->indexDefs()) {
        if (index.fields == column->fieldName())
            indexFields = index.fields;
    }
    if (!indexFields.isEmpty()) {
        table->setIndexFieldNames(indexFields);
        if (table->active()) {
            table->first();
            table->refresh();
        }
    }
    box->show();
    box->raise();
    box->clear();
    box->setFocus(Qt::OtherFocusReason);
}

void TitleSearch::search(const QString &text)
{
    Table *table = m_grid->dataSet();
    if (!table || !table->isTable() || text.isEmpty())
        return;
    // The key search runs on the clicked column's own order only, never on another column's.
    if (!m_fieldName.isEmpty() && table->indexFieldNames().compare(m_fieldName, Qt::CaseInsensitive) == 0) {
        try {
            if (table->findKey({text}))
                return;
        } catch (const std::exception &) {
            // The text is no value of the index field.
        }
    }
    // Every field has an index, so the key search runs for any title and finds whole values only:
    // what is typed is the start of a value in the clicked column, in any case and with or without
    // accents. A field that is no text has nothing to start with; a key that matches nothing
    // leaves the record where it is.
    Field *field = m_fieldName.isEmpty() ? nullptr : table->findField(m_fieldName);
    if (!field || !(field->isStringField() || isMemoType(field->dataType())))
        return;
    table->locate(field->fieldName(), {text}, LocateOptions(loCaseInsensitive | loPartialKey | loAccentInsensitive));
}

void TitleSearch::hide()
{
    if (m_box)
        m_box->hide();
}

void TitleSearch::hideAndFocusGrid()
{
    m_box->hide();
    if (!m_grid->hasFocus())
        m_grid->setFocus(Qt::OtherFocusReason);
}

bool TitleSearch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_watchedBox || m_box.isNull())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            hideAndFocusGrid();
            return true;
        }
        break;
    }
    case QEvent::ShortcutOverride: {
        // Esc and Enter belong to the box while it is open, not to the window's buttons.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)
            event->accept();
        break;
    }
    case QEvent::KeyRelease: {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)
            break;
        const QString text = m_box->text();
        guarded(m_grid, [&] { search(text); });
        break;
    }
    case QEvent::FocusOut: {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Another window or a pop-up taking the focus is no exit from the box.
        if (!m_box->isVisible() || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        m_box->hide();
        // The grid takes the focus back, but not from another control the user moved to.
        QWidget *next = QApplication::focusWidget();
        if ((!next || next == m_box || m_grid->isAncestorOf(next)) && !m_grid->hasFocus())
            m_grid->setFocus(Qt::OtherFocusReason);
        break;
    }
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kelvara
