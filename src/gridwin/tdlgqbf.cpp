#include "gridwin/tdlgqbf.h"

#include "grid/tdbgrid.h"
#include "gridwin/companionlook.h"
#include "gridwin/entrydrag.h"
#include "platform/colorvalues.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/table.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <functional>
#include <utility>

namespace kelvara {

namespace {

// The form's field names must always show. Its two columns reach beyond the view's right edge
// (by the scroll bar in a query, by the whole unused second column in a sort), so the view
// scrolls rows into sight but never columns.
class FormTable : public QTableWidget
{
public:
    using QTableWidget::QTableWidget;

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override
    {
        QTableWidget::scrollTo(index, hint);
        horizontalScrollBar()->setValue(0);
    }
};

constexpr int NameColumn = 0;
constexpr int ValueColumn = 1;
constexpr int RowHeight = 16;

bool listedType(FieldType type)
{
    switch (type) {
    case ftUnknown:
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftMemo:
    case ftGraphic: return false;
    default: return true;
    }
}

// The value cells' editor: Esc typed into it cancels the whole dialog, as it does anywhere else
// in the form, and Ok can take the text still being typed.
class ValueDelegate : public QStyledItemDelegate
{
public:
    ValueDelegate(QObject *parent, std::function<void()> escape)
        : QStyledItemDelegate(parent), m_escape(std::move(escape))
    { }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        m_editor = editor;
        return editor;
    }

    void commit()
    {
        if (m_editor)
            Q_EMIT commitData(m_editor);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            m_escape();
            return true;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    std::function<void()> m_escape;
    mutable QPointer<QWidget> m_editor;
};

}  // namespace

TdlgQbf::TdlgQbf(QWidget *owner) : QDialog(owner)
{
    FormCreate();
}

TdlgQbf::~TdlgQbf() = default;

void TdlgQbf::FormCreate()
{
    setObjectName(QStringLiteral("dlgQBF"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    companionlook::apply(*this);
    setFixedSize(408, 175);

    gridQBF = new FormTable(this);
    gridQBF->setObjectName(QStringLiteral("gridQBF"));
    gridQBF->setGeometry(8, 8, 305, 157);
    gridQBF->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    gridQBF->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    gridQBF->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    gridQBF->setSelectionMode(QAbstractItemView::SingleSelection);
    gridQBF->verticalHeader()->hide();
    gridQBF->verticalHeader()->setMinimumSectionSize(1);
    gridQBF->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    gridQBF->verticalHeader()->setDefaultSectionSize(RowHeight);
    gridQBF->horizontalHeader()->setMinimumSectionSize(1);
    gridQBF->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    gridQBF->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    gridQBF->horizontalHeader()->setHighlightSections(false);
    gridQBF->horizontalHeader()->setFixedHeight(RowHeight + 2);
    // A view of whole rows: at 157 pixels the last row in view showed half cut off. The view
    // keeps its width and takes the whole rows that fit; the dialog ends as far below it as it
    // begins above.
    const int chrome = 2 * gridQBF->frameWidth() + gridQBF->horizontalHeader()->height();
    const int viewHeight = chrome + (157 - chrome) / RowHeight * RowHeight;
    gridQBF->resize(305, viewHeight);
    setFixedSize(408, 8 + viewHeight + 8);
    gridQBF->setItemDelegateForColumn(ValueColumn, new ValueDelegate(gridQBF, [this] { CancelBtnClick(); }));
    // A row is picked up by its fixed cell, which is never selected or edited itself.
    EntryDrag::Handlers drag;
    drag.canStart = [this](const QPoint &pos) {
        const int row = gridQBF->rowAt(pos.y());
        if (gridQBF->columnAt(pos.x()) != NameColumn || row < 0)
            return false;
        m_dragRow = row;
        return true;
    };
    drag.dropped = [this](const QPoint &pos, bool) {
        // Above the first row or below the last, the row goes to that end.
        int to = gridQBF->rowAt(pos.y());
        if (to < 0)
            to = pos.y() < 0 ? 0 : gridQBF->rowCount() - 1;
        moveRow(std::exchange(m_dragRow, -1), to);
    };
    drag.takesPress = true;
    new EntryDrag(gridQBF, drag, Qt::SizeVerCursor, Qt::SizeVerCursor);

    auto addButton = [this](const char *panelName, const char *name, const QString &caption, int y, QFrame *&panel) {
        panel = new QFrame(this);
        panel->setObjectName(QLatin1String(panelName));
        panel->setGeometry(324, y, 75, 23);
        auto *layout = new QHBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *button = new QPushButton(caption, panel);
        button->setObjectName(QLatin1String(name));
        button->setAutoDefault(false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(button);
        return button;
    };
    OKBtn = addButton("OKPanel", "OKBtn", QStringLiteral("&Ok"), 8, OKPanel);
    CancelBtn = addButton("CancelPanel", "CancelBtn", QStringLiteral("&Cancel"), 38, CancelPanel);
    CancelPanel->installEventFilter(this);
    connect(OKBtn, &QPushButton::clicked, this, &TdlgQbf::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TdlgQbf::CancelBtnClick);
}

void TdlgQbf::queryByForm(TDBGrid &grid)
{
    run(grid, Mode::Query);
}

void TdlgQbf::sortByForm(TDBGrid &grid)
{
    run(grid, Mode::Sort);
}

QString TdlgQbf::refusal(const TDBGrid &grid)
{
    if (grid.fieldCount() == 0)
        return QStringLiteral("QBF called for a Grid without any Fields");
    if (!grid.dataSource())
        return QStringLiteral("QBF called for a Grid without a DataSource");
    const Table *table = grid.dataSource()->dataSet();
    if (!table)
        return QStringLiteral("QBF called for a Grid with a DataSource without a DataSet");
    if (!table->isTable())
        return QStringLiteral("QBF called for a Grid with a DataSource that is not a Table");
    return QString();
}

void TdlgQbf::run(TDBGrid &grid, Mode mode)
{
    const QString refused = refusal(grid);
    if (!refused.isEmpty()) {
        dialogs().warning(this, refused);
        return;
    }
    m_grid = &grid;
    m_mode = mode;
    prepareForm(grid);
    companionlook::centerOnScreen(*this);
    dialogs().exec(*this);
}

void TdlgQbf::prepareForm(const TDBGrid &grid)
{
    const bool query = m_mode == Mode::Query;
    gridQBF->clear();
    gridQBF->setColumnCount(2);
    gridQBF->setRowCount(grid.fieldCount());
    gridQBF->setHorizontalHeaderLabels({QStringLiteral(" Field "), query ? QStringLiteral(" Value ") : QString()});
    setWindowTitle((query ? QStringLiteral("Query For Table ") : QStringLiteral("Sort Order For Table "))
                   + table()->tableName());
    gridQBF->setEditTriggers(query ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
    const int width = query ? 150 : 300;
    gridQBF->setColumnWidth(NameColumn, width);
    gridQBF->setColumnWidth(ValueColumn, width);

    const QColor fixed = systemColor(SystemColor::BtnFace, palette());
    int row = 0;
    for (int entry = 0; entry < grid.fieldCount(); ++entry) {
        const Field *field = grid.fields(entry);
        if (!field || !listedType(field->dataType())) {
            gridQBF->setRowCount(gridQBF->rowCount() - 1);
            continue;
        }
        auto *name = new QTableWidgetItem(field->fieldName());
        name->setFlags(Qt::ItemIsEnabled);
        name->setBackground(fixed);
        gridQBF->setItem(row, NameColumn, name);
        auto *value = new QTableWidgetItem(QString());
        value->setFlags(query ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                              : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        gridQBF->setItem(row, ValueColumn, value);
        ++row;
    }
    if (gridQBF->rowCount() > 0)
        setCurrentRow(0);
}

void TdlgQbf::setCurrentRow(int row)
{
    // The sort form's value column lies beyond the view's right edge: its current cell is the
    // field's own, so that the view never scrolls the names away.
    gridQBF->setCurrentCell(row, m_mode == Mode::Query ? ValueColumn : NameColumn);
}

Table *TdlgQbf::table() const
{
    return m_grid && m_grid->dataSource() ? m_grid->dataSource()->dataSet() : nullptr;
}

QList<QPair<QString, QString>> TdlgQbf::countingRows() const
{
    QList<QPair<QString, QString>> rows;
    for (int row = 0; row < gridQBF->rowCount(); ++row) {
        const QTableWidgetItem *name = gridQBF->item(row, NameColumn);
        const QTableWidgetItem *value = gridQBF->item(row, ValueColumn);
        const QString text = value ? value->text() : QString();
        // The value column of the sort form is never read.
        if (m_mode == Mode::Sort)
            rows.append({name->text(), QString()});
        else if (!text.isEmpty())
            rows.append({name->text(), text});
    }
    return rows;
}

QString TdlgQbf::fieldList() const
{
    QStringList names;
    for (const auto &[name, value] : countingRows())
        names << name;
    return names.join(QLatin1Char(';'));
}

void TdlgQbf::moveRow(int from, int to)
{
    const int count = gridQBF->rowCount();
    if (from == to || from < 0 || to < 0 || from >= count || to >= count)
        return;
    commitEditor();
    QTableWidgetItem *name = gridQBF->takeItem(from, NameColumn);
    QTableWidgetItem *value = gridQBF->takeItem(from, ValueColumn);
    gridQBF->removeRow(from);
    gridQBF->insertRow(to);
    gridQBF->setItem(to, NameColumn, name);
    gridQBF->setItem(to, ValueColumn, value);
    setCurrentRow(to);
}

void TdlgQbf::commitEditor()
{
    if (auto *delegate = dynamic_cast<ValueDelegate *>(gridQBF->itemDelegateForColumn(ValueColumn)))
        delegate->commit();
}

void TdlgQbf::OKBtnClick()
{
    setResult(mrOk);
    commitEditor();
    // A failure is the store's to tell; the dialog closes with Ok all the same.
    guarded(this, [&] {
        if (Table *table = this->table())
            applyToTable(*table);
    });
    done(mrOk);
}

void TdlgQbf::applyToTable(Table &table)
{
    const QList<QPair<QString, QString>> rows = countingRows();
    table.setIndexFieldNames(fieldList());
    if (m_mode == Mode::Query && !rows.isEmpty()) {
        try {
            table.setRangeStart();
            for (const auto &[name, value] : rows)
                table.fieldByName(name)->setAsString(value);
            table.setRangeEnd();
            for (const auto &[name, value] : rows)
                table.fieldByName(name)->setAsString(value);
            table.applyRange();
        } catch (...) {
            // A value the field refused leaves the table setting range values, with half a range
            // kept for later: drop both, so that the table stays browsable in its new order
            // without a range, and the refusal is what the user is told. The refresh tells the
            // table's followers, as a query that succeeds does, so that they take up the record
            // again (the window keeps it open for typing).
            try {
                if (table.state() == dsSetKey)
                    table.cancel();
                table.cancelRange();
                table.refresh();
            } catch (...) { }
            throw;
        }
    } else {
        table.cancelRange();
    }
    table.refresh();
}

void TdlgQbf::CancelBtnClick()
{
    done(mrCancel);
}

void TdlgQbf::reject()
{
    CancelBtnClick();
}

bool TdlgQbf::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == CancelPanel && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        CancelBtnClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kelvara
