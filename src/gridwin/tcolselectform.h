#pragma once

#include "grid/tdbgrid.h"
#include "store/datasource.h"

#include <QDialog>
#include <QPointer>

class QListWidget;
class QListWidgetItem;
class QPainter;
class QPushButton;

namespace kelvara {

class Field;
class TButtonStatusBar;

// The modal tool window in which the user shows and hides the fields of the grid's record set:
// a check list of their display labels, whose order can be changed by dragging.
class TColSelectForm : public QDialog
{
    Q_OBJECT

public:
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;
    static constexpr int ItemHeight = 17;

    // How a drag meets the list, in the order a drag goes through them.
    enum DragState { dsDragEnter, dsDragMove, dsDragLeave };

    explicit TColSelectForm(QWidget *owner = nullptr);
    ~TColSelectForm() override;

    TDBGrid *grid() const { return m_grid; }
    void setGrid(TDBGrid *grid);
    DataSource *dataSource() const { return m_dataSource; }
    void setDataSource(DataSource *source);

    // The width of one check-box glyph, taken from the style when the window was created.
    int glyphWidth() const { return m_glyphWidth; }
    // The field an entry of the list carries.
    Field *entryField(int row) const;

    // Closing with Ok writes the check marks to the fields first.
    void done(int result) override;

    // The owner drawing of an entry's text area (Left, Top, Right, Bottom exclusive), with the
    // painter's brush and pen already set for the entry's state.
    void ColListDrawItem(QPainter &painter, int index, const QRect &rect, bool selected);
    // A drag over the list: the entry under pos (none when pos is outside the list) is taken on
    // entering, and the dragged entry moves there when the drag leaves or is dropped.
    void ColListDragOver(const QPoint &pos, DragState state);

    // Esc and the title bar's close button cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void FormActivate();
    void OkbtnClick();
    void CancelbtnClick();

private:
    void FormCreate();
    void FormClose(int result);
    void FormDestroy();
    int entryAt(const QPoint &pos) const;

    QPointer<TDBGrid> m_grid;
    QPointer<DataSource> m_dataSource;
    int m_glyphWidth = 0;
    bool m_filled = false;

    // The list's Tag: the index taken when a drag entered the list, -1 for none.
    int m_dragIndex = -1;

    QListWidget *ColList = nullptr;
    TButtonStatusBar *ButtonStatusBar1 = nullptr;
    QPushButton *Okbtn = nullptr;
    QPushButton *Cancelbtn = nullptr;
};

}  // namespace kelvara
