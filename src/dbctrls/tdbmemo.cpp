#include "dbctrls/tdbmemo.h"

#include "platform/longtext.h"

namespace kelvara {

void TDBMemo::showField()
{
    const Field *f = m_link.field();
    const QString value = f ? f->text() : QString();
    if (toPlainText() != value)
        load([&] { putWrapped(*this, value, [&] { setPlainText(value); }); });
}

}  // namespace kelvara
