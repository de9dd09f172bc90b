#include "scripteddialogs.h"

#include "report/pageddocument.h"

#include <QDialog>

namespace kelvara {

QStringList ScriptedDialogs::texts(Kind kind) const
{
    QStringList result;
    for (const Message &message : messages) {
        if (message.kind == kind)
            result << message.text;
    }
    return result;
}

QStringList ScriptedDialogs::texts() const
{
    QStringList result;
    for (const Message &message : messages)
        result << message.text;
    return result;
}

void ScriptedDialogs::clear()
{
    messages.clear();
    openRequests.clear();
    saveRequests.clear();
    folderRequests.clear();
    printRequests = 0;
    execCount = 0;
    previewTitles.clear();
}

void ScriptedDialogs::error(QWidget *, const QString &text)
{
    messages << Message{Kind::Error, text};
}

void ScriptedDialogs::warning(QWidget *, const QString &text)
{
    messages << Message{Kind::Warning, text};
}

void ScriptedDialogs::information(QWidget *, const QString &text)
{
    messages << Message{Kind::Information, text};
}

bool ScriptedDialogs::confirm(QWidget *, const QString &text)
{
    messages << Message{Kind::Confirm, text};
    return confirmAnswers.isEmpty() ? defaultConfirm : confirmAnswers.takeFirst();
}

QString ScriptedDialogs::openFileName(QWidget *, const QString &caption, const QString &directory,
                                      const QStringList &filters)
{
    openRequests << FileRequest{caption, directory, filters};
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
}

QString ScriptedDialogs::saveFileName(QWidget *, const QString &caption, const QString &directory,
                                      const QStringList &filters)
{
    saveRequests << FileRequest{caption, directory, filters};
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

QString ScriptedDialogs::existingFolder(QWidget *, const QString &caption, const QString &directory)
{
    folderRequests << FileRequest{caption, directory, {}};
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

bool ScriptedDialogs::print(QWidget *, QPrinter &printer)
{
    ++printRequests;
    const bool accepted = printAnswers.isEmpty() ? false : printAnswers.takeFirst();
    if (accepted && onPrint)
        onPrint(printer);
    return accepted;
}

int ScriptedDialogs::exec(QDialog &dialog)
{
    ++execCount;
    if (!onExec)
        return QDialog::Rejected;
    return onExec(dialog);
}

void ScriptedDialogs::preview(QWidget *parent, PagedDocument &document)
{
    previewTitles << document.title();
    if (onPreview)
        onPreview(parent, document);
}

namespace {

ScriptedDialogs &installedScript()
{
    auto *scripted = dynamic_cast<ScriptedDialogs *>(&dialogs());
    if (!scripted)
        qFatal("a print dialog was asked for while no scripted dialogs were installed");
    return *scripted;
}

}  // namespace

bool ScriptedPrintDialogs::print(QWidget *parent, QPrinter &printer)
{
    return installedScript().print(parent, printer);
}

void ScriptedPrintDialogs::preview(QWidget *parent, PagedDocument &document)
{
    installedScript().preview(parent, document);
}

}  // namespace kelvara
