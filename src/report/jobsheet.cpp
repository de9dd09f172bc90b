#include "report/jobsheet.h"

#include "report/bandreport.h"
#include "report/pagecanvas.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextLayout>

#include <algorithm>

namespace kelvara {

namespace {

constexpr int kFieldColumns = 4;
constexpr double kGap = 12;      // between columns and between photos
constexpr double kRowGap = 6;    // below a row of fields
constexpr double kGroupGap = 8;  // below a group of fields
constexpr double kMostPhotoHeight = 220;
const QColor kFaint(0x55, 0x55, 0x55);
const QColor kFrame(0x88, 0x88, 0x88);

double lineHeight(const QFont &font)
{
    return QFontMetricsF(font).lineSpacing();
}

// The lines a text takes in a width, broken between words where it can, its own line breaks
// kept.
QStringList wrapped(const QString &text, const QFont &font, double width)
{
    QStringList lines;
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QString &paragraph : plain.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    return lines;
}

}  // namespace

JobSheet::JobSheet(Job job, const QString &fontFamily) : JobSheet(std::move(job), localePageLayout(), fontFamily) { }

JobSheet::JobSheet(Job job, const QPageLayout &layout, const QString &fontFamily)
    : m_job(std::move(job)), m_layout(layout)
{
    const QString family = fontFamily.isEmpty() ? QGuiApplication::font().family() : fontFamily;
    m_titleFont = reportFont(family, 16);
    m_titleFont.setBold(true);
    m_headingFont = reportFont(family, 11);
    m_headingFont.setBold(true);
    m_labelFont = reportFont(family, 8);
    m_valueFont = reportFont(family, 11);
    m_commentFont = reportFont(family, 9);
    // Millimetres: the page layout rounds every measure to two decimals of the unit asked for.
    m_printable = m_layout.paintRect(QPageLayout::Millimeter).size() * (kPixelsPerInch / 25.4);
    layOut();
}

QString JobSheet::photoCannotBeShown()
{
    return QCoreApplication::translate("JobSheet", "photo cannot be shown");
}

QPageLayout JobSheet::localePageLayout()
{
    const ReportUnits units = ReportUnits::forLocale(QLocale());
    const bool inches = units.unit() == ReportUnits::Inches;
    const double margin = units.defaultMargin();
    return QPageLayout(QPageSize(inches ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(margin, margin, margin, margin), units.pageLayoutUnit());
}

double JobSheet::room(double &y, double height)
{
    if (y > 0 && y + height > m_printable.height()) {
        m_pages.emplace_back();
        y = 0;
    }
    return y;
}

void JobSheet::addText(double x, double &y, const QString &text, const QFont &font, bool faint)
{
    const double height = lineHeight(font);
    Item item;
    item.kind = Item::Text;
    item.rect = QRectF(x, y, m_printable.width() - x, height);
    item.text = text;
    item.font = &font;
    item.faint = faint;
    m_pages.back().push_back(item);
    y += height;
}

void JobSheet::layOut()
{
    m_pages.assign(1, Page());
    const double width = m_printable.width();
    double y = 0;
    addText(0, y, m_job.title, m_titleFont);
    y += 4;
    m_pages.back().push_back(Item{Item::Rule, QRectF(0, y, width, 0), QString(), nullptr, false, -1});
    y += 10;

    const double labelHeight = lineHeight(m_labelFont);
    const double valueHeight = lineHeight(m_valueFont);
    const double cellWidth = (width - (kFieldColumns - 1) * kGap) / kFieldColumns;
    for (const Group &group : m_job.groups) {
        if (!group.heading.isEmpty()) {
            room(y, lineHeight(m_headingFont) + labelHeight + valueHeight);
            addText(0, y, group.heading, m_headingFont);
            y += 2;
        }
        for (size_t first = 0; first < group.entries.size(); first += kFieldColumns) {
            const size_t end = std::min(group.entries.size(), first + kFieldColumns);
            std::vector<QStringList> values;
            qsizetype most = 1;
            for (size_t i = first; i < end; ++i) {
                values.push_back(wrapped(group.entries[i].value, m_valueFont, cellWidth));
                most = std::max(most, values.back().size());
            }
            room(y, labelHeight + most * valueHeight + kRowGap);
            for (size_t i = first; i < end; ++i) {
                const double x = double(i - first) * (cellWidth + kGap);
                double at = y;
                addText(x, at, group.entries[i].label, m_labelFont, true);
                for (const QString &line : values[i - first])
                    addText(x, at, line, m_valueFont);
            }
            y += labelHeight + most * valueHeight + kRowGap;
        }
        y += kGroupGap;
    }

    // The notes go on over as many pages as they take, each line whole.
    const QStringList notes = wrapped(m_job.notes, m_valueFont, width);
    room(y, lineHeight(m_headingFont) + valueHeight);
    addText(0, y, m_job.notesLabel, m_headingFont);
    y += 2;
    for (const QString &line : notes) {
        const size_t pages = m_pages.size();
        room(y, valueHeight);
        if (m_pages.size() != pages) {
            addText(0, y, QCoreApplication::translate("JobSheet", "%1 (continued)").arg(m_job.notesLabel),
                    m_headingFont);
            y += 2;
        }
        addText(0, y, line, m_valueFont);
    }
    y += kGroupGap;

    const int photos = int(m_job.photos.size());
    if (photos == 0)
        return;
    const int columns = photos == 4 ? 2 : std::min(photos, 3);
    const double photoWidth = (width - (columns - 1) * kGap) / columns;
    const double photoHeight = std::min(photoWidth * 3 / 4, kMostPhotoHeight);
    const double commentHeight = lineHeight(m_commentFont);
    const double headingHeight = lineHeight(m_headingFont) + 2;
    for (int first = 0; first < photos; first += columns) {
        const int end = std::min(photos, first + columns);
        std::vector<QStringList> comments;
        qsizetype most = 0;
        for (int i = first; i < end; ++i) {
            comments.push_back(wrapped(m_job.photos[size_t(i)].comment, m_commentFont, photoWidth));
            if (comments.back() == QStringList{QString()})
                comments.back().clear();
            most = std::max(most, comments.back().size());
        }
        // A comment longer than a page holds is cut where the page ends.
        const qsizetype fit = qsizetype((m_printable.height() - headingHeight - photoHeight - 4) / commentHeight);
        most = std::min(most, std::max<qsizetype>(fit, 0));
        const double rowHeight = photoHeight + 4 + most * commentHeight + kGap;
        if (first == 0) {
            room(y, headingHeight + rowHeight);
            addText(0, y, m_job.photosLabel, m_headingFont);
            y += 2;
        } else {
            room(y, rowHeight);
        }
        for (int i = first; i < end; ++i) {
            const double x = (i - first) * (photoWidth + kGap);
            Item photo;
            photo.kind = Item::Photo;
            photo.rect = QRectF(x, y, photoWidth, photoHeight);
            photo.photo = i;
            m_pages.back().push_back(photo);
            double at = y + photoHeight + 4;
            const QStringList &lines = comments[size_t(i - first)];
            for (qsizetype line = 0; line < std::min(lines.size(), most); ++line)
                addText(x, at, lines[line], m_commentFont);
        }
        y += rowHeight;
    }
}

void JobSheet::paintPage(PageCanvas &canvas, int index)
{
    if (index < 0 || index >= pagesLaidOut())
        return;
    for (const Item &item : m_pages[size_t(index)]) {
        switch (item.kind) {
        case Item::Text:
            if (!item.text.isEmpty()) {
                const QPointF baseline(item.rect.left(), item.rect.top() + QFontMetricsF(*item.font).ascent());
                canvas.drawText(baseline, item.text, *item.font, item.faint ? kFaint : QColor(Qt::black), QRectF());
            }
            break;
        case Item::Rule: canvas.drawLine(item.rect.topLeft(), item.rect.topRight(), Qt::black, 1.0); break;
        case Item::Photo:
            if (!canvas.drawPhoto(item.rect, m_job.photos[size_t(item.photo)].bytes)) {
                // Framed, so that the place of the photo still shows, and said in words.
                const QRectF r = item.rect.adjusted(0.5, 0.5, -0.5, -0.5);
                canvas.drawLine(r.topLeft(), r.topRight(), kFrame, 1.0);
                canvas.drawLine(r.topRight(), r.bottomRight(), kFrame, 1.0);
                canvas.drawLine(r.bottomRight(), r.bottomLeft(), kFrame, 1.0);
                canvas.drawLine(r.bottomLeft(), r.topLeft(), kFrame, 1.0);
                const QString words = photoCannotBeShown();
                const QFontMetricsF metrics(m_commentFont);
                const QPointF at(r.center().x() - metrics.horizontalAdvance(words) / 2,
                                 r.center().y() + (metrics.ascent() - metrics.descent()) / 2);
                canvas.drawText(at, words, m_commentFont, kFaint, r);
            }
            break;
        }
    }
}

void JobSheet::print(PageOutput &output, const Progress &progress)
{
    for (int page = 0; page < pagesLaidOut(); ++page) {
        paintPage(output.beginPage(), page);
        if (progress && !progress(page + 1))
            break;
    }
    output.finish();
}

}  // namespace kelvara
