#pragma once

#include "installed.h"
#include "platform/dialogs.h"
#include "report/printdialogs.h"

#include <QList>

#include <functional>

namespace kelvara {

// Dialogs for tests: every message is recorded, every question answered from a script. The
// print dialog and the preview are answered here too, through ScriptedPrintDialogs.
class ScriptedDialogs : public Dialogs
{
public:
    enum class Kind { Error, Warning, Information, Confirm };
    struct Message
    {
        Kind kind;
        QString text;
    };
    struct FileRequest
    {
        QString caption;
        QString directory;
        QStringList filters;
    };

    // Answers, used up front to back; when a list runs out the default answer is given.
    QList<bool> confirmAnswers;
    bool defaultConfirm = true;
    QStringList openAnswers;  // an empty entry cancels
    QStringList saveAnswers;
    QStringList folderAnswers;
    QList<bool> printAnswers;  // default: cancelled
    // Sets up the printer of an accepted print dialog, as the user's choices would (a PDF file).
    std::function<void(QPrinter &)> onPrint;
    std::function<int(QDialog &)> onExec;  // default: the dialog is rejected
    // Stands for the user in the print preview: may page, print or save the document.
    std::function<void(QWidget *, PagedDocument &)> onPreview;

    // What happened.
    QList<Message> messages;
    QList<FileRequest> openRequests;
    QList<FileRequest> saveRequests;
    QList<FileRequest> folderRequests;  // no filters
    int printRequests = 0;
    int execCount = 0;
    QStringList previewTitles;  // the title of each document previewed

    QStringList texts(Kind kind) const;
    QStringList texts() const;
    void clear();

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
    bool print(QWidget *parent, QPrinter &printer);
    void preview(QWidget *parent, PagedDocument &document);
};

// The printing half of the seam as a test plays it: answered by the scripted dialogs installed
// at the time, so that a test which installs other scripted dialogs gets their answers here too.
class ScriptedPrintDialogs : public PrintDialogs
{
public:
    bool print(QWidget *parent, QPrinter &printer) override;
    void preview(QWidget *parent, PagedDocument &document) override;
};

// Installs scripted dialogs, both halves, for the lifetime of a test and puts the previous ones
// back.
class ScriptedDialogsScope
{
public:
    ScriptedDialogs *operator->() const { return m_dialogs.operator->(); }
    ScriptedDialogs &operator*() const { return *m_dialogs; }

private:
    test::InstalledStandIn<&Dialogs::install, ScriptedDialogs> m_dialogs;
    test::Installed<&PrintDialogs::install> m_printDialogs{std::make_unique<ScriptedPrintDialogs>()};
};

}  // namespace kelvara
