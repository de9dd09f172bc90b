#include "grid/cellhints.h"

#include "grid/tcolumn.h"
#include "grid/tdbgrid.h"
#include "platform/colorvalues.h"
#include "store/datasource.h"
#include "store/field.h"

#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>

namespace kelvara {

namespace {

// The hint window's margin around its text, as the platform's tool tips have it.
constexpr int kMargin = 3;

}  // namespace

CellHints::CellHints(TDBGrid *grid, std::function<bool()> editorActive)
    : QObject(grid), m_grid(grid), m_editorActive(std::move(editorActive))
{ }

CellHints::~CellHints() = default;

bool CellHints::isShown() const
{
    return m_window && m_window->isVisible();
}

void CellHints::hide()
{
    if (m_window)
        m_window->hide();
}

QString CellHints::cellText(int col, int row, QFont *font) const
{
    const int dataCol = m_grid->rawToDataColumn(col);
    const int dataRow = row - m_grid->titleOffset();
    if (!m_grid->dataLink().active() || dataCol < 0 || dataRow < 0 || dataRow >= m_grid->dataLink().recordCount()
        || dataCol >= m_grid->columns()->count())
        return QString();
    TColumn *column = m_grid->columns()->items(dataCol);
    *font = column->font();
    Field *field = m_grid->fields(dataCol);
    if (!field || field->isBooleanField() || field->isGraphicField())
        return QString();
    ActiveRecordScope scope(m_grid->dataLink(), dataRow);
    try {
        return field->asString();
    } catch (const std::exception &) {
        return field->displayText();
    }
}

void CellHints::update(const QPoint &pos)
{
    m_lastPos = pos;
    const GridCoord cell = m_grid->cellAt(pos);
    QFont font = m_grid->font();
    const QString text = cell.isValid() ? cellText(cell.col, cell.row, &font) : QString();
    if (text.isEmpty() || (m_editorActive && m_editorActive())) {
        hide();
        return;
    }
    if (m_grid->colWidth(cell.col) >= QFontMetrics(font).horizontalAdvance(text) + 2) {
        hide();
        return;
    }
    try {
        const QRect cellRect = m_grid->cellRect(cell.col, cell.row);
        const QPoint topLeft = m_grid->viewport()->mapToGlobal(cellRect.topLeft());
        QScreen *screen = QGuiApplication::screenAt(topLeft);
        if (!screen)
            screen = m_grid->screen();
        const QRect area = screen ? screen->geometry() : QRect(topLeft, QSize(4096, 4096));
        const QSize size = hintSize(text, font, area.width() / 2);
        show(placement(topLeft, size, area), text, font);
    } catch (const std::exception &) {
        // A hint that cannot show is no reason to interrupt the pointer's move.
    }
}

bool CellHints::coversPointer() const
{
    if (!isShown())
        return false;
    const QPoint pointer = QCursor::pos();
    const QRect grid(m_grid->viewport()->mapToGlobal(QPoint(0, 0)), m_grid->viewport()->size());
    return m_window->geometry().contains(pointer) && grid.contains(pointer);
}

bool CellHints::eventFilter(QObject *watched, QEvent *event)
{
    // Where a desktop still gives the hint the pointer, leaving the hint can be leaving the grid.
    if (watched == m_window.get() && event->type() == QEvent::Leave) {
        const QRect grid(m_grid->viewport()->mapToGlobal(QPoint(0, 0)), m_grid->viewport()->size());
        if (!grid.contains(QCursor::pos()))
            hide();
    }
    return QObject::eventFilter(watched, event);
}

QRect CellHints::placement(const QPoint &cellTopLeft, const QSize &size, const QRect &screen)
{
    QRect rect(cellTopLeft - QPoint(1, 1), size);
    if (rect.right() > screen.right())
        rect.moveRight(screen.right());
    if (rect.bottom() > screen.bottom())
        rect.moveBottom(screen.bottom());
    // A cell partly off the screen's left or top edge would otherwise take the hint with it.
    if (rect.left() < screen.left())
        rect.moveLeft(screen.left());
    if (rect.top() < screen.top())
        rect.moveTop(screen.top());
    return rect;
}

QSize CellHints::hintSize(const QString &text, const QFont &font, int maxWidth)
{
    const QFontMetrics metrics(font);
    const int textWidth = std::max(1, maxWidth - 2 * kMargin);
    const QRect bounds
        = metrics.boundingRect(QRect(0, 0, textWidth, 1 << 20), Qt::TextWordWrap | Qt::TextExpandTabs, text);
    return QSize(std::min(maxWidth, bounds.width() + 2 * kMargin), bounds.height() + 2 * kMargin);
}

void CellHints::show(const QRect &rect, const QString &text, const QFont &font)
{
    if (!m_window) {
        // The hint opens over the cell under the pointer: transparent for input, it leaves the
        // pointer to the grid, which would otherwise see it leave and hide the hint at once.
        m_window = std::make_unique<QLabel>(nullptr,
                                            Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus
                                                | Qt::WindowTransparentForInput);
        m_window->setAttribute(Qt::WA_ShowWithoutActivating);
        m_window->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_window->setObjectName(QStringLiteral("cellHintWindow"));
        m_window->setWordWrap(true);
        m_window->setMargin(kMargin);
        m_window->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_window->setAutoFillBackground(true);
        m_window->installEventFilter(this);
    }
    if (m_window->isVisible() && m_window->pos() == rect.topLeft() && m_window->text() == text)
        return;
    // Recoloured at every show, so a changed hint colour of the application takes effect.
    QPalette palette = m_window->palette();
    palette.setColor(QPalette::Window, systemColor(SystemColor::InfoBk));
    palette.setColor(QPalette::WindowText, systemColor(SystemColor::InfoText));
    m_window->setPalette(palette);
    m_window->setFont(font);
    m_window->setText(text);
    m_window->setGeometry(rect);
    m_window->show();
}

}  // namespace kelvara
