#include "dbctrls/tdbnavigator.h"

#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "store/table.h"

#include <QMetaEnum>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace kelvara {

namespace {

// Simple vector glyphs, drawn in the button text colour so that they follow the style.
QIcon glyph(TDBNavigator::NavigateBtn which, const QColor &colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    auto triangle = [&](qreal tipX, qreal baseX) {
        QPainterPath path;
        path.moveTo(tipX, 8);
        path.lineTo(baseX, 3);
        path.lineTo(baseX, 13);
        path.closeSubpath();
        painter.drawPath(path);
    };
    switch (which) {
    case TDBNavigator::nbFirst:
        painter.drawRect(QRectF(3, 3, 2, 10));
        triangle(5, 12);
        break;
    case TDBNavigator::nbPrior: triangle(4, 11); break;
    case TDBNavigator::nbNext: triangle(12, 5); break;
    case TDBNavigator::nbLast:
        triangle(11, 4);
        painter.drawRect(QRectF(11, 3, 2, 10));
        break;
    case TDBNavigator::nbInsert:
        painter.drawRect(QRectF(7, 3, 2, 10));
        painter.drawRect(QRectF(3, 7, 10, 2));
        break;
    case TDBNavigator::nbDelete: painter.drawRect(QRectF(3, 7, 10, 2)); break;
    case TDBNavigator::nbEdit: {
        QPainterPath path;
        path.moveTo(8, 3);
        path.lineTo(13, 12);
        path.lineTo(3, 12);
        path.closeSubpath();
        painter.drawPath(path);
        break;
    }
    case TDBNavigator::nbPost: {
        QPen pen(colour, 2.2);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
        break;
    }
    case TDBNavigator::nbRefresh: {
        QPen pen(colour, 1.8);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(3, 3, 10, 10), 60 * 16, 280 * 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        QPainterPath head;
        head.moveTo(10.5, 1.5);
        head.lineTo(13.5, 5.5);
        head.lineTo(8.5, 6);
        head.closeSubpath();
        painter.drawPath(head);
        break;
    }
    }
    return QIcon(pixmap);
}

}  // namespace

TDBNavigator::TDBNavigator(QWidget *parent) : QWidget(parent)
{
    static const char *const hints[buttonCount]
        = {"First record",  "Prior record", "Next record", "Last record", "Insert record",
           "Delete record", "Edit record",  "Post edit",   "Refresh data"};
    const QMetaEnum names = QMetaEnum::fromType<NavigateBtn>();
    const QColor colour = palette().color(QPalette::ButtonText);
    for (int i = 0; i < buttonCount; ++i) {
        const auto which = NavigateBtn(i);
        auto *button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(names.valueToKey(i)));
        button->setToolTip(QString::fromLatin1(hints[i]));
        button->setIcon(glyph(which, colour));
        // Clicking a button leaves the focus where it is, so the box being typed in writes
        // its text when the operation finishes the record.
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(which == nbPrior || which == nbNext);
        connect(button, &QToolButton::clicked, this, [this, which] {
            guarded(this, [&] {
                btnClick(which);
                Q_EMIT clicked(which);
            });
        });
        m_buttons[size_t(i)] = button;
    }
    resize(234, 25);
    layoutButtons();
    updateButtons();
}

TDBNavigator::~TDBNavigator() = default;

void TDBNavigator::setDataSource(DataSource *source)
{
    m_link.setDataSource(source);
    updateButtons();
}

void TDBNavigator::btnClick(NavigateBtn which)
{
    Table *table = m_link.dataSet();
    if (!table)
        return;
    switch (which) {
    case nbFirst: table->first(); break;
    case nbPrior: table->prior(); break;
    case nbNext: table->next(); break;
    case nbLast: table->last(); break;
    case nbInsert: table->insert(); break;
    case nbDelete:
        if (dialogs().confirm(this, m_deleteQuestion ? m_deleteQuestion() : QStringLiteral("Delete record?")))
            table->deleteRecord();
        break;
    case nbEdit: table->edit(); break;
    case nbPost: table->post(); break;
    case nbRefresh: table->refresh(); break;
    }
}

void TDBNavigator::updateButtons()
{
    const Table *table = m_link.dataSet();
    const bool active = m_link.active() && table;
    const bool canModify = active && table->canModify() && !m_link.readOnly();
    const bool editing = active && (table->state() == dsEdit || table->state() == dsInsert);
    // By where the record stands, not by the start and end flags: those tell only that a move
    // ran into the edge, and a move by a distance (the grid's clicks and keys) that lands on
    // the first or last record leaves them clear. A record being inserted has its own place.
    const int records = active ? table->recordCount() + (table->state() == dsInsert ? 1 : 0) : 0;
    const int recNo = active ? table->recNo() : 0;
    const bool atStart = active && (table->bof() || recNo <= 1);
    const bool atEnd = active && (table->eof() || recNo >= records);
    const bool enabled[buttonCount] = {active && !atStart,
                                       active && !atStart,
                                       active && !atEnd,
                                       active && !atEnd,
                                       canModify,
                                       canModify && !table->isEmpty(),
                                       canModify && !editing,
                                       canModify && editing,
                                       canModify};
    for (int i = 0; i < buttonCount; ++i)
        m_buttons[size_t(i)]->setEnabled(enabled[i]);
}

QSize TDBNavigator::sizeHint() const
{
    return QSize(234, 25);
}

void TDBNavigator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}

void TDBNavigator::layoutButtons()
{
    // The width is shared out evenly; the remainder goes to the first buttons.
    const int w = width() / buttonCount;
    int extra = width() - w * buttonCount;
    int x = 0;
    for (QToolButton *button : m_buttons) {
        const int bw = w + (extra-- > 0 ? 1 : 0);
        button->setGeometry(x, 0, bw, height());
        x += bw;
    }
}

}  // namespace kelvara
