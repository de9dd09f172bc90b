#include "grid/columndrag.h"

#include "platform/colorvalues.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScopeGuard>
#include <QTimer>

namespace kelvara {

ColumnDrag::ColumnDrag(QWidget *client, Host host) : QObject(client), m_client(client), m_host(std::move(host))
{
    m_timer = new QTimer(this);
    m_timer->setInterval(kEdgeInterval);
    connect(m_timer, &QTimer::timeout, this, &ColumnDrag::edgeScrollTick);
}

ColumnDrag::~ColumnDrag()
{
    // The picture is the client's child; the client may outlive the drag.
    if (m_image) {
        m_image->hide();
        m_image->deleteLater();
    }
}

void ColumnDrag::press(int col, const QPoint &pos)
{
    m_active = true;
    m_started = false;
    m_source = col;
    m_pressPos = pos;
    m_lastPos = pos;
}

bool ColumnDrag::passesThreshold(const QPoint &pos) const
{
    return m_active && !m_started && (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance();
}

void ColumnDrag::begin(const QPixmap &picture)
{
    if (!m_active || !m_client)
        return;
    if (!m_image) {
        m_image = new QLabel(m_client);
        // The picture replaces the pointer: presses and moves go on to the grid beneath.
        m_image->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_image->setAttribute(Qt::WA_TranslucentBackground);
        m_image->setObjectName(QStringLiteral("columnDragImage"));
    }
    m_image->setPixmap(picture);
    m_image->resize(picture.size());
    m_image->move(kStartPos);
    m_image->show();
    m_image->raise();
    m_client->setCursor(Qt::BlankCursor);
    m_started = true;
}

void ColumnDrag::over(const QPoint &pos, bool inside)
{
    if (!m_active)
        return;
    m_lastPos = pos;
    if (!m_started)
        return;
    if (inside) {
        const int left = m_host.leftEdge ? m_host.leftEdge() : 0;
        const int width = m_host.clientWidth ? m_host.clientWidth() : 0;
        if (pos.x() < left - kEdgeMargin || pos.x() > width - kEdgeMargin)
            m_timer->start();
    }
    if (m_image)
        m_image->move(inside ? QPoint(pos.x(), 0) : kAwayPos);
}

void ColumnDrag::end()
{
    if (!m_active)
        return;
    m_active = false;
    m_started = false;
    m_source = -1;
    m_timer->stop();
    if (m_image) {
        m_image->hide();
        m_image->move(kAwayPos);
    }
    if (m_client)
        m_client->unsetCursor();
}

void ColumnDrag::edgeScrollTick()
{
    const bool shown = m_image && m_image->isVisible();
    if (m_image)
        m_image->hide();
    const auto showAgain = qScopeGuard([&] {
        if (shown && m_image)
            m_image->show();
    });
    const int x = m_lastPos.x();
    const int left = m_host.leftEdge ? m_host.leftEdge() : 0;
    const int width = m_host.clientWidth ? m_host.clientWidth() : 0;
    if (x < left - kEdgeMargin) {
        if (m_host.scrollColumn)
            m_host.scrollColumn(false);
    } else if (x > width - kEdgeMargin) {
        if (m_host.scrollColumn)
            m_host.scrollColumn(true);
    } else {
        m_timer->stop();
    }
}

QPixmap ColumnDrag::makePicture(const QImage &painted, const QColor &maskColor, bool masked)
{
    if (!masked)
        return QPixmap::fromImage(painted.convertToFormat(QImage::Format_RGB32));
    QImage image = painted.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = maskColor.rgb() | 0xff000000u;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] | 0xff000000u) == key)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return QPixmap::fromImage(image);
}

void paintColumnTitle(QPainter &painter, const TitleText &title, CellGrid::TGridDrawState state, const QRect &rect,
                      const QPalette &palette)
{
    painter.save();
    painter.setFont(title.font);
    painter.fillRect(rect, title.color);
    const QColor shadow = systemColor(SystemColor::BtnShadow, palette);
    const QColor light = systemColor(SystemColor::BtnHighlight, palette);
    const bool sunken = state & CellGrid::gdFixed;
    const QColor topLeft = sunken ? shadow : light;
    const QColor bottomRight = sunken ? light : shadow;
    const int l = rect.left();
    const int t = rect.top();
    const int r = rect.right();
    const int b = rect.bottom();
    painter.fillRect(QRect(l, t, rect.width(), 1), topLeft);
    painter.fillRect(QRect(l, t, 1, rect.height()), topLeft);
    painter.fillRect(QRect(l, b, rect.width(), 1), bottomRight);
    painter.fillRect(QRect(r, t, 1, rect.height()), bottomRight);
    QRect text = rect.adjusted(1, 1, -1, -1);
    int flags = Qt::TextExpandTabs | Qt::AlignTop;
    switch (title.alignment) {
    case taLeftJustify:
        text.setLeft(text.left() + 1);
        flags |= Qt::AlignLeft;
        break;
    case taRightJustify:
        text.setRight(text.right() - 2);
        flags |= Qt::AlignRight;
        break;
    case taCenter: flags |= Qt::AlignHCenter; break;
    }
    text.setLeft(text.left() + 2);
    painter.setPen(title.fontColor);
    painter.setBrush(Qt::NoBrush);
    // Without a mnemonic flag Qt draws '&' as it stands, as DT_NOPREFIX asks.
    painter.drawText(text, flags, title.caption);
    painter.restore();
}

}  // namespace kelvara
