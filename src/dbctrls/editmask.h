#pragma once

#include <QString>

namespace kelvara {

// A field's edit mask ("!99/99/0000;1;_": '0' a required digit, '9' an optional one, '/' the
// date separator, then whether literals stay in the text and the blank character) as a
// QLineEdit input mask, whose letters mean the reverse ('9' required, '0' optional).
struct EditMask
{
    QString inputMask;  // for QLineEdit::setInputMask; empty when the field has no mask
    QString literals;   // the fixed characters the mask puts into the text
    QChar blank = QLatin1Char('_');
    bool keepLiterals = true;
};

EditMask convertEditMask(const QString &mask, QChar dateSeparator, QChar timeSeparator = QLatin1Char(':'));

}  // namespace kelvara
