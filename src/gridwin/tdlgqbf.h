#pragma once

#include "grid/gridcompanions.h"
#include "grid/tdbgrid.h"

#include <QDialog>
#include <QPointer>

class QFrame;
class QPushButton;
class QTableWidget;

namespace kelvara {

class Table;

// The query-by-form dialog: a form of the grid's fields in which the user orders the grid's table
// by rearranging the rows and, in query mode, narrows it to the records equal to the values typed.
class TdlgQbf : public QDialog
{
    Q_OBJECT

public:
    using Mode = GridCompanions::FormMode;

    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    explicit TdlgQbf(QWidget *owner = nullptr);
    ~TdlgQbf() override;

    // The entry points: check the grid, prepare the form and run the dialog modally. A grid the
    // dialog cannot serve gets a warning and no dialog.
    void queryByForm(TDBGrid &grid);
    void sortByForm(TDBGrid &grid);

    Mode mode() const { return m_mode; }
    TDBGrid *grid() const { return m_grid; }
    // The field list Ok would give the table now: the counting rows' names in their order.
    QString fieldList() const;
    // Moves a row of the form to another place, the rows between shifting by one.
    void moveRow(int from, int to);

    // Esc and the title bar's close button cancel.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void OKBtnClick();
    void CancelBtnClick();

private:
    void FormCreate();
    void run(TDBGrid &grid, Mode mode);
    // The refusal for a grid the dialog cannot serve; empty when it can.
    static QString refusal(const TDBGrid &grid);
    void prepareForm(const TDBGrid &grid);
    void setCurrentRow(int row);
    Table *table() const;
    // The rows that count for Ok, as field name and value text, in form order.
    QList<QPair<QString, QString>> countingRows() const;
    void applyToTable(Table &table);
    void commitEditor();

    QPointer<TDBGrid> m_grid;
    Mode m_mode = Mode::Query;

    // The row picked up by its fixed cell.
    int m_dragRow = -1;

    QTableWidget *gridQBF = nullptr;
    QFrame *OKPanel = nullptr;
    QFrame *CancelPanel = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
};

}  // namespace kelvara
