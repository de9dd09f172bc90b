#pragma once

#include <QValidator>

class QLineEdit;

namespace kelvara {

// Holds an edit box to a number of characters counted as the store counts them, in code
// points: a character outside the basic plane is one character, never cut in half.
class CharacterLimitValidator : public QValidator
{
    Q_OBJECT

public:
    explicit CharacterLimitValidator(int limit, QObject *parent = nullptr);

    int limit() const { return m_limit; }
    void setLimit(int limit);

    // Text over the limit loses the characters just before the cursor, which are the ones
    // typed or pasted last; so a paste keeps as much of itself as fits.
    // Text cut while the box has the focus shows fullText at the box.
    State validate(QString &input, int &pos) const override;

    // What the user is told when the box is full.
    static QString fullText(int limit);

private:
    void tellFull() const;

    int m_limit;
};

// Limits a box to `limit` characters; 0 or less lifts the limit.
void setCharacterLimit(QLineEdit *edit, int limit);

}  // namespace kelvara
