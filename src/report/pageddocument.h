#pragma once

#include <QPageLayout>
#include <QString>

#include <functional>

namespace kelvara {

class PageCanvas;
class PageOutput;

// A document of pages that can be laid out one page at a time, so that a preview can show the
// first page of a long listing at once and a print job never holds more than one page.
class PagedDocument
{
public:
    // The canvas's unit: a report pixel, the document's on-screen pixel at 100 %.
    static constexpr double kPixelsPerInch = 96.0;

    virtual ~PagedDocument() = default;

    virtual QString title() const = 0;
    // The page size, orientation and margins every page has.
    virtual QPageLayout pageLayout() const = 0;

    // Pages laid out so far, and whether they are all there are.
    virtual int pagesLaidOut() const = 0;
    virtual bool complete() const = 0;
    // Lays out one more page without painting it; false once every page is laid out.
    virtual bool layOutNextPage() = 0;
    // Draws a laid-out page, in report pixels with the origin at the top left corner inside
    // the margins.
    virtual void paintPage(PageCanvas &canvas, int index) = 0;

    // Called after each page written with its number; returning false stops the job.
    using Progress = std::function<bool(int page)>;
    // Writes every page to the output, each laid out, drawn and let go in turn. Fails with an
    // Error when the output cannot be written; a job stopped by progress is no failure.
    virtual void print(PageOutput &output, const Progress &progress = {}) = 0;
};

}  // namespace kelvara
