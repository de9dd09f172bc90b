#pragma once

#include "dbctrls/boundtextbox.h"

#include <QPlainTextEdit>

namespace kelvara {

// A multi-line box bound to a memo field: Enter starts a new line, Tab moves on; the text is
// written back on leaving or when the record is finished.
class TDBMemo : public BoundTextBox<QPlainTextEdit>
{
    Q_OBJECT

public:
    explicit TDBMemo(QWidget *parent = nullptr) : BoundTextBox(parent) { }

protected:
    void showField() override;
    QString fieldText() const override { return toPlainText(); }
};

}  // namespace kelvara
