#pragma once

#include "report/pageddocument.h"

#include <QByteArray>
#include <QFont>
#include <QPageLayout>
#include <QRectF>
#include <QString>

#include <vector>

namespace kelvara {

// One job on paper: its fields under their labels, its notes in full and its photos, each with
// its comment, in a grid below. The pages are laid out at once: a job fills one or two.
class JobSheet : public PagedDocument
{
public:
    struct Entry
    {
        QString label;
        QString value;
    };
    // Fields that belong together, as a panel of the window holds them; a heading when it has one.
    struct Group
    {
        QString heading;
        std::vector<Entry> entries;
    };
    struct Photo
    {
        QByteArray bytes;  // as stored
        QString comment;
    };
    struct Job
    {
        QString title;
        std::vector<Group> groups;
        QString notesLabel;
        QString notes;
        QString photosLabel;
        std::vector<Photo> photos;
    };

    // On the locale's paper: Letter where it measures in inches, else A4.
    explicit JobSheet(Job job, const QString &fontFamily = QString());
    JobSheet(Job job, const QPageLayout &layout, const QString &fontFamily = QString());

    // The words in the place of a photo that cannot be shown.
    static QString photoCannotBeShown();
    static QPageLayout localePageLayout();

    QString title() const override { return m_job.title; }
    QPageLayout pageLayout() const override { return m_layout; }
    int pagesLaidOut() const override { return int(m_pages.size()); }
    bool complete() const override { return true; }
    bool layOutNextPage() override { return false; }
    void paintPage(PageCanvas &canvas, int index) override;
    void print(PageOutput &output, const Progress &progress = {}) override;

private:
    struct Item
    {
        enum Kind { Text, Rule, Photo } kind = Text;
        QRectF rect;  // a text's box: its baseline lies at the top plus the font's ascent
        QString text;
        const QFont *font = nullptr;
        bool faint = false;
        int photo = -1;
    };
    using Page = std::vector<Item>;

    void layOut();
    // Starts a new page unless height fits below y; gives the y to place at.
    double room(double &y, double height);
    void addText(double x, double &y, const QString &text, const QFont &font, bool faint = false);

    Job m_job;
    QPageLayout m_layout;
    QSizeF m_printable;
    QFont m_titleFont;
    QFont m_headingFont;
    QFont m_labelFont;
    QFont m_valueFont;
    QFont m_commentFont;
    std::vector<Page> m_pages;
};

}  // namespace kelvara
