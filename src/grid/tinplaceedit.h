#pragma once

#include <QLineEdit>

namespace kelvara {

class TDBGrid;

// The data grid's single-line editor laid over the current cell. Keys that move between cells
// or end the edit go to the grid; the text is written into the field by the grid.
class TInplaceEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TInplaceEdit(TDBGrid *grid);

    TDBGrid *grid() const { return m_grid; }

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool forwardsKey(const QKeyEvent &event) const;

    TDBGrid *m_grid;
};

}  // namespace kelvara
