#include "tdbmemo.h"

namespace kelvara {

void TDBMemo::showField()
{
    const Field *f = m_link.field();
    const QString value = f ? f->text() : QString();
    if (toPlainText() != value)
        load([&] { setPlainText(value); });
}

} // namespace kelvara
