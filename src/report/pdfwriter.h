#pragma once

#include "report/pagecanvas.h"

#include <QPageLayout>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QIODevice;

namespace kelvara {

// A PDF file written page by page straight from a listing's texts and rules. A line of text is
// one text operator in an embedded subset of its font, and each page is compressed and written
// as soon as it is finished, so a listing of any length holds one page. The toolkit's PDF
// engine positions and writes every glyph on its own, which makes a long listing take minutes.
// Photos stored as JPEG files go in as their bytes, unchanged, which readers decode themselves;
// other pictures are decoded and encoded as JPEG once.
// Only fonts with TrueType outlines are embedded; for any other, and for a face made up by
// thickening or slanting another, the output throws UnsupportedFont, and the caller paints the
// document through the toolkit instead.
class PdfFileOutput : public PageOutput
{
public:
    struct UnsupportedFont
    {
        QString family;
    };

    // Writes to an open device from its present position. Fails with an Error carrying the
    // device's message when it cannot be written.
    PdfFileOutput(QIODevice &device, const QPageLayout &layout, const QString &title, const QString &creator);
    ~PdfFileOutput() override;

    PageCanvas &beginPage() override;
    void finish() override;

private:
    class Canvas;
    class Compressor;
    struct Font;
    friend class Canvas;

    int newObject();
    void beginObject(int number);
    void writeStream(int number, const std::string &data, const std::string &dictionary = std::string());
    void endPage();
    void writeFont(Font &font);
    void flush();
    void writeRaw(const char *data, qint64 size);
    // Writes an image object of JPEG bytes; gives its number among the page's images, from 1.
    int writeImage(const QByteArray &jpeg, const QSize &size, int components);
    Font &fontFor(const QRawFont &raw);

    QIODevice &m_device;
    QRectF m_paper;   // in points
    QRectF m_inside;  // the printable part of the paper, in points from its top left corner
    QString m_title;
    QString m_creator;
    std::string m_out;      // written to the device in pieces
    std::string m_content;  // of the page being drawn
    qint64 m_written = 0;
    std::vector<qint64> m_offsets;  // of each object, by number; object 0 is not one
    std::vector<int> m_pages;
    std::unique_ptr<Compressor> m_compressor;
    std::unique_ptr<Canvas> m_canvas;
    std::vector<std::unique_ptr<Font>> m_fonts;
    std::vector<std::pair<QRawFont, Font *>> m_rawFonts;  // each size of a font seen, to its font
    std::vector<int> m_images;                            // object numbers, for the resources
    bool m_finished = false;
};

}  // namespace kelvara
