#include "report/pagecanvas.h"

#include "platform/jpegcodec.h"
#include "report/pageddocument.h"
#include "store/error.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
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

std::optional<PhotoFacts> photoFacts(const QByteArray &bytes)
{
    PhotoFacts facts;
    if (bytes.startsWith("\xff\xd8")) {
        try {
            const jpeg::Markers markers = jpeg::readMarkers(bytes);
            facts.jpeg = true;
            facts.frameType = markers.frameType;
            facts.components = markers.components;
            facts.precision = markers.precision;
            facts.stored = markers.size;
            facts.orientation = jpeg::orientation(bytes);
            return facts;
        } catch (const std::exception &) {
            return std::nullopt;
        }
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    facts.stored = reader.size();
    if (!reader.canRead() || facts.stored.isEmpty()
        || qint64(facts.stored.width()) * facts.stored.height() > jpeg::maxPixels)
        return std::nullopt;
    return facts;
}

QImage photoPicture(const QByteArray &bytes, const PhotoFacts &facts, const QSize &cover)
{
    try {
        if (facts.jpeg)
            return jpeg::decodeUpright(bytes, facts.orientation, cover);
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        if (!cover.isEmpty() && (facts.stored.width() > cover.width() || facts.stored.height() > cover.height()))
            reader.setScaledSize(facts.stored.scaled(cover, Qt::KeepAspectRatioByExpanding).boundedTo(facts.stored));
        return reader.read();
    } catch (const std::exception &) {
        return QImage();
    }
}

QRectF fittedRect(const QRectF &box, const QSizeF &size)
{
    if (size.isEmpty() || box.isEmpty())
        return QRectF();
    const QSizeF fitted = size.scaled(box.size(), Qt::KeepAspectRatio);
    return QRectF(box.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
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

bool PainterCanvas::drawPhoto(const QRectF &box, const QByteArray &bytes)
{
    const std::optional<PhotoFacts> facts = photoFacts(bytes);
    if (!facts)
        return false;
    const QRectF place = fittedRect(box, facts->upright());
    if (place.isEmpty())
        return true;
    const QSizeF shown = m_painter.deviceTransform().mapRect(place).size();
    const QSizeF most = place.size() * (kPhotoDpi / PagedDocument::kPixelsPerInch);
    const QSize cover = shown.boundedTo(most).toSize().expandedTo(QSize(1, 1));
    QImage picture = photoPicture(bytes, *facts, cover);
    if (picture.isNull())
        return false;
    // Drawn at the size it is shown: a painter scaling a large picture at each draw is slow.
    if (picture.width() > cover.width() * 2 || picture.height() > cover.height() * 2)
        picture = picture.scaled(cover, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_painter.save();
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform);
    m_painter.drawImage(place, picture);
    m_painter.restore();
    return true;
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
