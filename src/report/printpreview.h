#pragma once

#include <QDialog>
#include <QImage>

#include <functional>

class QAction;
class QLabel;
class QPrinter;
class QScrollArea;
class QSpinBox;
class QTimer;

namespace kelvara {

class PagedDocument;

// Writes every page of a document to a PDF file; fails with "Cannot create file ..." when the
// file cannot be made and "Cannot write file ..." when writing it fails. A file of that name is
// replaced only by a complete one: a failure or a job stopped by progress leaves it as it was.
void writePdfFile(PagedDocument &document, const QString &fileName, const std::function<bool(int page)> &progress = {});
// Prints every page of a document on a printer, showing the progress of a long job, which the
// user may stop there; fails with an Error naming the printer when the job fails.
void printDocument(PagedDocument &document, QPrinter &printer, QWidget *parent);

// The print preview of a paged document: shows one page at a time, laid out and painted only
// when asked for, so that the first page of any listing shows at once; further pages are laid
// out between events. From it the user pages, zooms, prints and saves the document as PDF.
class PrintPreviewDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PrintPreviewDialog(PagedDocument &document, QWidget *parent = nullptr);
    ~PrintPreviewDialog() override;

    int currentPage() const { return m_page; }  // from 0
    double zoom() const { return m_zoom; }      // 1 is the report's 100 %
    // The page as last painted, at the present zoom; null until a page is shown.
    QImage pageImage() const { return m_image; }
    // What the page count label says: "of 12", or "of 12+" while pages are still laid out.
    QString pageCountText() const;

public Q_SLOTS:
    // Shows a page; one not laid out yet shows as soon as the pages before it are.
    void showPage(int index);
    void setZoom(double zoom);
    void fitWidth();
    void fitPage();
    void printClick();
    void savePdfClick();

Q_SIGNALS:
    void pageShown(int index);

protected:
    // Keeps a page fitted to the view's width or size while the view is resized.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void layOutSome();
    void render();
    void updateControls();
    QSizeF paperPixels() const;  // the whole sheet in report pixels

    PagedDocument &m_document;
    int m_page = 0;
    int m_wanted = 0;
    double m_zoom = 1.0;
    enum class Fit { None, Width, Page } m_fit = Fit::Width;
    QImage m_image;
    QLabel *m_view = nullptr;
    QScrollArea *m_scroll = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_countLabel = nullptr;
    QLabel *m_zoomLabel = nullptr;
    QAction *m_first = nullptr;
    QAction *m_previous = nullptr;
    QAction *m_next = nullptr;
    QAction *m_last = nullptr;
    QTimer *m_layout = nullptr;
};

}  // namespace kelvara
