#include "report/pagecanvas.h"

#include "report/pageddocument.h"
#include "store/error.h"

#include <QCoreApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPrinter>

namespace kelvara {

namespace {

QString printingMessage(const char *text)
{
    return QCoreApplication::translate("ReportPager", text);
}

}  // namespace

bool isMadeUpFace(const QFont &font, const QRawFont &face)
{
    // The face tells what it is in its own tables; the raw font repeats what was asked for.
    const QByteArray head = face.fontTable("head");
    const QByteArray os2 = face.fontTable("OS/2");
    const auto word
        = [](const QByteArray &table, int at) { return quint16((quint8(table[at]) << 8) | quint8(table[at + 1])); };
    if (head.size() < 46)
        return false;  // no TrueType or OpenType tables to tell by
    const quint16 macStyle = word(head, 44);
    const bool hasOs2 = os2.size() >= 64;
    const bool boldFace = (macStyle & 0x1) || (hasOs2 && word(os2, 4) >= 600);
    const bool slantedFace = (macStyle & 0x2) || (hasOs2 && (word(os2, 62) & 0x201));
    return (font.weight() >= QFont::DemiBold && !boldFace) || (font.style() != QFont::StyleNormal && !slantedFace);
}

void PainterCanvas::setPen(const QColor &color, double width)
{
    if (color == m_penColor && width == m_penWidth)
        return;
    QPen pen(color);
    pen.setWidthF(width);
    m_painter.setPen(pen);
    m_penColor = color;
    m_penWidth = width;
}

void PainterCanvas::drawGlyphs(const QPointF &origin, const Glyphs &glyphs, const QColor &color, const QRectF &clip)
{
    // Texts ignore the pen's width: the rules' width spares a change of pen between the two.
    setPen(color, 1.0);
    if (m_run.rawFont() != *glyphs.font)
        m_run.setRawFont(*glyphs.font);
    m_run.setUnderline(glyphs.underline);
    m_run.setStrikeOut(glyphs.strikeOut);
    m_run.setRawData(glyphs.indexes, glyphs.positions, glyphs.count);
    drawClipped(clip, [&] { m_painter.drawGlyphRun(origin, m_run); });
}

void PainterCanvas::drawText(const QPointF &origin, const QString &text, const QFont &font, const QColor &color,
                             const QRectF &clip)
{
    setPen(color, 1.0);
    if (!m_fontSet || m_font != font) {
        m_painter.setFont(font);
        m_font = font;
        m_fontSet = true;
    }
    drawClipped(clip, [&] { m_painter.drawText(origin, text); });
}

void PainterCanvas::drawLine(const QPointF &from, const QPointF &to, const QColor &color, double width)
{
    setPen(color, width);
    m_painter.drawLine(from, to);
}

void PainterCanvas::fillRect(const QRectF &rect, const QColor &color)
{
    m_painter.fillRect(rect, color);
}

PainterOutput::PainterOutput(QPagedPaintDevice &device) : m_device(device), m_painter(std::make_unique<QPainter>()) { }

PainterOutput::~PainterOutput()
{
    if (m_painter->isActive())
        m_painter->end();
}

PageCanvas &PainterOutput::beginPage()
{
    if (!m_started) {
        if (!m_painter->begin(&m_device))
            throw Error(printingMessage("The printer could not start the print job."));
        m_started = true;
    } else if (!m_device.newPage()) {
        m_painter->end();
        throw Error(printingMessage("The printer could not start a new page."));
    }
    m_painter->resetTransform();
    m_painter->scale(m_device.logicalDpiX() / PagedDocument::kPixelsPerInch,
                     m_device.logicalDpiY() / PagedDocument::kPixelsPerInch);
    // A new canvas a page: what the painter held is not carried over a new page.
    m_canvas = std::make_unique<PainterCanvas>(*m_painter);
    return *m_canvas;
}

void PainterOutput::finish()
{
    m_canvas.reset();
    const bool ended = !m_painter->isActive() || m_painter->end();
    const auto *printer = dynamic_cast<QPrinter *>(&m_device);
    if (printer && printer->printerState() == QPrinter::Aborted)
        return;
    if (!ended || (printer && printer->printerState() == QPrinter::Error))
        throw Error(printingMessage("The print job failed."));
}

}  // namespace kelvara
