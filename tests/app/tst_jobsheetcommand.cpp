#include "app/startup.h"
#include "app/tform1.h"
#include "dbctrls/tdbedit.h"
#include "grid/gridcompanions.h"
#include "grid/tenhancedgrid.h"
#include "installed.h"
#include "namedchild.h"
#include "pdfpages.h"
#include "picturefixtures.h"
#include "report/pageddocument.h"
#include "report/printpreview.h"
#include "scripteddialogs.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

const QByteArray &photo()
{
    static const QByteArray bytes = jpegBytes(QSize(120, 90), QColor(200, 150, 40));
    return bytes;
}

void seedJob()
{
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    table.append();
    const QList<QPair<const char *, QString>> values = {
        {"Firstname", QStringLiteral("Åse")},
        {"Lastname", QStringLiteral("Lund")},
        {"HomePhone", QStringLiteral("55512345")},
        {"Email", QStringLiteral("ase@lund.no")},
        {"Street1", QStringLiteral("Kaigaten 3")},
        {"City1", QStringLiteral("Voss")},
        {"State1", QStringLiteral("VL")},
        {"street3", QStringLiteral("Fjordvegen 9")},
        {"city2", QStringLiteral("Dale")},
        {"camefrom", QStringLiteral("Chimney")},
        {"wentinto", QStringLiteral("Hive 4")},
        {"Typeofbee", QStringLiteral("Carnica")},
        {"method", QStringLiteral("Vacuum")},
        {"notes", QStringLiteral("Queen seen; calm swarm.")},
        {"comment1", QStringLiteral("On the roof")},
    };
    for (const auto &[name, value] : values)
        table.fieldByName(QString::fromLatin1(name))->setAsString(value);
    table.fieldByName(QStringLiteral("timeused"))->setAsInteger(90);
    table.fieldByName(QStringLiteral("pic1"))->setAsBytes(photo());
    table.post();
}

QString storedLastname()
{
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    table.open();
    return table.fieldByName(QStringLiteral("Lastname"))->asString();
}

}  // namespace

// File > Print Job Sheet...: the current job, typed text included, in the print preview.
class JobSheetCommandTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sheetShowsTheJobAsTyped();
    void noJobShownIsSaid();
};

void JobSheetCommandTest::sheetShowsTheJobAsTyped()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP(pdfToolMissing());
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedJob();
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // A name typed and not yet left: the sheet shows it, and it is saved first.
    auto *lastName = namedChild<TDBEdit>(&form, "DBEdit3");
    lastName->setFocus();
    QTRY_VERIFY(lastName->hasFocus());
    lastName->selectAll();
    QTest::keyClicks(lastName, QStringLiteral("Ødegård"));
    const QString file = workspace.filePath(QStringLiteral("sheet.pdf"));
    dialogs->onPreview = [&](QWidget *, PagedDocument &document) { writePdfFile(document, file); };
    QTest::keyClick(&form, Qt::Key_P, Qt::ControlModifier);
    QVERIFY2(dialogs->messages.isEmpty(), qPrintable(dialogs->texts().join(QLatin1Char('|'))));
    QCOMPARE(dialogs->previewTitles.size(), 1);
    QVERIFY(dialogs->previewTitles[0].contains(QStringLiteral("Åse Ødegård")));
    QCOMPARE(storedLastname(), QStringLiteral("Ødegård"));
    QCOMPARE(form.table()->state(), dsEdit);

    const std::optional<QString> text = readPdfText(file);
    QVERIFY(text);
    const QString words = text->simplified();
    // Every caption of a bound box of the data sheet, and the job's values.
    int captions = 0;
    for (const QLabel *label : form.findChildren<QLabel *>()) {
        if (qobject_cast<TDBEdit *>(label->buddy()) || qobject_cast<QComboBox *>(label->buddy())) {
            QVERIFY2(words.contains(label->text().simplified()), qPrintable(label->text()));
            ++captions;
        }
    }
    QCOMPARE(captions, 20);
    for (const QString &value :
         {QStringLiteral("Ødegård"), QStringLiteral("55512345"), QStringLiteral("ase@lund.no"),
          QStringLiteral("Kaigaten 3"), QStringLiteral("Voss"), QStringLiteral("Fjordvegen 9"), QStringLiteral("Dale"),
          QStringLiteral("Chimney"), QStringLiteral("Hive 4"), QStringLiteral("Carnica"), QStringLiteral("Vacuum"),
          QStringLiteral("Where to pick up"), QStringLiteral("Time Used"), QStringLiteral("1 Hr 30 Min"),
          QStringLiteral("Queen seen; calm swarm."), QStringLiteral("On the roof")})
        QVERIFY2(words.contains(value), qPrintable(value + QStringLiteral(" in ") + words));
    QVERIFY(!words.contains(QStringLiteral("Only numbers")));

    QProcess images;
    images.start(QStandardPaths::findExecutable(QStringLiteral("pdfimages")), {QStringLiteral("-list"), file});
    QVERIFY(images.waitForFinished(60000));
    const QList<QByteArray> lines = images.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.size(), 3);  // two lines of heading, one photo
    QVERIFY(lines[2].contains(" jpeg "));
}

void JobSheetCommandTest::noJobShownIsSaid()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedJob();
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // A query that finds no job.
    const Installed<&GridCompanions::install> restore(nullptr);
    installGridWindows();
    dialogs->onExec = [](QDialog &dialog) {
        dialog.show();
        auto *query = dialog.findChild<QTableWidget *>(QStringLiteral("gridQBF"));
        for (int row = 0; row < query->rowCount(); ++row) {
            if (query->item(row, 0)->text() == QStringLiteral("Lastname"))
                query->item(row, 1)->setText(QStringLiteral("nobody"));
        }
        dialog.findChild<QPushButton *>(QStringLiteral("OKBtn"))->click();
        return dialog.result();
    };
    namedChild<TEnhancedGrid>(&form, "EnhancedGrid1")->queryByForm();
    QCOMPARE(form.table()->recordCount(), 0);

    namedChild<QAction>(&form, "PrintJobSheet")->trigger();
    QCOMPARE(dialogs->previewTitles, QStringList());
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Information),
             QStringList{QStringLiteral("There is no job to print: the table shows none.")});
    QVERIFY(form.table()->state() != dsInsert);
}

QTEST_MAIN(JobSheetCommandTest)
#include "tst_jobsheetcommand.moc"
