#pragma once

#include "dbctrls/boundcontrol.h"
#include "dbctrls/editmask.h"

#include <QLineEdit>

namespace kelvara {

// A one-line edit box bound to a field: shows the field of the current record, takes at most
// the field's size, applies its edit mask and writes the text back on leaving or a move.
class TDBEdit : public BoundControl<QLineEdit>
{
    Q_OBJECT

public:
    static QString invalidInputMessage();

    explicit TDBEdit(QWidget *parent = nullptr);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyField();
    void showField();
    void writeField();
    void userEdited();
    bool nothingEntered() const;

    EditMask m_mask;
    bool m_leftWithWindow = false;  // the focus went with the window, to come back to it
};


}  // namespace kelvara
