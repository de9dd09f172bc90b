#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QDialog;
class QPrinter;
class QWidget;

namespace kelvara {

class PagedDocument;

// Every message box, common dialog and modal run of the program goes through this seam, so that
// tests can answer them without a window ever blocking.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    virtual void error(QWidget *parent, const QString &text) = 0;
    virtual void warning(QWidget *parent, const QString &text) = 0;  // one OK button
    virtual void information(QWidget *parent, const QString &text) = 0;
    virtual bool confirm(QWidget *parent, const QString &text) = 0;  // OK and Cancel; true on OK

    // Filters are "Name (*.a *.b)" lines; the dialog shows the name without its last
    // parenthesised pattern group. An empty result means the user cancelled.
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                                 const QStringList &filters)
        = 0;
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                                 const QStringList &filters)
        = 0;
    virtual bool print(QWidget *parent, QPrinter &printer) = 0;  // true when the user accepts
    virtual int exec(QDialog &dialog) = 0;                       // the modal result
    // Shows a document in the print preview, from which the user pages, zooms, prints and saves
    // it as PDF; returns when the preview is closed.
    virtual void preview(QWidget *parent, PagedDocument &document) = 0;

    // The dialogs in use: the Qt ones unless a test installed others.
    static Dialogs &instance();
    // Installs other dialogs and gives back the ones they replace.
    static std::unique_ptr<Dialogs> install(std::unique_ptr<Dialogs> dialogs);
};

inline Dialogs &dialogs()
{
    return Dialogs::instance();
}

class QtDialogs : public Dialogs
{
public:
    void error(QWidget *parent, const QString &text) override;
    void warning(QWidget *parent, const QString &text) override;
    void information(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &text) override;
    QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                         const QStringList &filters) override;
    QString saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                         const QStringList &filters) override;
    bool print(QWidget *parent, QPrinter &printer) override;
    int exec(QDialog &dialog) override;
    void preview(QWidget *parent, PagedDocument &document) override;
};

}  // namespace kelvara
