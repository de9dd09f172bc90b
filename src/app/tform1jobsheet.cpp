// The main window's job sheet: the current job as the data sheet shows it, put on paper.
#include "app/runningtotal.h"
#include "app/tform1.h"
#include "dbctrls/tdbcombobox.h"
#include "dbctrls/tdbedit.h"
#include "dbctrls/tdbmemo.h"
#include "platform/dialogs.h"
#include "report/jobsheet.h"
#include "report/printdialogs.h"
#include "store/error.h"
#include "store/field.h"
#include "store/table.h"

#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>

namespace kelvara {

namespace {

// The field a bound box of the data sheet shows; none for any other widget.
Field *boundField(const QWidget *widget)
{
    if (const auto *edit = qobject_cast<const TDBEdit *>(widget))
        return edit->field();
    if (const auto *combo = qobject_cast<const TDBComboBox *>(widget))
        return combo->field();
    return nullptr;
}

// The captions of the bound boxes in the order the sheet shows them: its layouts hold them row
// by row, left to right, panels included.
void collectCaptions(const QLayout *layout, std::vector<std::pair<const QLabel *, Field *>> &out)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (const QLayout *inner = item->layout()) {
            collectCaptions(inner, out);
        } else if (const QWidget *widget = item->widget()) {
            const auto *label = qobject_cast<const QLabel *>(widget);
            if (Field *field = label ? boundField(label->buddy()) : nullptr)
                out.emplace_back(label, field);
            else if (widget->layout())
                collectCaptions(widget->layout(), out);
        }
    }
}

// The caption of a box without its hint for typing: "Time Used (Only numbers)" is "Time Used".
QString withoutHint(const QString &caption)
{
    const qsizetype hint = caption.indexOf(QLatin1String(" ("));
    return (hint < 0 ? caption : caption.left(hint)).simplified();
}

QLabel *captionOf(const QWidget *panel, const QWidget *box)
{
    for (QLabel *label : panel->findChildren<QLabel *>()) {
        if (label->buddy() == box)
            return label;
    }
    return nullptr;
}

}  // namespace

void TForm1::printJobSheet()
{
    saveTypedJob();
    if (Table1->recordCount() == 0 || showsEmptyRange()) {
        dialogs().information(this, QStringLiteral("There is no job to print: the table shows none."));
        return;
    }

    JobSheet::Job job;
    const auto text = [this](const char *name) {
        const Field *field = Table1->fieldByName(QString::fromLatin1(name));
        return field->isNull() ? QString() : field->displayText();
    };
    job.title
        = QStringLiteral("Job Sheet %1 %2 %3").arg(text("Dato"), text("Firstname"), text("Lastname")).simplified();

    std::vector<std::pair<const QLabel *, Field *>> captions;
    collectCaptions(upperPanel->layout(), captions);
    const QWidget *panel = nullptr;
    for (const auto &[label, field] : captions) {
        // A panel of the sheet is a group; the pick-up panel says what it is for.
        if (job.groups.empty() || label->parentWidget() != panel) {
            panel = label->parentWidget();
            JobSheet::Group &group = job.groups.emplace_back();
            if (panel == pickUpPanel)
                group.heading = pickUpPanel->findChild<QLabel *>(QStringLiteral("PickUpCaption"))->text();
        }
        job.groups.back().entries.push_back(
            {label->text().simplified(), field->isNull() ? QString() : field->displayText()});
    }
    // The time as the hour and minute boxes show it, under their caption.
    const Field *timeused = Table1->fieldByName(QStringLiteral("timeused"));
    QString time;
    if (!timeused->isNull()) {
        const HoursMinutes split = splitMinutes(timeused->asInteger());
        time = QStringLiteral("%1 %2 %3 %4")
                   .arg(split.hours)
                   .arg(captionOf(jobPanel, Edit2)->text())
                   .arg(split.minutes)
                   .arg(captionOf(jobPanel, Edit3)->text());
    }
    const QLabel *timeCaption = jobPanel->findChild<QLabel *>(QStringLiteral("TimeUsedCaption"));
    job.groups.back().entries.push_back({withoutHint(timeCaption->text()), time});

    job.notesLabel = QStringLiteral("Notes");
    job.notes = Table1->fieldByName(DBMemo1->dataField())->asString();
    job.photosLabel = QStringLiteral("Photos");
    for (const PictureSheet &sheet : m_sheets) {
        const Field *picture = Table1->fieldByName(sheet.pictureField);
        if (picture->blobSize() > 0)
            job.photos.push_back({picture->asBytes(), Table1->fieldByName(sheet.comment->dataField())->asString()});
    }

    JobSheet sheet(std::move(job));
    printDialogs().preview(this, sheet);
    keepEditing();
}

}  // namespace kelvara
