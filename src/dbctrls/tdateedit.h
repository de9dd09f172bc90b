#pragma once

#include <QDate>
#include <QWidget>

class QCalendarWidget;
class QFrame;
class QLineEdit;
class QToolButton;

namespace kelvara {

// A date box with a drop-down calendar, not bound to a field: picking a day writes it as text
// in the user's day/month/year order and tells the window.
class TDateEdit : public QWidget
{
    Q_OBJECT

public:
    explicit TDateEdit(QWidget *parent = nullptr);
    ~TDateEdit() override;

    QString text() const;
    void setText(const QString &text);
    // The text read in the user's order; invalid when it holds no date.
    QDate date() const;
    void setDate(const QDate &date);

    // The date written as this box writes it: two-digit day and month, the year with four
    // digits or two when the user's short date format has two.
    static QString formatDate(const QDate &date);

    // The drop-down calendar; created on first use.
    QCalendarWidget *calendar();
    bool isCalendarShown() const;
    void showCalendar();
    void hideCalendar();

    QLineEdit *lineEdit() const { return m_edit; }
    QToolButton *button() const { return m_button; }

Q_SIGNALS:
    // The text was replaced by a date picked in the calendar.
    void changed();
    // The user clicked into the text area.
    void clicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void pick(const QDate &date);
    // A box too narrow to show its text is its button alone.
    bool isTextAreaShown() const;
    void showTextArea(bool shown);

    QLineEdit *m_edit;
    QToolButton *m_button;
    QFrame *m_popup = nullptr;
    QCalendarWidget *m_calendar = nullptr;
};

}  // namespace kelvara
