#pragma once

#include "dbctrls/boundcontrol.h"

#include <QComboBox>

namespace kelvara {

// An editable combo box bound to a text field: the list offers values to pick, typed text is
// never added to it by the box; the window learns when the box is entered and left.
class TDBComboBox : public BoundControl<QComboBox>
{
    Q_OBJECT

public:
    explicit TDBComboBox(QWidget *parent = nullptr);

    QString text() const { return currentText(); }
    void showPopup() override;

Q_SIGNALS:
    void entered();
    // After the text was written into the field; not sent when that failed.
    void exited();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();
    // Shows a box without the focus from the first letter of its text.
    void showBeginning();
    void userEdited();

    bool m_loading = false;
    bool m_inside = false;  // between entered() and exited()
    bool m_keeping = false;
    QString m_keptText;
};

}  // namespace kelvara
