#include "dbctrls/editmask.h"

namespace kelvara {

namespace {

// Characters with a meaning in a QLineEdit input mask; literals of these are escaped.
bool isQtMaskCharacter(QChar c)
{
    static const QString meta = QStringLiteral("AaNnXx90Dd#HhBb><!;[]{}\\");
    return meta.contains(c);
}

}  // namespace

EditMask convertEditMask(const QString &mask, QChar dateSeparator, QChar timeSeparator)
{
    EditMask result;
    if (mask.isEmpty())
        return result;

    // The last two ';'-sections, when present, are the literal flag and the blank character.
    QString body = mask;
    const qsizetype second = body.lastIndexOf(QLatin1Char(';'));
    if (second > 0) {
        const qsizetype first = body.lastIndexOf(QLatin1Char(';'), second - 1);
        if (first > 0 && body.at(first - 1) != QLatin1Char('\\')) {
            const QString keep = body.mid(first + 1, second - first - 1);
            const QString blank = body.mid(second + 1);
            result.keepLiterals = keep != QLatin1String("0");
            if (!blank.isEmpty())
                result.blank = blank.at(0);
            body.truncate(first);
        } else if (body.at(second - 1) != QLatin1Char('\\')) {
            result.keepLiterals = body.mid(second + 1) != QLatin1String("0");
            body.truncate(second);
        }
    }

    QString qt;
    auto literal = [&](QChar c) {
        if (isQtMaskCharacter(c))
            qt += QLatin1Char('\\');
        qt += c;
        if (!result.literals.contains(c))
            result.literals += c;
    };
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        switch (c.unicode()) {
        case '0': qt += QLatin1Char('9'); break;
        case '9': qt += QLatin1Char('0'); break;
        case '#': qt += QLatin1Char('#'); break;
        case 'L': qt += QLatin1Char('A'); break;
        case 'l': qt += QLatin1Char('a'); break;
        case 'A': qt += QLatin1Char('N'); break;
        case 'a': qt += QLatin1Char('n'); break;
        case 'C': qt += QLatin1Char('X'); break;
        case 'c': qt += QLatin1Char('x'); break;
        case '!': break;  // only says where blanks of optional positions go
        case '>': qt += QLatin1Char('>'); break;
        case '<':
            if (i + 1 < body.size() && body.at(i + 1) == QLatin1Char('>')) {
                qt += QLatin1Char('!');
                ++i;
            } else {
                qt += QLatin1Char('<');
            }
            break;
        case '\\':
            if (i + 1 < body.size())
                literal(body.at(++i));
            break;
        case '/': literal(dateSeparator); break;
        case ':': literal(timeSeparator); break;
        case '_': literal(QLatin1Char(' ')); break;
        default: literal(c); break;
        }
    }
    result.inputMask = qt + QLatin1Char(';') + result.blank;
    return result;
}

}  // namespace kelvara
