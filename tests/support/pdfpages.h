#pragma once

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelvara::test {

// A PDF file's words with their boxes in points, page by page, as poppler's pdftotext reads them.
struct PdfWord
{
    QString text;
    QRectF box;
};

struct PdfPage
{
    QSizeF size;
    QList<PdfWord> words;

    // The page's words in reading order, joined by single spaces.
    QString text() const;
    // The words whose text is exactly this, or that start with it.
    QList<PdfWord> find(const QString &text) const;
    QList<PdfWord> startingWith(const QString &start) const;
};

// nullopt when pdftotext is not installed or fails.
std::optional<QList<PdfPage>> readPdf(const QString &fileName);
// The text of a PDF file's pages in reading order, as copying it gives it: lines of words in the
// order they are read, right-to-left ones too, without the marks of direction poppler adds
// around them. nullopt when pdftotext is not installed or fails.
std::optional<QString> readPdfText(const QString &fileName);

// The message a test skips with when readPdf has no tool.
inline const char *pdfToolMissing()
{
    return "pdftotext (poppler-utils) is not installed: the printed text cannot be read";
}

// Report pixels (1/96 inch) in PDF points (1/72 inch).
inline double points(double pixels)
{
    return pixels * 72.0 / 96.0;
}

inline double millimetresInPoints(double millimetres)
{
    return millimetres * 72.0 / 25.4;
}

}  // namespace kelvara::test
