#pragma once

#include "boundcontrol.h"

#include <QTextEdit>

namespace kelvara {

// A formatted-text box bound to a memo field. The field keeps the text in the editor's HTML form,
// as the field viewer does; a field holding plain text is shown as plain text.
class TDBRichEdit : public BoundControl<QTextEdit>
{
    Q_OBJECT

public:
    explicit TDBRichEdit(QWidget *parent = nullptr);

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();
    void userEdited();

    bool m_loading = false;
};

} // namespace kelvara
