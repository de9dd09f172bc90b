#pragma once

#include "boundcontrol.h"

#include <QPlainTextEdit>

namespace kelvara {

// A multi-line box bound to a memo field: Enter starts a new line, Tab moves on; the text is
// written back on leaving or when the record is finished.
class TDBMemo : public BoundControl<QPlainTextEdit>
{
    Q_OBJECT

public:
    explicit TDBMemo(QWidget *parent = nullptr);

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();
    void userEdited();

    bool m_loading = false;
};

} // namespace kelvara
