#pragma once

#include <QDate>
#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace kelvara {

// The find at the right end of the menu bar's row: words to look for in any text of a job, and
// a date range (from, to; either may be empty). It says when anything changes, and shows that
// the word index is still being brought up to date.
class FindBar : public QWidget
{
    Q_OBJECT

public:
    explicit FindBar(QWidget *parent = nullptr);

    QString words() const;
    // A bound left empty, or typed so that it is no date, is none.
    QDate from() const { return m_from; }
    QDate to() const { return m_to; }
    bool isEmpty() const;

    // Ctrl+F: the words box takes the focus, its text selected for typing over.
    void focusWords();
    // Empties the words and the dates, as Esc and the clear button do.
    void clear();
    void setIndexing(bool indexing);

Q_SIGNALS:
    void changed();
    // Enter in a box: the user is done typing and goes on to the jobs found.
    void accepted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dateEdited(QLineEdit *box, QDate *bound);
    void announce();

    QLineEdit *m_words = nullptr;
    QLineEdit *m_fromBox = nullptr;
    QLineEdit *m_toBox = nullptr;
    QToolButton *m_clear = nullptr;
    QLabel *m_state = nullptr;
    QDate m_from;
    QDate m_to;
    bool m_announcing = false;  // a change waits to be told once the typing of the moment is read
};

}  // namespace kelvara
