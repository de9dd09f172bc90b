#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRawFont>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>

class QPagedPaintDevice;

namespace kelvara {

// Whether the face the font system gives for a font is plainer than the font asks for: a bold
// or italic face that a family lacks is made up by thickening or slanting another when drawn.
bool isMadeUpFace(const QFont &font, const QRawFont &face);

// Photos are put on paper with at most this many pixels an inch: a printer shows no more.
constexpr double kPhotoDpi = 300.0;

// What a stored photo is, read from its bytes without decoding them.
struct PhotoFacts
{
    bool jpeg = false;
    int frameType = 0;  // of a JPEG's start-of-frame marker (see jpeg::Markers)
    int components = 0;
    int precision = 8;
    QSize stored;  // as the bytes hold it
    int orientation = 1;
    QSize upright() const { return orientation >= 5 && orientation <= 8 ? stored.transposed() : stored; }
};
// None for bytes that are no picture, a damaged or cut-off JPEG, or one the decoder refuses.
std::optional<PhotoFacts> photoFacts(const QByteArray &bytes);
// The picture of a photo, upright, decoded no larger than needed to cover cover (which is
// upright; an empty one asks for the whole picture); null when it cannot be decoded.
QImage photoPicture(const QByteArray &bytes, const PhotoFacts &facts, const QSize &cover);
// Where a picture of size lies in box: as large as fits with its sides in proportion, centred.
QRectF fittedRect(const QRectF &box, const QSizeF &size);

// What the pages of a listing are drawn on: texts, rules and photos, nothing else. Behind it lies a
// painter (the preview, a printer) or a PDF file written directly, which for a listing of
// thousands of pages is many times faster than painting one glyph at a time.
// Coordinates are report pixels with the origin at the top left corner inside the margins.
class PageCanvas
{
public:
    virtual ~PageCanvas() = default;

    // Glyphs of one font along a baseline: each glyph's position is relative to the origin, and
    // text holds the characters they show, one code point a glyph. Nothing outside clip shows;
    // an empty clip cuts nothing.
    struct Glyphs
    {
        const QRawFont *font = nullptr;
        const quint32 *indexes = nullptr;
        const QPointF *positions = nullptr;
        int count = 0;
        QStringView text;
        bool underline = false;
        bool strikeOut = false;
    };
    virtual void drawGlyphs(const QPointF &origin, const Glyphs &glyphs, const QColor &color, const QRectF &clip) = 0;
    // A text that must be shaped, perhaps from other fonts than the one asked for.
    virtual void drawText(const QPointF &origin, const QString &text, const QFont &font, const QColor &color,
                          const QRectF &clip)
        = 0;
    virtual void drawLine(const QPointF &from, const QPointF &to, const QColor &color, double width) = 0;
    // A rectangle filled with one colour, without an outline: the bars of a chart, a shade.
    virtual void fillRect(const QRectF &rect, const QColor &color) = 0;
    // A photo as stored (a JPEG file, or another picture file), upright as its Exif orientation
    // says, as large as fits in box with its sides in proportion and centred. False, with
    // nothing drawn, when the bytes cannot be shown: no picture, damaged, cut off, or larger
    // than the decoder takes.
    virtual bool drawPhoto(const QRectF &box, const QByteArray &bytes) = 0;
};

// Where the pages of a print job go, one after the other.
class PageOutput
{
public:
    virtual ~PageOutput() = default;
    // Starts the next page; its canvas lives until the next call or finish. Fails with an Error.
    virtual PageCanvas &beginPage() = 0;
    // Ends the job. Fails with an Error when it could not be completed; a job the user stopped
    // is no failure.
    virtual void finish() = 0;
};

// A canvas on a painter that the caller has set up.
class PainterCanvas : public PageCanvas
{
public:
    explicit PainterCanvas(QPainter &painter) : m_painter(painter) { }

    void drawGlyphs(const QPointF &origin, const Glyphs &glyphs, const QColor &color, const QRectF &clip) override;
    void drawText(const QPointF &origin, const QString &text, const QFont &font, const QColor &color,
                  const QRectF &clip) override;
    void drawLine(const QPointF &from, const QPointF &to, const QColor &color, double width) override;
    void fillRect(const QRectF &rect, const QColor &color) override;
    // Decodes the photo no larger than the device shows it, and at most at kPhotoDpi.
    bool drawPhoto(const QRectF &box, const QByteArray &bytes) override;

private:
    // Changing the painter's pen and font costs more than drawing a short text: they are set
    // only when they change.
    void setPen(const QColor &color, double width);
    // Draws inside the clip, or unclipped when it is empty: saving the painter's state for every
    // line would cost more than the line.
    template <typename Draw> void drawClipped(const QRectF &clip, Draw &&draw)
    {
        if (clip.isEmpty()) {
            draw();
            return;
        }
        m_painter.save();
        m_painter.setClipRect(clip, Qt::IntersectClip);
        draw();
        m_painter.restore();
    }

    QPainter &m_painter;
    QColor m_penColor;
    double m_penWidth = -1;
    QFont m_font;
    bool m_fontSet = false;
    QGlyphRun m_run;
};

// Pages painted on a printer or any other paged device, each scaled from report pixels to the
// device's resolution.
class PainterOutput : public PageOutput
{
public:
    explicit PainterOutput(QPagedPaintDevice &device);
    ~PainterOutput() override;

    PageCanvas &beginPage() override;
    void finish() override;

private:
    QPagedPaintDevice &m_device;
    std::unique_ptr<QPainter> m_painter;
    std::unique_ptr<PainterCanvas> m_canvas;
    bool m_started = false;
};

}  // namespace kelvara
