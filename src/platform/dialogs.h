#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QDialog;
class QWidget;

namespace kelvara {

// Every message box, file dialog and modal run of the program goes through this seam, so that
// tests can answer them without a window ever blocking. The print dialog and the print preview
// go through its printing half, PrintDialogs, which lives with the printing library.
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
    // An existing folder; empty when the user cancelled.
    virtual QString existingFolder(QWidget *parent, const QString &caption, const QString &directory) = 0;
    virtual int exec(QDialog &dialog) = 0;  // the modal result

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
    QString existingFolder(QWidget *parent, const QString &caption, const QString &directory) override;
    int exec(QDialog &dialog) override;
};

}  // namespace kelvara
