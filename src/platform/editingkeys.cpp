#include "platform/editingkeys.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace kelvara {

namespace {

// The modifiers that make a key a command. On macOS Option (Qt's Alt) is the key that types the
// layout's extra characters, as AltGr does elsewhere.
Qt::KeyboardModifiers commandModifiers()
{
#ifdef Q_OS_MACOS
    return Qt::ControlModifier | Qt::MetaModifier;
#else
    return Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
#endif
}

bool isAltGr(Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::GroupSwitchModifier)
        return true;
    const Qt::KeyboardModifiers altGr = Qt::ControlModifier | Qt::AltModifier;
    return (modifiers & altGr) == altGr;
}

// Text a box would insert: anything but the control characters some platforms pass with
// Ctrl+letter (Ctrl+C comes with U+0003).
bool insertable(const QString &text)
{
    return !text.isEmpty() && text.at(0).category() != QChar::Other_Control;
}

}  // namespace

bool typesText(const QKeyEvent *event)
{
    const QString text = event->text();
    if (!insertable(text))
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (!(modifiers & commandModifiers()) || isAltGr(modifiers))
        return true;
    // Layouts give joiners and direction marks to Ctrl+Shift combinations (Persian's zero-width
    // non-joiner); these are characters of the text, not commands.
    return text.at(0).category() == QChar::Other_Format && !(modifiers & Qt::AltModifier);
}

bool carriesCommandText(const QKeyEvent *event)
{
    return insertable(event->text()) && !typesText(event);
}

bool isEditingKey(const QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Undo)
        || event->matches(QKeySequence::Redo) || event->matches(QKeySequence::DeleteEndOfWord)
        || event->matches(QKeySequence::DeleteStartOfWord) || event->matches(QKeySequence::DeleteEndOfLine)
        || event->matches(QKeySequence::DeleteCompleteLine))
        return true;
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete: return true;
    default: break;
    }
    return typesText(event) && event->text().at(0).isPrint();
}

}  // namespace kelvara
