#include "platform/characterlimit.h"

#include <QLineEdit>
#include <QToolTip>

namespace kelvara {

namespace {

bool isPairAt(const QString &text, qsizetype i)
{
    return i + 1 < text.size() && text.at(i).isHighSurrogate() && text.at(i + 1).isLowSurrogate();
}

qsizetype characterCount(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); i += isPairAt(text, i) ? 2 : 1)
        ++count;
    return count;
}

// The UTF-16 position `characters` code points before `pos`, or 0.
qsizetype stepBack(const QString &text, qsizetype pos, qsizetype characters)
{
    while (characters > 0 && pos > 0) {
        pos -= pos >= 2 && isPairAt(text, pos - 2) ? 2 : 1;
        --characters;
    }
    return pos;
}

}  // namespace

CharacterLimitValidator::CharacterLimitValidator(int limit, QObject *parent) : QValidator(parent), m_limit(limit) { }

void CharacterLimitValidator::setLimit(int limit)
{
    if (limit == m_limit)
        return;
    m_limit = limit;
    Q_EMIT changed();
}

QValidator::State CharacterLimitValidator::validate(QString &input, int &pos) const
{
    if (m_limit <= 0)
        return Acceptable;
    qsizetype excess = characterCount(input) - m_limit;
    if (excess <= 0)
        return Acceptable;
    const qsizetype end = qBound(qsizetype(0), qsizetype(pos), input.size());
    qsizetype start = stepBack(input, end, excess);
    excess -= characterCount(input.mid(start, end - start));
    input.remove(start, end - start);
    pos = int(start);
    // Fewer characters before the cursor than too many (text set from outside): cut the end.
    if (excess > 0)
        input.truncate(stepBack(input, input.size(), excess));
    tellFull();
    return Acceptable;
}

void CharacterLimitValidator::tellFull() const
{
    // Keys that add nothing would look broken: say why, at the box the user types into.
    auto *box = qobject_cast<QWidget *>(parent());
    if (!box || !box->hasFocus())
        return;
    QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), fullText(m_limit), box);
}

QString CharacterLimitValidator::fullText(int limit)
{
    return QStringLiteral("This box is full: it holds at most %1 characters.").arg(limit);
}

void setCharacterLimit(QLineEdit *edit, int limit)
{
    auto *validator = edit->findChild<CharacterLimitValidator *>(QString(), Qt::FindDirectChildrenOnly);
    if (limit <= 0 && !validator)
        return;
    if (!validator) {
        validator = new CharacterLimitValidator(limit, edit);
        edit->setValidator(validator);
        // A box sets a text its validator cut as a new text, forgetting that the user edited it.
        QObject::connect(edit, &QLineEdit::textEdited, edit, [edit] { edit->setModified(true); });
    }
    validator->setLimit(limit);
    // The box's own limit counts UTF-16 units and would cut a character in half.
    edit->setMaxLength(32767);
}

}  // namespace kelvara
