#include "dbctrls/tborderdatetimepicker.h"

#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegion>

namespace kelvara {

// The frame is drawn by a child lying over the whole picker, masked to the 2-pixel ring along
// its edges. Qt gives no access to a non-client area, and the picker's own paintEvent would be
// hidden wherever the style lets the text box or the drop-down button reach the edge; a child
// raised above them paints after the base picker and all of its parts: the frame is drawn last.
// It takes no mouse events and no focus, so clicks reach the picker beneath.
class TBorderDateTimePicker::Frame : public QWidget
{
public:
    explicit Frame(TBorderDateTimePicker *picker) : QWidget(picker), m_picker(picker)
    {
        setObjectName(QStringLiteral("borderFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        place();
    }

    void place()
    {
        const QRect whole = m_picker->rect();
        setGeometry(whole);
        const QRect local(QPoint(0, 0), whole.size());
        setMask(QRegion(local).subtracted(QRegion(local.adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth))));
        raise();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QColor color = m_picker->borderColor();
        const int w = width();
        const int h = height();
        const int f = FrameWidth;
        // All four edges in the one colour, so the frame looks flat.
        painter.fillRect(0, 0, w, f, color);
        painter.fillRect(0, h - f, w, f, color);
        painter.fillRect(0, 0, f, h, color);
        painter.fillRect(w - f, 0, f, h, color);
    }

private:
    TBorderDateTimePicker *m_picker;
};

TBorderDateTimePicker::TBorderDateTimePicker(QWidget *parent) : QDateTimeEdit(parent), m_frame(nullptr)
{
    setCalendarPopup(true);
    // The style leaves the corners of a rounded frame unpainted; filling the background first
    // makes the control cover all of its area.
    setAutoFillBackground(true);
    applyKindFormat();
    m_frame = new Frame(this);
}

TBorderDateTimePicker::~TBorderDateTimePicker() = default;

void TBorderDateTimePicker::setBorderColor(const QColor &color)
{
    if (color == m_borderColor)
        return;
    m_borderColor = color;
    update();
    m_frame->update();
    Q_EMIT borderColorChanged(m_borderColor);
}

void TBorderDateTimePicker::setKind(TDateTimeKind kind)
{
    if (kind == m_kind)
        return;
    m_kind = kind;
    applyKindFormat();
}

void TBorderDateTimePicker::applyKindFormat()
{
    if (m_kind == dtkDate) {
        setDisplayFormat(locale().dateFormat(QLocale::ShortFormat));
        // A time-only format pinned the date range to the current day; a date picker again
        // offers the whole calendar.
        clearMinimumDate();
        clearMaximumDate();
    } else {
        setDisplayFormat(locale().timeFormat(QLocale::ShortFormat));
    }
}

QColor TBorderDateTimePicker::color() const
{
    return palette().color(QPalette::Base);
}

void TBorderDateTimePicker::setColor(const QColor &color)
{
    if (color == this->color() && palette().color(QPalette::Window) == color)
        return;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, color);
    pal.setColor(QPalette::Window, color);
    setPalette(pal);
    // The text box inherits the palette, unless it was given one of its own.
    QPalette editPal = lineEdit()->palette();
    editPal.setColor(QPalette::Base, color);
    editPal.setColor(QPalette::Window, color);
    lineEdit()->setPalette(editPal);
}

void TBorderDateTimePicker::resizeEvent(QResizeEvent *event)
{
    QDateTimeEdit::resizeEvent(event);
    if (m_frame)
        m_frame->place();
}

void TBorderDateTimePicker::changeEvent(QEvent *event)
{
    QDateTimeEdit::changeEvent(event);
    if (event->type() == QEvent::LocaleChange)
        applyKindFormat();
}

}  // namespace kelvara
