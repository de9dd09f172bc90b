#pragma once

#include <memory>

class QPrinter;
class QWidget;

namespace kelvara {

class PagedDocument;

// The printing half of the dialogs seam: the print dialog and the print preview. It lives with
// the printing library so that the platform's dialogs need no print support; tests install a
// scripted one beside the scripted dialogs.
class PrintDialogs
{
public:
    // The print dialogs in use: the Qt ones unless a test installed others.
    static PrintDialogs &instance();
    // Installs other print dialogs and gives back the ones they replace.
    static std::unique_ptr<PrintDialogs> install(std::unique_ptr<PrintDialogs> dialogs);

    virtual ~PrintDialogs() = default;

    virtual bool print(QWidget *parent, QPrinter &printer) = 0;  // true when the user accepts
    // Shows a document in the print preview, from which the user pages, zooms, prints and saves
    // it as PDF; returns when the preview is closed.
    virtual void preview(QWidget *parent, PagedDocument &document) = 0;
};

inline PrintDialogs &printDialogs()
{
    return PrintDialogs::instance();
}

class QtPrintDialogs : public PrintDialogs
{
public:
    bool print(QWidget *parent, QPrinter &printer) override;
    void preview(QWidget *parent, PagedDocument &document) override;
};

}  // namespace kelvara
