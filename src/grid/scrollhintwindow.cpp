#include "grid/scrollhintwindow.h"

#include "platform/colorvalues.h"

#include <QApplication>
#include <QMouseEvent>

namespace kelvara {

namespace {

constexpr int kMargin = 2;

}  // namespace

ScrollHintWindow::ScrollHintWindow(QWidget *owner) : QLabel(owner, Qt::ToolTip | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("scrollHint"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(true);
    setMargin(kMargin);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAutoFillBackground(true);
    QPalette colors = palette();
    colors.setColor(QPalette::Window, systemColor(SystemColor::InfoBk));
    colors.setColor(QPalette::WindowText, systemColor(SystemColor::InfoText));
    setPalette(colors);
}

ScrollHintWindow::~ScrollHintWindow() = default;

QString ScrollHintWindow::positionText(int recNo, int recordCount)
{
    return QStringLiteral(" %1 of %2 ").arg(recNo).arg(recordCount);
}

QPoint ScrollHintWindow::placeFor(const QPoint &pointer)
{
    return pointer + QPoint(CursorSize.width() / 2, CursorSize.height() / 2);
}

QSize ScrollHintWindow::sizeFor(const QString &text) const
{
    const int frame = 2 * (frameWidth() + margin());
    const QRect textRect
        = fontMetrics().boundingRect(QRect(0, 0, MaxWidth - frame, 0), Qt::TextWordWrap | Qt::AlignLeft, text);
    // Blanks at the ends are part of the text; the wrapped rectangle drops them.
    const int width = std::max(textRect.width(), fontMetrics().horizontalAdvance(text));
    return QSize(std::min(MaxWidth, width + frame), textRect.height() + frame);
}

void ScrollHintWindow::activate(const QPoint &topLeft, const QString &text)
{
    setText(text);
    setGeometry(QRect(topLeft, sizeFor(text)));
    show();
}

bool ScrollHintWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The hint belongs to a press on the scroll bar: it goes with the button. An arrow's release
    // brings no scroll notification that would hide it.
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        hide();
    return QLabel::eventFilter(watched, event);
}

void ScrollHintWindow::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    qApp->installEventFilter(this);
}

void ScrollHintWindow::hideEvent(QHideEvent *event)
{
    qApp->removeEventFilter(this);
    QLabel::hideEvent(event);
}

}  // namespace kelvara
