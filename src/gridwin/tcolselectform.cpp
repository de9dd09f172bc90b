#include "gridwin/tcolselectform.h"

#include "grid/tdbgrid.h"
#include "gridwin/companionlook.h"
#include "gridwin/entrydrag.h"
#include "gridwin/tbuttonstatusbar.h"
#include "platform/colorvalues.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <utility>

namespace kelvara {

namespace {

const QString kNoDisplay = QStringLiteral("<NO DISPLAY>");
constexpr int FieldRole = Qt::UserRole;

// Draws a line of one pixel from (x0, y0) towards (x1, y1), the end point left out, as the
// platform's line drawing does; lines here are only horizontal or vertical.
void drawLine(QPainter &painter, const QColor &color, int x0, int y0, int x1, int y1)
{
    if (y0 == y1 && x1 > x0)
        painter.fillRect(QRect(x0, y0, x1 - x0, 1), color);
    else if (x0 == x1 && y1 > y0)
        painter.fillRect(QRect(x0, y0, 1, y1 - y0), color);
}

// The check list's own part of each entry: the check box in the check area at the left, the
// rest of the row handed to the window's owner drawing. Clicks on the check area and the space
// bar toggle the mark.
class ColListDelegate : public QStyledItemDelegate
{
public:
    explicit ColListDelegate(TColSelectForm *form) : QStyledItemDelegate(form), m_form(form) { }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), TColSelectForm::ItemHeight);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        const QRect check = checkArea(option.rect);
        const QRect text(check.right() + 1, option.rect.top(), option.rect.right() - check.right(),
                         option.rect.height());

        QStyleOptionViewItem box(option);
        box.rect = QRect(0, 0, m_form->glyphWidth(), m_form->glyphWidth());
        box.rect.moveCenter(check.center());
        box.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_HasFocus);
        box.state |= index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);

        const bool selected = option.state & QStyle::State_Selected;
        const QPalette &palette = option.palette;
        painter->save();
        painter->setFont(option.font);
        painter->setBrush(selected ? systemColor(SystemColor::Highlight, palette)
                                   : systemColor(SystemColor::BtnFace, palette));
        painter->setPen(selected ? systemColor(SystemColor::HighlightText, palette)
                                 : systemColor(SystemColor::WindowText, palette));
        m_form->ColListDrawItem(*painter, index.row(), text, selected);
        painter->restore();

        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.rect = text;
            focus.backgroundColor = selected ? palette.color(QPalette::Highlight) : palette.color(QPalette::Button);
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
        }
    }

    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        if (!(index.flags() & Qt::ItemIsUserCheckable))
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton || !checkArea(option.rect).contains(mouse->position().toPoint()))
                return false;
            break;
        }
        case QEvent::MouseButtonDblClick:
            // The second click of a double click on the box toggles it again, like the first.
            return checkArea(option.rect).contains(static_cast<QMouseEvent *>(event)->position().toPoint());
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Select)
                return false;
            break;
        }
        default: return false;
        }
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

private:
    QRect checkArea(const QRect &row) const
    {
        return QRect(row.left(), row.top(), m_form->glyphWidth() + 2, row.height());
    }

    TColSelectForm *m_form;
};

}  // namespace

TColSelectForm::TColSelectForm(QWidget *owner) : QDialog(owner)
{
    FormCreate();
}

TColSelectForm::~TColSelectForm()
{
    FormDestroy();
}

void TColSelectForm::FormCreate()
{
    setObjectName(QStringLiteral("ColSelectForm"));
    // A sizeable tool window with only the close button in its title bar.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    companionlook::apply(*this);
    resize(208, 279);
    m_glyphWidth = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ColList = new QListWidget(this);
    ColList->setObjectName(QStringLiteral("ColList"));
    ColList->setItemDelegate(new ColListDelegate(this));
    ColList->setUniformItemSizes(true);
    ColList->setSelectionMode(QAbstractItemView::SingleSelection);
    ColList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QPalette listPalette = ColList->palette();
    listPalette.setColor(QPalette::Base, systemColor(SystemColor::BtnFace, palette()));
    ColList->setPalette(listPalette);
    EntryDrag::Handlers drag;
    drag.canStart = [this](const QPoint &pos) { return entryAt(pos) >= 0; };
    drag.entered = [this](const QPoint &pos) { ColListDragOver(pos, dsDragEnter); };
    drag.moved = [this](const QPoint &pos) { ColListDragOver(pos, dsDragMove); };
    // Leaving reads no entry (the pointer is over none), dropping the one under the pointer.
    drag.left = [this] { ColListDragOver(QPoint(-1, -1), dsDragLeave); };
    drag.dropped = [this](const QPoint &pos, bool inside) {
        if (inside)
            ColListDragOver(pos, dsDragLeave);
    };
    new EntryDrag(ColList, drag, Qt::DragMoveCursor, Qt::ForbiddenCursor);
    layout->addWidget(ColList, 1);

    ButtonStatusBar1 = new TButtonStatusBar(this);
    ButtonStatusBar1->setObjectName(QStringLiteral("ButtonStatusBar1"));
    layout->addWidget(ButtonStatusBar1);
    auto addButton = [this](const char *name, const QString &caption) {
        QPushButton *button = ButtonStatusBar1->addButtonPanel(caption, 79);
        button->setObjectName(QLatin1String(name));
        button->setFixedSize(75, 23);
        button->setAutoDefault(false);
        return button;
    };
    Okbtn = addButton("Okbtn", QStringLiteral("&Ok"));
    Cancelbtn = addButton("Cancelbtn", QStringLiteral("&Cancel"));
    connect(Okbtn, &QPushButton::clicked, this, &TColSelectForm::OkbtnClick);
    connect(Cancelbtn, &QPushButton::clicked, this, &TColSelectForm::CancelbtnClick);

    setWindowTitle(QStringLiteral("Customize"));
}

void TColSelectForm::FormDestroy()
{
    ColList->clear();
}

void TColSelectForm::setGrid(TDBGrid *grid)
{
    m_grid = grid;
}

void TColSelectForm::setDataSource(DataSource *source)
{
    m_dataSource = source;
}

Field *TColSelectForm::entryField(int row) const
{
    const QListWidgetItem *item = ColList->item(row);
    return item ? static_cast<Field *>(item->data(FieldRole).value<void *>()) : nullptr;
}

void TColSelectForm::showEvent(QShowEvent *event)
{
    if (!m_filled) {
        companionlook::centerOnScreen(*this);
        FormActivate();
    }
    QDialog::showEvent(event);
}

void TColSelectForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QDialog::changeEvent(event);
}

void TColSelectForm::FormActivate()
{
    // Filled once per window: coming back from another application adds nothing.
    if (m_filled)
        return;
    m_filled = true;
    const Table *table = m_grid && m_dataSource ? m_dataSource->dataSet() : nullptr;
    if (!table)
        return;
    for (Field *field : table->fields()) {
        const QString label = field->displayLabel();
        if (label.toUpper() == kNoDisplay)
            continue;
        auto *item = new QListWidgetItem(label, ColList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setData(FieldRole, QVariant::fromValue(static_cast<void *>(field)));
        item->setCheckState(field->visible() ? Qt::Checked : Qt::Unchecked);
    }
    if (ColList->count() > 0)
        ColList->setCurrentRow(0);
}

void TColSelectForm::ColListDrawItem(QPainter &painter, int index, const QRect &rect, bool selected)
{
    const QListWidgetItem *item = ColList->item(index);
    if (!item)
        return;
    // Exclusive right and bottom edges, as the platform gives a rectangle.
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.right() + 1;
    const int bottom = rect.bottom() + 1;
    const QColor brush = painter.brush().color();
    // The window's palette: the list's own has its window colour set to the button face.
    const QColor window = systemColor(SystemColor::Window, palette());
    const QColor shadow = systemColor(SystemColor::BtnShadow, palette());

    painter.fillRect(rect, brush);
    painter.save();
    painter.setClipRect(rect);
    painter.drawText(QRect(left + 4, top + 1, rect.width(), rect.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, item->text());
    painter.restore();

    // A raised edge round the text, then round the check area at its left.
    drawLine(painter, window, left, top, right, top);
    drawLine(painter, shadow, left, bottom - 1, right, bottom - 1);
    drawLine(painter, shadow, right - 1, top, right - 1, bottom - 1);
    const int x0 = left - (m_glyphWidth + 2);
    drawLine(painter, window, x0, top, left, top);
    drawLine(painter, window, x0, top + 1, x0, bottom - 1);
    drawLine(painter, shadow, x0, bottom - 1, left, bottom - 1);

    if (selected) {
        drawLine(painter, brush, left, top, right, top);
        drawLine(painter, brush, left, bottom - 1, right, bottom - 1);
        drawLine(painter, brush, left, top, left, bottom);
        drawLine(painter, brush, right - 1, top, right - 1, bottom);
    }
}

int TColSelectForm::entryAt(const QPoint &pos) const
{
    if (!ColList->viewport()->rect().contains(pos))
        return -1;
    const QListWidgetItem *item = ColList->itemAt(pos);
    return item ? ColList->row(item) : -1;
}

void TColSelectForm::ColListDragOver(const QPoint &pos, DragState state)
{
    switch (state) {
    case dsDragEnter: m_dragIndex = entryAt(pos); break;
    case dsDragMove: break;
    case dsDragLeave: {
        const int from = std::exchange(m_dragIndex, -1);
        if (from < 0)
            return;
        const int to = entryAt(pos);
        if (to < 0 || to == from)
            return;
        // The item keeps its text, field and check mark; only its place changes.
        QListWidgetItem *item = ColList->takeItem(from);
        ColList->insertItem(to, item);
        ColList->setCurrentItem(item);
        break;
    }
    }
}

void TColSelectForm::OkbtnClick()
{
    done(mrOk);
}

void TColSelectForm::CancelbtnClick()
{
    done(mrCancel);
}

void TColSelectForm::reject()
{
    CancelbtnClick();
}

void TColSelectForm::done(int result)
{
    guarded(this, [&] { FormClose(result); });
    QDialog::done(result);
}

void TColSelectForm::FormClose(int result)
{
    if (result != mrOk)
        return;
    bool anyChecked = false;
    for (int row = 0; row < ColList->count() && !anyChecked; ++row)
        anyChecked = ColList->item(row)->checkState() == Qt::Checked;
    if (!anyChecked) {
        dialogs().warning(this, QStringLiteral("You Cannot Hide All The Columns."));
        return;
    }
    // The fields listed are the ones of the record set as the list was filled; one that is no
    // longer there (the table was closed meanwhile) is passed over rather than written.
    const Table *table = m_dataSource ? m_dataSource->dataSet() : nullptr;
    for (int row = 0; row < ColList->count(); ++row) {
        Field *field = entryField(row);
        if (table && table->fields().contains(field))
            field->setVisible(ColList->item(row)->checkState() == Qt::Checked);
    }
}

}  // namespace kelvara
