#include "pdfpages.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextDocumentFragment>

namespace kelvara::test {

QString PdfPage::text() const
{
    QStringList texts;
    for (const PdfWord &word : words)
        texts << word.text;
    return texts.join(QLatin1Char(' '));
}

QList<PdfWord> PdfPage::find(const QString &text) const
{
    QList<PdfWord> found;
    for (const PdfWord &word : words) {
        if (word.text == text)
            found << word;
    }
    return found;
}

QList<PdfWord> PdfPage::startingWith(const QString &start) const
{
    QList<PdfWord> found;
    for (const PdfWord &word : words) {
        if (word.text.startsWith(start))
            found << word;
    }
    return found;
}

std::optional<QList<PdfPage>> readPdf(const QString &fileName)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, {QStringLiteral("-bbox"), fileName, QStringLiteral("-")});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return std::nullopt;
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    static const QRegularExpression pageTag(QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">"));
    static const QRegularExpression wordTag(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<PdfPage> pages;
    qsizetype at = 0;
    while (true) {
        const QRegularExpressionMatch page = pageTag.match(html, at);
        if (!page.hasMatch())
            break;
        PdfPage read;
        read.size = QSizeF(page.captured(1).toDouble(), page.captured(2).toDouble());
        const qsizetype end = html.indexOf(QLatin1String("</page>"), page.capturedEnd());
        QRegularExpressionMatchIterator words
            = wordTag.globalMatch(html.mid(page.capturedEnd(), end - page.capturedEnd()));
        while (words.hasNext()) {
            const QRegularExpressionMatch word = words.next();
            const QPointF topLeft(word.captured(1).toDouble(), word.captured(2).toDouble());
            const QPointF bottomRight(word.captured(3).toDouble(), word.captured(4).toDouble());
            read.words << PdfWord{QTextDocumentFragment::fromHtml(word.captured(5)).toPlainText(),
                                  QRectF(topLeft, bottomRight)};
        }
        pages << read;
        at = end;
    }
    return pages;
}

std::optional<QString> readPdfText(const QString &fileName)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, {QStringLiteral("-enc"), QStringLiteral("UTF-8"), fileName, QStringLiteral("-")});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return std::nullopt;
    QString text = QString::fromUtf8(process.readAllStandardOutput());
    static const QRegularExpression directionMarks(QStringLiteral("[\\x{200E}\\x{200F}\\x{202A}-\\x{202E}]"));
    return text.remove(directionMarks);
}

}  // namespace kelvara::test
