#pragma once

#include "dbctrls/boundtextbox.h"

#include <QTextEdit>

namespace kelvara {

// A formatted-text box bound to a memo field. The field keeps the text in the editor's HTML form,
// as the field viewer does; a field holding plain text is shown as plain text.
class TDBRichEdit : public BoundTextBox<QTextEdit>
{
    Q_OBJECT

public:
    explicit TDBRichEdit(QWidget *parent = nullptr) : BoundTextBox(parent) { setAcceptRichText(true); }

protected:
    void showField() override;
    QString fieldText() const override { return toHtml(); }
};

}  // namespace kelvara
