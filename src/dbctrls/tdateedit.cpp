#include "dbctrls/tdateedit.h"

#include "store/textconv.h"

#include <QCalendarWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelvara {

namespace {

constexpr int ButtonWidth = 21;

}  // namespace

TDateEdit::TDateEdit(QWidget *parent) : QWidget(parent), m_edit(new QLineEdit(this)), m_button(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    // At the narrow width of the data sheet mainly the button shows; the text box gives way.
    m_edit->setSizePolicy(QSizePolicy::Ignored, m_edit->sizePolicy().verticalPolicy());
    m_edit->installEventFilter(this);
    m_button->installEventFilter(this);
    m_button->setArrowType(Qt::DownArrow);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setMinimumWidth(ButtonWidth);
    m_button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_button->setToolTip(QStringLiteral("Choose a date"));
    connect(m_button, &QToolButton::clicked, this, &TDateEdit::showCalendar);
    setFocusPolicy(Qt::StrongFocus);
    // As tall as a one-line box, like the date box beside it.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    showTextArea(true);
}

void TDateEdit::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // At the narrow width of the data sheet the text area would be a sliver of frame that takes
    // the focus unseen; there the button alone shows and takes the focus.
    const bool shown = width() - ButtonWidth >= m_edit->minimumSizeHint().width();
    if (shown != isTextAreaShown())
        showTextArea(shown);
}

void TDateEdit::showTextArea(bool shown)
{
    const bool hadFocus = hasFocus();
    m_edit->setVisible(shown);
    m_button->setMaximumWidth(shown ? ButtonWidth : QWIDGETSIZE_MAX);
    m_button->setFocusPolicy(shown ? Qt::NoFocus : Qt::TabFocus);
    setFocusProxy(shown ? static_cast<QWidget *>(m_edit) : m_button);
    // The window placed the box in its tab order by the text area; the button takes its place.
    if (!shown)
        QWidget::setTabOrder(m_edit, m_button);
    if (hadFocus)
        setFocus();
}

bool TDateEdit::isTextAreaShown() const
{
    return !m_edit->isHidden();
}

TDateEdit::~TDateEdit() = default;

QString TDateEdit::text() const
{
    return m_edit->text();
}

void TDateEdit::setText(const QString &text)
{
    m_edit->setText(text);
}

QDate TDateEdit::date() const
{
    const auto date = textToDate(text());
    return date ? *date : QDate();
}

void TDateEdit::setDate(const QDate &date)
{
    setText(date.isValid() ? formatDate(date) : QString());
}

QString TDateEdit::formatDate(const QDate &date)
{
    QString text = dateToText(date);
    // The year comes last; it keeps two digits where the user's short date format has two.
    if (dateOrder().twoDigitYear && date.isValid() && date.year() >= 0 && date.year() <= 9999)
        text.remove(text.size() - 4, 2);
    return text;
}

QCalendarWidget *TDateEdit::calendar()
{
    if (!m_calendar) {
        m_popup = new QFrame(this, Qt::Popup);
        m_popup->setFrameShape(QFrame::Box);
        m_popup->setObjectName(QStringLiteral("calendarPopup"));
        auto *layout = new QVBoxLayout(m_popup);
        layout->setContentsMargins(1, 1, 1, 1);
        m_calendar = new QCalendarWidget(m_popup);
        m_calendar->setFirstDayOfWeek(Qt::Monday);
        m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        // Sunday is the one weekend day, drawn in blue; Saturday looks like a working day.
        QTextCharFormat plain;
        plain.setForeground(m_calendar->palette().color(QPalette::Text));
        QTextCharFormat sunday;
        sunday.setForeground(QColor(Qt::blue));
        for (int day = Qt::Monday; day <= Qt::Saturday; ++day)
            m_calendar->setWeekdayTextFormat(Qt::DayOfWeek(day), plain);
        m_calendar->setWeekdayTextFormat(Qt::Sunday, sunday);
        layout->addWidget(m_calendar);
        connect(m_calendar, &QCalendarWidget::clicked, this, &TDateEdit::pick);
        connect(m_calendar, &QCalendarWidget::activated, this, &TDateEdit::pick);
    }
    return m_calendar;
}

bool TDateEdit::isCalendarShown() const
{
    return m_popup && m_popup->isVisible();
}

void TDateEdit::showCalendar()
{
    QCalendarWidget *cal = calendar();
    const QDate current = date();
    cal->setSelectedDate(current.isValid() ? current : QDate::currentDate());
    m_popup->adjustSize();
    // Below the box, right edges aligned, kept on the screen.
    QPoint at = mapToGlobal(QPoint(width() - m_popup->width(), height()));
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.y() + m_popup->height() > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
        at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - m_popup->width())));
        at.setY(qMax(area.top(), at.y()));
    }
    m_popup->move(at);
    m_popup->show();
    cal->setFocus(Qt::PopupFocusReason);
}

void TDateEdit::hideCalendar()
{
    if (m_popup)
        m_popup->hide();
}

void TDateEdit::pick(const QDate &date)
{
    hideCalendar();
    setText(formatDate(date));
    Q_EMIT changed();
}

bool TDateEdit::eventFilter(QObject *watched, QEvent *event)
{
    // The button steps between buttons with the arrow keys; Alt+Down opens the calendar there too.
    if (watched == m_button && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier)) {
            showCalendar();
            return true;
        }
    }
    if (watched == m_edit) {
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton
            && m_edit->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint())) {
            Q_EMIT clicked();
        } else if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier)) {
                showCalendar();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TDateEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)) {
        showCalendar();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace kelvara
