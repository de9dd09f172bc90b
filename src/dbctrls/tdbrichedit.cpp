#include "dbctrls/tdbrichedit.h"

#include "platform/longtext.h"

namespace kelvara {

void TDBRichEdit::showField()
{
    const Field *f = m_link.field();
    const QString value = f ? f->text() : QString();
    const bool rich = Qt::mightBeRichText(value);
    if (rich ? value == toHtml() : value == toPlainText())
        return;
    load([&] {
        putWrapped(*this, value, [&] {
            if (rich)
                setHtml(value);
            else
                setPlainText(value);
        });
    });
}

}  // namespace kelvara
