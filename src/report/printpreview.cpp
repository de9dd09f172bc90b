#include "report/printpreview.h"

#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "report/pagecanvas.h"
#include "report/pageddocument.h"
#include "report/pdfwriter.h"
#include "report/printdialogs.h"
#include "store/error.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QProgressDialog>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace kelvara {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PrintPreviewDialog", text);
}

constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 8.0;
constexpr double kZoomStep = 1.25;
// How long one round of laying out pages between events may take.
constexpr int kLayoutSliceMs = 20;

}  // namespace

void writePdfFile(PagedDocument &document, const QString &fileName, const PagedDocument::Progress &progress)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    // A file is written beside the old one and takes its place only once it is complete, so a
    // full disk or a stopped job leaves the old file as it was. A device or a pipe cannot be
    // replaced so: it is written to directly.
    const QFileInfo target(fileName);
    const bool direct = target.exists() && !target.isFile();
    QSaveFile beside(fileName);
    QFile straight(fileName);
    QFileDevice &file = direct ? static_cast<QFileDevice &>(straight) : beside;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(tr("Cannot create file %1. %2").arg(shown, file.errorString()));
    const auto cannotWrite = [&](const QString &reason) {
        // The system's words for a full disk do not say what to do about it.
        const QString cause = file.error() == QFileDevice::ResourceError ? tr("The disk is full.") : reason;
        return Error(tr("Cannot write file %1. %2").arg(shown, cause));
    };
    bool stopped = false;
    const PagedDocument::Progress watched = [&](int page) {
        if (progress && !progress(page)) {
            stopped = true;
            return false;
        }
        return true;
    };
    try {
        try {
            PdfFileOutput output(file, document.pageLayout(), document.title(), QCoreApplication::applicationName());
            document.print(output, watched);
        } catch (const PdfFileOutput::UnsupportedFont &) {
            // A font that cannot be embedded as it is: the toolkit's engine draws the whole
            // document instead, slower but with any font.
            stopped = false;
            if (!file.seek(0) || !file.resize(0))
                throw Error(file.errorString());
            QPdfWriter writer(&file);
            writer.setTitle(document.title());
            writer.setCreator(QCoreApplication::applicationName());
            writer.setPageLayout(document.pageLayout());
            PainterOutput output(writer);
            document.print(output, watched);
        }
    } catch (const Error &error) {
        // Failures of either way are told alike.
        throw cannotWrite(error.message());
    }
    if (stopped && !direct) {
        beside.cancelWriting();
        return;
    }
    if (!file.flush() || file.error() != QFileDevice::NoError || (!direct && !beside.commit()))
        throw cannotWrite(file.errorString());
}

void printDocument(PagedDocument &document, QPrinter &printer, QWidget *parent)
{
    if (printer.docName().isEmpty())
        printer.setDocName(document.title());
    const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
    const QString target = toFile ? QDir::toNativeSeparators(printer.outputFileName()) : printer.printerName();
    if (!printer.isValid())
        throw Error(tr("The printer %1 is not available.").arg(target));
    // Shown only when the job takes a while; the count of pages is unknown until the end.
    QProgressDialog progress(tr("Printing page %1").arg(1), tr("Cancel"), 0, 0, parent);
    progress.setWindowTitle(document.title());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(1000);
    const auto onPage = [&](int page) {
        progress.setLabelText(tr("Printing page %1").arg(page + 1));
        progress.setValue(0);
        // A stopped job is dropped, not sent half printed.
        if (progress.wasCanceled()) {
            printer.abort();
            return false;
        }
        return true;
    };
    try {
        if (toFile && !printer.outputFileName().isEmpty()) {
            // A stopped job leaves no file, nor harms the one it was to replace.
            writePdfFile(document, printer.outputFileName(), onPage);
            return;
        }
        printer.setPageLayout(document.pageLayout());
        PainterOutput output(printer);
        document.print(output, onPage);
    } catch (const Error &error) {
        throw Error(tr("Printing on %1 failed. %2").arg(target, error.message()));
    }
}

PrintPreviewDialog::PrintPreviewDialog(PagedDocument &document, QWidget *parent) : QDialog(parent), m_document(document)
{
    setObjectName(QStringLiteral("PrintPreview"));
    setWindowTitle(document.title().isEmpty() ? tr("Print Preview") : document.title());
    setWindowFlag(Qt::WindowMaximizeButtonHint);

    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("PreviewBar"));
    const auto action = [&](const char *name, const QString &text, const QKeySequence &key, auto slot) {
        QAction *added = bar->addAction(text);
        added->setObjectName(QString::fromLatin1(name));
        added->setShortcut(key);
        connect(added, &QAction::triggered, this, slot);
        return added;
    };
    m_first = action("firstPage", tr("First"), QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { showPage(0); });
    m_previous = action("previousPage", tr("Previous"), QKeySequence(Qt::Key_PageUp), [this] { showPage(m_page - 1); });
    m_pageBox = new QSpinBox(bar);
    m_pageBox->setObjectName(QStringLiteral("pageBox"));
    m_pageBox->setRange(1, 1);
    m_pageBox->setKeyboardTracking(false);
    bar->addWidget(m_pageBox);
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int value) {
        if (value - 1 != m_page)
            showPage(value - 1);
    });
    m_countLabel = new QLabel(bar);
    m_countLabel->setObjectName(QStringLiteral("pageCount"));
    bar->addWidget(m_countLabel);
    m_next = action("nextPage", tr("Next"), QKeySequence(Qt::Key_PageDown), [this] { showPage(m_page + 1); });
    m_last = action("lastPage", tr("Last"), QKeySequence(Qt::CTRL | Qt::Key_End), [this] { showPage(INT_MAX); });
    bar->addSeparator();
    action("zoomOut", tr("Zoom Out"), QKeySequence::ZoomOut, [this] { setZoom(m_zoom / kZoomStep); });
    m_zoomLabel = new QLabel(bar);
    m_zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
    bar->addWidget(m_zoomLabel);
    action("zoomIn", tr("Zoom In"), QKeySequence::ZoomIn, [this] { setZoom(m_zoom * kZoomStep); });
    action("actualSize", tr("Actual Size"), QKeySequence(Qt::CTRL | Qt::Key_0), [this] { setZoom(1.0); });
    action("fitWidth", tr("Page Width"), QKeySequence(), &PrintPreviewDialog::fitWidth);
    action("fitPage", tr("Whole Page"), QKeySequence(), &PrintPreviewDialog::fitPage);
    bar->addSeparator();
    action("print", tr("Print..."), QKeySequence::Print, &PrintPreviewDialog::printClick);
    action("savePdf", tr("Save as PDF..."), QKeySequence(Qt::CTRL | Qt::Key_S), &PrintPreviewDialog::savePdfClick);
    action("close", tr("Close"), QKeySequence(), &QDialog::reject);

    m_view = new QLabel;
    m_view->setObjectName(QStringLiteral("pageView"));
    m_view->setAlignment(Qt::AlignCenter);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("pageScroll"));
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_view);
    m_scroll->viewport()->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_scroll, 1);
    // Wide enough for every command of the bar, none of them behind its overflow arrow, and no
    // larger than the screen.
    bar->ensurePolished();
    resize(QSize(std::max(1000, bar->sizeHint().width()), 900).boundedTo(screen()->availableSize()));

    m_layout = new QTimer(this);
    m_layout->setInterval(0);
    connect(m_layout, &QTimer::timeout, this, &PrintPreviewDialog::layOutSome);
    // The first page is painted now; the others are laid out while the user looks at it.
    guarded(this, [&] { showPage(0); });
    if (!m_document.complete())
        m_layout->start();
}

PrintPreviewDialog::~PrintPreviewDialog() = default;

QSizeF PrintPreviewDialog::paperPixels() const
{
    // Millimetres: the page layout rounds every measure to two decimals of the unit asked for.
    return m_document.pageLayout().fullRect(QPageLayout::Millimeter).size() * (PagedDocument::kPixelsPerInch / 25.4);
}

QString PrintPreviewDialog::pageCountText() const
{
    return m_document.complete() ? tr("of %1").arg(m_document.pagesLaidOut())
                                 : tr("of %1+").arg(m_document.pagesLaidOut());
}

void PrintPreviewDialog::showPage(int index)
{
    m_wanted = std::max(0, index);
    // The page after the known ones costs one page of layout; one further ahead is reached
    // between events, and the page shown stays until then.
    if (m_wanted == m_document.pagesLaidOut() && !m_document.complete())
        m_document.layOutNextPage();
    if (m_wanted >= m_document.pagesLaidOut() && !m_document.complete()) {
        m_layout->start();
        updateControls();
        return;
    }
    m_page = std::min(m_wanted, m_document.pagesLaidOut() - 1);
    m_wanted = m_page;
    render();
    updateControls();
    Q_EMIT pageShown(m_page);
}

void PrintPreviewDialog::layOutSome()
{
    try {
        QElapsedTimer slice;
        slice.start();
        while (!m_document.complete() && slice.elapsed() < kLayoutSliceMs)
            m_document.layOutNextPage();
        if (m_document.complete())
            m_layout->stop();
        if (m_wanted != m_page && (m_wanted < m_document.pagesLaidOut() || m_document.complete()))
            showPage(m_wanted);
        else
            updateControls();
    } catch (const std::exception &error) {
        // Told once: the pages that could be laid out stay to be looked at.
        m_layout->stop();
        m_wanted = m_page;
        updateControls();
        reportError(this, error);
    }
}

void PrintPreviewDialog::setZoom(double zoom)
{
    m_fit = Fit::None;
    zoom = qBound(kMinZoom, zoom, kMaxZoom);
    if (qFuzzyCompare(zoom, m_zoom) && !m_image.isNull())
        return;
    m_zoom = zoom;
    guarded(this, [&] { render(); });
    updateControls();
}

void PrintPreviewDialog::fitWidth()
{
    m_fit = Fit::Width;
    const double available = m_scroll->viewport()->width() - 2 * style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    m_zoom = qBound(kMinZoom, available / paperPixels().width(), kMaxZoom);
    guarded(this, [&] { render(); });
    updateControls();
}

void PrintPreviewDialog::fitPage()
{
    m_fit = Fit::Page;
    const QSizeF paper = paperPixels();
    const QSize available = m_scroll->viewport()->size() - QSize(8, 8);
    m_zoom
        = qBound(kMinZoom, std::min(available.width() / paper.width(), available.height() / paper.height()), kMaxZoom);
    guarded(this, [&] { render(); });
    updateControls();
}

bool PrintPreviewDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize) {
        if (m_fit == Fit::Width)
            fitWidth();
        else if (m_fit == Fit::Page)
            fitPage();
    }
    return QDialog::eventFilter(watched, event);
}

void PrintPreviewDialog::render()
{
    const QPageLayout layout = m_document.pageLayout();
    const QSizeF paper = paperPixels() * m_zoom;
    m_image = QImage(paper.toSize().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_image.fill(Qt::white);
    {
        QPainter painter(&m_image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(m_zoom, m_zoom);
        const QRectF inside = layout.paintRect(QPageLayout::Millimeter);
        painter.translate(inside.topLeft() * (PagedDocument::kPixelsPerInch / 25.4));
        PainterCanvas canvas(painter);
        m_document.paintPage(canvas, m_page);
    }
    m_view->setPixmap(QPixmap::fromImage(m_image));
    m_view->resize(m_image.size());
}

void PrintPreviewDialog::updateControls()
{
    const int known = m_document.pagesLaidOut();
    {
        const QSignalBlocker blocker(m_pageBox);
        m_pageBox->setRange(1, m_document.complete() ? known : INT_MAX);
        m_pageBox->setValue(m_page + 1);
    }
    m_countLabel->setText(QLatin1Char(' ') + pageCountText() + QLatin1Char(' '));
    m_zoomLabel->setText(QStringLiteral(" %1 % ").arg(qRound(m_zoom * 100)));
    m_first->setEnabled(m_page > 0);
    m_previous->setEnabled(m_page > 0);
    const bool more = m_page + 1 < known || !m_document.complete();
    m_next->setEnabled(more);
    m_last->setEnabled(more);
}

void PrintPreviewDialog::printClick()
{
    guarded(this, [&] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(m_document.title());
        printer.setPageLayout(m_document.pageLayout());
        if (!printDialogs().print(this, printer))
            return;
        printDocument(m_document, printer, this);
        render();
    });
}

void PrintPreviewDialog::savePdfClick()
{
    guarded(this, [&] {
        QString fileName = dialogs().saveFileName(this, tr("Save as PDF"), QString(), {tr("PDF files (*.pdf)")});
        if (fileName.isEmpty())
            return;
        // A name typed without a suffix gets the file's own, so that other programs know it;
        // the dialog asked about replacing the name as typed, so a file of the new name is asked
        // about here.
        if (QFileInfo(fileName).suffix().isEmpty()) {
            fileName += QStringLiteral(".pdf");
            if (QFileInfo::exists(fileName)
                && !dialogs().confirm(
                    this, tr("%1 already exists. Do you want to replace it?").arg(QDir::toNativeSeparators(fileName))))
                return;
        }
        writePdfFile(m_document, fileName);
        render();
    });
}

}  // namespace kelvara
