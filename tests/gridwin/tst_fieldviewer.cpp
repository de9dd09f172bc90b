#include "gridwin/tfieldviewerform.h"
#include "picturefixtures.h"
#include "platform/jpegcodec.h"
#include "scripteddialogs.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/table.h"
#include "storefixture.h"
#include "testworkspace.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTextEdit>
#include <QtTest>

#include <memory>
#include <optional>

using namespace kelvara;
using namespace kelvara::test;

namespace {

const QString kCaption = QStringLiteral("Field: %1");

// One record of every kind the viewer tells apart: a name, a memo, a formatted memo, a photo, a
// photo kept behind the store's graphic header, and a number.
FieldDefs viewerDefs()
{
    return {fieldDef(QStringLiteral("name"), ftString, 20),   fieldDef(QStringLiteral("note"), ftMemo),
            fieldDef(QStringLiteral("rich"), ftFmtMemo),      fieldDef(QStringLiteral("photo"), ftBlob),
            fieldDef(QStringLiteral("typed"), ftTypedBinary), fieldDef(QStringLiteral("hours"), ftSmallint)};
}

QByteArray graphicHeader(const QByteArray &bytes)
{
    QByteArray header;
    QDataStream stream(&header, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << quint16(1) << quint16(256) << quint32(bytes.size());
    return header + bytes;
}

QByteArray bmpBytes(const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return encoded(image, "BMP");
}

bool isJpeg(const QByteArray &bytes)
{
    return bytes.startsWith("\xff\xd8\xff");
}

// The number of pages of a PDF that Qt wrote.
int pdfPages(const QByteArray &pdf)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    return int(QString::fromLatin1(pdf).count(page));
}

// The text of a PDF, when the poppler tools are at hand.
std::optional<QString> pdfText(const QString &fileName)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, {QStringLiteral("-layout"), fileName, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The table "jobs" with one record in the test's own folder, a data source on it and scripted
// dialogs; opens viewers on the record's fields the way the grid does.
struct ViewerFixture
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    Table table;
    DataSource source;
    std::unique_ptr<TFieldViewerForm> form;

    explicit ViewerFixture(const QVariantList &values = {QStringLiteral("Swarm 1"), QStringLiteral("first\nsecond")})
    {
        makeTable(table, {values}, viewerDefs());
        source.setDataSet(&table);
    }

    Field *field(const QString &name) const { return table.fieldByName(name); }

    // Replaces a field's stored content, saved, leaving the record in browse state.
    void store(const QString &name, const QVariant &value)
    {
        table.edit();
        field(name)->setValue(value);
        table.post();
    }

    TFieldViewerForm &open(const QString &name, bool withSource = true)
    {
        form = std::make_unique<TFieldViewerForm>();
        form->setCaption(kCaption.arg(name));
        form->setField(field(name));
        if (withSource)
            form->setDataSource(&source);
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qWarning("the viewer was not shown");
        return *form;
    }

    template <class T = QWidget> T *child(const char *name) const { return form->findChild<T *>(QLatin1String(name)); }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }
    QPlainTextEdit *memo() const { return child<QPlainTextEdit>("Memo1"); }
    QTextEdit *richEdit() const { return child<QTextEdit>("RichEdit1"); }
    void menu(const char *item) const { child<QAction>(item)->trigger(); }
    bool closed() const { return !form->isVisible(); }
};

}  // namespace

class FieldViewerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QGuiApplication::clipboard()->clear(); }

    void layoutAndModeByField_data();
    void layoutAndModeByField();

    void textOkWritesCancelAndEscLeave_data();
    void textOkWritesCancelAndEscLeave();
    void readOnlyTableOpensReadOnlyAndOkWritesNothing();
    void okWithoutDataSourceReportsAndStaysOpen();
    void textRefusedByTheFieldIsReportedAndKept();
    void richTextRoundTrips();
    void untouchedRichTextIsLeftAsStored();
    void unbrokenRunWrapsAnywhere();

    void saveAsWritesCrLfLines_data();
    void saveAsWritesCrLfLines();
    void saveAsIntoMissingFolderReportsAndClaimsNothing();

    void printsThroughThePrintDialog_data();
    void printsThroughThePrintDialog();
    void printingThatCannotStartIsReported();

    void pictureTitleAndContent_data();
    void pictureTitleAndContent();
    void confirmingAnUntouchedPhotoKeepsItsBytes_data();
    void confirmingAnUntouchedPhotoKeepsItsBytes();
    void pictureMenuThenOk_data();
    void pictureMenuThenOk();
    void copyPutsTheShownPictureOnTheClipboard();
    void badPictureFileLeavesThePicture_data();
    void badPictureFileLeavesThePicture();
    void savePictureWritesTheOriginalBytes();
    void savePastedPictureByTheNamesExtension();
    void saveEmptyPictureWritesAndClaimsNothing();
    void savePictureIntoMissingFolderReportsAndClaimsNothing();

    void showFieldViewerRunsOneModalWindow();
};

void FieldViewerTest::layoutAndModeByField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("content");  // the one content control shown
    QTest::addColumn<bool>("textButtons");

    QTest::newRow("memo -> text") << "note" << int(TFieldViewerForm::vmText) << "Memo1" << true;
    QTest::newRow("formatted memo -> rich text") << "rich" << int(TFieldViewerForm::vmRichText) << "RichEdit1" << true;
    QTest::newRow("blob -> picture") << "photo" << int(TFieldViewerForm::vmPicture) << "ScrollBox1" << false;
    QTest::newRow("typed binary -> picture") << "typed" << int(TFieldViewerForm::vmPicture) << "ScrollBox1" << false;
    QTest::newRow("number -> none") << "hours" << int(TFieldViewerForm::vmNone) << "" << true;
}

void FieldViewerTest::layoutAndModeByField()
{
    QFETCH(QString, field);
    QFETCH(int, mode);
    QFETCH(QString, content);
    QFETCH(bool, textButtons);
    ViewerFixture f;
    TFieldViewerForm &form = f.open(field);

    QCOMPARE(int(form.mode()), mode);
    QCOMPARE(form.windowTitle(), kCaption.arg(field));
    QCOMPARE(form.size(), QSize(400, 400));
    for (const char *name : {"Memo1", "RichEdit1", "ScrollBox1"})
        QCOMPARE(f.child(name)->isVisible(), content == QLatin1String(name));

    auto *bar = f.child("ButtonStatusBar1");
    QCOMPARE(bar->height(), 27);
    QCOMPARE(bar->geometry().bottom(), form.rect().bottom());
    const QList<QPair<const char *, QString>> buttons = {{"Okbtn", QStringLiteral("&Ok")},
                                                         {"Cancelbtn", QStringLiteral("&Cancel")},
                                                         {"SaveAsbtn", QStringLiteral("&Save As")},
                                                         {"PrintBtn", QStringLiteral("&Print")}};
    int lastX = -1;
    for (const auto &[name, text] : buttons) {
        QPushButton *button = f.button(name);
        QCOMPARE(button->text(), text);
        QVERIFY(button->isFlat());
        QCOMPARE(button->parentWidget()->width(), 65);
        const int x = button->parentWidget()->x();
        QVERIFY2(x > lastX, name);  // left to right in this order
        lastX = x;
    }
    QVERIFY(f.button("Okbtn")->isVisible());
    QVERIFY(f.button("Cancelbtn")->isVisible());
    QCOMPARE(f.button("SaveAsbtn")->isVisible(), textButtons);
    QCOMPARE(f.button("PrintBtn")->isVisible(), textButtons);
    QVERIFY(f.dialogs->messages.isEmpty());
}

void FieldViewerTest::textOkWritesCancelAndEscLeave_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Ok writes, record stays in edit") << "ok" << 6 << "first\nsecond\nthird";
    QTest::newRow("Cancel leaves") << "cancel" << 2 << "first\nsecond";
    QTest::newRow("Esc in the memo leaves") << "esc memo" << 2 << "first\nsecond";
    QTest::newRow("Esc on a button leaves") << "esc window" << 2 << "first\nsecond";
}

void FieldViewerTest::textOkWritesCancelAndEscLeave()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    QFETCH(QString, expected);
    ViewerFixture f;
    f.open(QStringLiteral("note"));
    QCOMPARE(f.memo()->toPlainText(), QStringLiteral("first\nsecond"));
    QVERIFY(!f.memo()->isReadOnly());
    f.memo()->moveCursor(QTextCursor::End);
    QTest::keyClick(f.memo(), Qt::Key_Return);
    QTest::keyClicks(f.memo(), QStringLiteral("third"));

    if (how == QLatin1String("ok")) {
        f.button("Okbtn")->click();
    } else if (how == QLatin1String("cancel")) {
        f.button("Cancelbtn")->click();
    } else if (how == QLatin1String("esc memo")) {
        QTest::keyClick(f.memo(), Qt::Key_Escape);
    } else {
        f.button("Okbtn")->setFocus();
        QTest::keyClick(f.button("Okbtn"), Qt::Key_Escape);
    }

    QVERIFY(f.closed());
    QCOMPARE(f.form->result(), result);
    QCOMPARE(f.field(QStringLiteral("note"))->asString(), expected);
    // Ok never posts: the record waits in edit mode for the grid or another control.
    QCOMPARE(f.table.state(), result == 6 ? dsEdit : dsBrowse);
    f.table.cancel();
    QCOMPARE(f.field(QStringLiteral("note"))->asString(), QStringLiteral("first\nsecond"));
    QVERIFY(f.dialogs->messages.isEmpty());
}

void FieldViewerTest::readOnlyTableOpensReadOnlyAndOkWritesNothing()
{
    ViewerFixture f;
    f.table.close();
    f.table.setReadOnly(true);
    f.table.open();
    f.open(QStringLiteral("note"));
    QVERIFY(f.memo()->isReadOnly());
    f.memo()->setPlainText(QStringLiteral("changed anyway"));
    f.button("Okbtn")->click();

    QVERIFY(f.closed());
    QCOMPARE(f.form->result(), 6);
    QCOMPARE(f.table.state(), dsBrowse);
    QCOMPARE(f.field(QStringLiteral("note"))->asString(), QStringLiteral("first\nsecond"));
    QVERIFY(f.dialogs->messages.isEmpty());
}

void FieldViewerTest::okWithoutDataSourceReportsAndStaysOpen()
{
    ViewerFixture f;
    f.open(QStringLiteral("note"), false);
    f.memo()->setPlainText(QStringLiteral("changed"));
    f.button("Okbtn")->click();

    QVERIFY(!f.closed());
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error), QStringList{QStringLiteral("Datasource Not Assigned")});
    QCOMPARE(f.table.state(), dsBrowse);
    QCOMPARE(f.field(QStringLiteral("note"))->asString(), QStringLiteral("first\nsecond"));
}

void FieldViewerTest::textRefusedByTheFieldIsReportedAndKept()
{
    ViewerFixture f;
    f.table.edit();
    f.field(QStringLiteral("name"))->setAsString(QStringLiteral("Swarm 2"));
    f.open(QStringLiteral("note"));
    // The field turns read-only while the window is open, as a window of the program may make it.
    f.field(QStringLiteral("note"))->setReadOnly(true);
    f.memo()->setPlainText(QStringLiteral("typed in the viewer"));
    f.button("Okbtn")->click();

    QVERIFY(!f.closed());
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error),
             QStringList{QStringLiteral("Field 'note' cannot be modified")});
    // Nothing is lost: the typed text waits in the window, the record's other edit in the record.
    QCOMPARE(f.memo()->toPlainText(), QStringLiteral("typed in the viewer"));
    QCOMPARE(f.table.state(), dsEdit);
    QCOMPARE(f.field(QStringLiteral("name"))->asString(), QStringLiteral("Swarm 2"));
    QCOMPARE(f.field(QStringLiteral("note"))->asString(), QStringLiteral("first\nsecond"));
}

void FieldViewerTest::unbrokenRunWrapsAnywhere()
{
    // Fifty thousand characters without a blank take seconds to lay out at word boundaries.
    ViewerFixture f;
    const QString run(50000, QLatin1Char('7'));
    f.store(QStringLiteral("rich"), run);
    f.store(QStringLiteral("note"), run);
    f.open(QStringLiteral("rich"));
    QCOMPARE(f.richEdit()->wordWrapMode(), QTextOption::WrapAnywhere);
    QCOMPARE(f.richEdit()->toPlainText(), run);
    f.open(QStringLiteral("note"));
    QCOMPARE(f.memo()->wordWrapMode(), QTextOption::WrapAnywhere);
    QCOMPARE(f.memo()->toPlainText(), run);
}

void FieldViewerTest::richTextRoundTrips()
{
    ViewerFixture f;
    f.store(QStringLiteral("rich"), QStringLiteral("plain start"));
    f.open(QStringLiteral("rich"));
    QCOMPARE(f.richEdit()->toPlainText(), QStringLiteral("plain start"));
    QVERIFY(!f.richEdit()->isReadOnly());
    QTextCursor cursor = f.richEdit()->textCursor();
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral(" and bold"), bold);
    f.button("Okbtn")->click();
    QVERIFY(f.closed());
    QCOMPARE(f.form->result(), 6);
    QCOMPARE(f.table.state(), dsEdit);
    f.table.post();

    // Opened again from the saved record, the formatting is still there.
    f.open(QStringLiteral("rich"));
    QCOMPARE(f.richEdit()->toPlainText(), QStringLiteral("plain start and bold"));
    QTextCursor reread(f.richEdit()->document());
    reread.setPosition(2);
    QVERIFY(reread.charFormat().fontWeight() != QFont::Bold);
    reread.setPosition(QStringLiteral("plain start and bold").size());
    QCOMPARE(reread.charFormat().fontWeight(), int(QFont::Bold));

    // Saved as text, the formatting is left out.
    const QString fileName = f.workspace.filePath(QStringLiteral("rich.txt"));
    f.dialogs->saveAnswers = {fileName};
    f.button("SaveAsbtn")->click();
    QCOMPARE(f.workspace.readFile(QStringLiteral("rich.txt")), QByteArray("plain start and bold\r\n"));
}

void FieldViewerTest::untouchedRichTextIsLeftAsStored()
{
    ViewerFixture f;
    f.store(QStringLiteral("rich"), QStringLiteral("just words"));
    f.table.edit();
    f.open(QStringLiteral("rich"));
    f.button("Okbtn")->click();
    QVERIFY(f.closed());
    QCOMPARE(f.field(QStringLiteral("rich"))->asString(), QStringLiteral("just words"));
}

void FieldViewerTest::saveAsWritesCrLfLines_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("memo of three lines") << "note"
                                         << "one\ntwo\nthree" << QByteArray("one\r\ntwo\r\nthree\r\n");
    QTest::newRow("memo with an empty line") << "note"
                                             << "one\n\nthree" << QByteArray("one\r\n\r\nthree\r\n");
    QTest::newRow("empty memo") << "note"
                                << "" << QByteArray();
    QTest::newRow("formatted memo, text only") << "rich"
                                               << "<p>one</p><p><b>two</b></p>" << QByteArray("one\r\ntwo\r\n");
}

void FieldViewerTest::saveAsWritesCrLfLines()
{
    QFETCH(QString, field);
    QFETCH(QString, content);
    QFETCH(QByteArray, file);
    ViewerFixture f;
    f.store(field, content);
    f.open(field);
    const QString fileName = f.workspace.filePath(QStringLiteral("saved.txt"));
    f.dialogs->saveAnswers = {fileName};
    f.button("SaveAsbtn")->click();

    QCOMPARE(f.dialogs->saveRequests.size(), 1);
    QCOMPARE(f.dialogs->saveRequests.at(0).caption, QStringLiteral("Save Text As"));
    QCOMPARE(f.workspace.readFile(QStringLiteral("saved.txt")), file);
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Information),
             QStringList{QFileInfo(fileName).absoluteFilePath() + QStringLiteral(" Saved !")});
    QVERIFY(!f.closed());
}

void FieldViewerTest::saveAsIntoMissingFolderReportsAndClaimsNothing()
{
    ViewerFixture f;
    f.open(QStringLiteral("note"));
    f.memo()->setPlainText(QStringLiteral("edited\nbefore saving"));
    f.dialogs->saveAnswers = {f.workspace.filePath(QStringLiteral("missing/saved.txt")), QString()};
    f.button("SaveAsbtn")->click();

    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error).size(), 1);
    QVERIFY(f.dialogs->texts(ScriptedDialogs::Kind::Information).isEmpty());
    QVERIFY(!QFileInfo::exists(f.workspace.filePath(QStringLiteral("missing"))));
    // The edits stay in the window and reach the field with Ok.
    QCOMPARE(f.memo()->toPlainText(), QStringLiteral("edited\nbefore saving"));
    f.button("Okbtn")->click();
    QCOMPARE(f.field(QStringLiteral("note"))->asString(), QStringLiteral("edited\nbefore saving"));
}

void FieldViewerTest::printsThroughThePrintDialog_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<int>("minPages");

    QStringList many;
    for (int i = 1; i <= 150; ++i)
        many << QStringLiteral("Line %1 of the swarm notes").arg(i);
    QTest::newRow("memo of three lines") << "note"
                                         << "Queen seen\nTwo frames\nHive 7"
                                         << QStringList{"Queen seen", "Two frames", "Hive 7"} << 1;
    QTest::newRow("memo longer than a page")
        << "note" << many.join(QLatin1Char('\n')) << QStringList{"Line 1 of", "Line 150 of"} << 2;
    QTest::newRow("empty memo") << "note"
                                << "" << QStringList() << 1;
    QTest::newRow("formatted memo") << "rich"
                                    << "<p>Queen <b>marked</b></p><p>Hive 7</p>"
                                    << QStringList{"Queen marked", "Hive 7"} << 1;
}

void FieldViewerTest::printsThroughThePrintDialog()
{
    QFETCH(QString, field);
    QFETCH(QString, content);
    QFETCH(QStringList, printed);
    QFETCH(int, minPages);
    ViewerFixture f;
    f.store(field, content);
    f.open(field);

    // A cancelled print dialog prints nothing.
    const QString pdf = f.workspace.filePath(QStringLiteral("printed.pdf"));
    QString jobName;
    f.dialogs->onPrint = [&](QPrinter &printer) {
        jobName = printer.docName();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    };
    f.dialogs->printAnswers = {false, true};
    f.button("PrintBtn")->click();
    QCOMPARE(f.dialogs->printRequests, 1);
    QVERIFY(!QFileInfo::exists(pdf));

    f.button("PrintBtn")->click();
    QCOMPARE(f.dialogs->printRequests, 2);
    QVERIFY(f.dialogs->messages.isEmpty());
    QCOMPARE(jobName, kCaption.arg(field));
    const QByteArray bytes = f.workspace.readFile(QStringLiteral("printed.pdf"));
    QVERIFY(bytes.startsWith("%PDF"));
    QVERIFY2(pdfPages(bytes) >= minPages, qPrintable(QString::number(pdfPages(bytes))));
    if (minPages == 1)
        QCOMPARE(pdfPages(bytes), 1);
    if (const auto text = pdfText(pdf)) {
        for (const QString &line : printed)
            QVERIFY2(text->contains(line), qPrintable(line + QStringLiteral(" not in: ") + *text));
        if (printed.isEmpty())
            QCOMPARE(text->trimmed(), QString());
        // One printed line per text line, in order.
        int at = 0;
        for (const QString &line : printed) {
            const int found = int(text->indexOf(line, at));
            QVERIFY2(found >= at, qPrintable(line));
            at = found + int(line.size());
        }
    }
    QVERIFY(!f.closed());
}

void FieldViewerTest::printingThatCannotStartIsReported()
{
    ViewerFixture f;
    f.open(QStringLiteral("note"));
    f.dialogs->onPrint = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(f.workspace.filePath(QStringLiteral("missing/printed.pdf")));
    };
    f.dialogs->printAnswers = {true};
    f.button("PrintBtn")->click();
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error), QStringList{QStringLiteral("Error Printing Text.")});
    QVERIFY(!f.closed());
}

void FieldViewerTest::pictureTitleAndContent_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QSize>("shown");  // invalid: no picture
    QTest::addColumn<bool>("sized");

    const QByteArray photo = jpegBytes(QSize(300, 200), Qt::darkGreen);
    const QByteArray sideways = withOrientation(encoded(quadrants(QSize(60, 40))), 6);
    QByteArray cutOff = photo.left(photo.size() / 2);
    QTest::newRow("jpeg") << "photo" << photo << QSize(300, 200) << true;
    QTest::newRow("jpeg lying on its side shows upright") << "photo" << sideways << QSize(40, 60) << true;
    QTest::newRow("bitmap") << "photo" << bmpBytes(QSize(30, 20), Qt::red) << QSize(30, 20) << true;
    QTest::newRow("jpeg behind the graphic header") << "typed" << graphicHeader(photo) << QSize(300, 200) << true;
    QTest::newRow("cut-off jpeg") << "photo" << cutOff << QSize() << false;
    QTest::newRow("no picture at all") << "photo" << QByteArray("just some words") << QSize() << false;
    QTest::newRow("empty") << "photo" << QByteArray() << QSize() << false;
}

void FieldViewerTest::pictureTitleAndContent()
{
    QFETCH(QString, field);
    QFETCH(QByteArray, content);
    QFETCH(QSize, shown);
    QFETCH(bool, sized);
    ViewerFixture f;
    f.store(field, content);
    TFieldViewerForm &form = f.open(field);

    QCOMPARE(form.picture().size(), shown.isValid() ? shown : QSize(0, 0));
    const qint64 kb = (content.size() + 1023) / 1024;
    QCOMPARE(form.windowTitle(),
             sized ? kCaption.arg(field) + QStringLiteral(" - Bitmap Image - %1Kb").arg(kb) : kCaption.arg(field));
    const QLabel *image = f.child<QLabel>("DBImage");
    QCOMPARE(image->pixmap().size(), shown.isValid() ? shown : QSize(0, 0));
    // A content that is no picture is nothing to report.
    QVERIFY(f.dialogs->messages.isEmpty());

    if (field == QLatin1String("photo") && shown == QSize(40, 60)) {
        // Upright: the red quarter, top-left when stored, is top-right after a quarter turn clockwise.
        const QColor topRight = form.picture().pixelColor(35, 5);
        QVERIFY2(topRight.red() > 200 && topRight.green() < 80, qPrintable(topRight.name()));
    }
}

void FieldViewerTest::confirmingAnUntouchedPhotoKeepsItsBytes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("content");

    const QByteArray photo = jpegBytes(QSize(64, 48), Qt::blue);
    QTest::newRow("jpeg") << "photo" << photo;
    QTest::newRow("jpeg lying on its side") << "photo" << withOrientation(photo, 8);
    QTest::newRow("bitmap") << "photo" << bmpBytes(QSize(8, 8), Qt::red);
    QTest::newRow("damaged jpeg") << "photo" << photo.left(40);
    QTest::newRow("jpeg behind the graphic header") << "typed" << graphicHeader(photo);
}

void FieldViewerTest::confirmingAnUntouchedPhotoKeepsItsBytes()
{
    QFETCH(QString, field);
    QFETCH(QByteArray, content);
    ViewerFixture f;
    f.store(field, content);
    f.table.edit();
    const qint64 revision = f.field(field)->blobRevision();
    f.open(field);
    f.button("Okbtn")->click();

    QVERIFY(f.closed());
    QCOMPARE(f.form->result(), 6);
    QCOMPARE(f.field(field)->asBytes(), content);
    QCOMPARE(f.field(field)->blobRevision(), revision);
    QVERIFY(!f.table.modified());
}

void FieldViewerTest::pictureMenuThenOk_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");  // "old", "empty", "jpeg file", "gif as jpeg", "pasted as jpeg"

    QTest::newRow("Open jpeg file, edit -> the file's bytes") << QStringList{"open photo.jpg"} << true << "photo"
                                                              << "jpeg file";
    QTest::newRow("Open jpeg file into typed binary -> header and the file's bytes")
        << QStringList{"open photo.jpg"} << true << "typed"
        << "jpeg file";
    QTest::newRow("Open gif file -> stored as jpeg") << QStringList{"open dot.gif"} << true << "photo"
                                                     << "gif as jpeg";
    QTest::newRow("Open jpeg file, browse -> nothing") << QStringList{"open photo.jpg"} << false << "photo"
                                                       << "old";
    QTest::newRow("Clear, edit -> empty") << QStringList{"clear"} << true << "photo"
                                          << "empty";
    QTest::newRow("Clear, browse -> nothing") << QStringList{"clear"} << false << "photo"
                                              << "old";
    QTest::newRow("Paste, edit -> stored as jpeg") << QStringList{"paste"} << true << "photo"
                                                   << "pasted as jpeg";
    QTest::newRow("Paste with an empty clipboard -> nothing")
        << QStringList{"clear clipboard", "paste"} << true << "photo"
        << "old";
    QTest::newRow("Cut, edit -> empty") << QStringList{"cut"} << true << "photo"
                                        << "empty";
    QTest::newRow("Cut then Paste -> the same picture back, as jpeg") << QStringList{"cut", "paste"} << true << "photo"
                                                                      << "old picture as jpeg";
    QTest::newRow("Clear then Open -> the file") << QStringList{"clear", "open photo.jpg"} << true << "photo"
                                                 << "jpeg file";
}

void FieldViewerTest::pictureMenuThenOk()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, editing);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    ViewerFixture f;
    const QByteArray old = jpegBytes(QSize(50, 40), Qt::darkRed);
    const QByteArray oldStored = field == QLatin1String("typed") ? graphicHeader(old) : old;
    f.store(field, oldStored);
    const QByteArray fileJpeg = withOrientation(jpegBytes(QSize(70, 30), Qt::cyan), 1);
    f.workspace.writeFile(QStringLiteral("photo.jpg"), fileJpeg);
    f.workspace.writeFile(QStringLiteral("dot.gif"), gifBytes());
    QImage clipboardImage(24, 12, QImage::Format_RGB32);
    clipboardImage.fill(Qt::yellow);
    QGuiApplication::clipboard()->setImage(clipboardImage);
    if (editing)
        f.table.edit();
    f.open(field);

    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("open "))) {
            f.dialogs->openAnswers = {f.workspace.filePath(step.mid(5))};
            f.menu("Open1");
            QCOMPARE(f.dialogs->openRequests.constLast().caption, QStringLiteral("Load Picture File"));
        } else if (step == QLatin1String("clear clipboard")) {
            QGuiApplication::clipboard()->clear();
        } else if (step == QLatin1String("clear")) {
            f.menu("Clear1");
            QVERIFY(f.form->picture().isNull());
        } else if (step == QLatin1String("cut")) {
            f.menu("Cut1");
            QVERIFY(f.form->picture().isNull());
            QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(50, 40));
        } else if (step == QLatin1String("paste")) {
            f.menu("Paste1");
        }
    }
    QVERIFY2(f.dialogs->messages.isEmpty(), qPrintable(f.dialogs->texts().join(QLatin1Char('\n'))));
    f.button("Okbtn")->click();
    QVERIFY(f.closed());
    QCOMPARE(f.form->result(), 6);

    QByteArray stored = f.field(field)->asBytes();
    if (field == QLatin1String("typed") && !stored.isEmpty()) {
        QCOMPARE(stored.left(8), graphicHeader(QByteArray(stored.size() - 8, 'x')).left(8));
        stored.remove(0, 8);
    }
    if (expected == QLatin1String("old")) {
        QCOMPARE(f.field(field)->asBytes(), oldStored);
    } else if (expected == QLatin1String("empty")) {
        QVERIFY(f.field(field)->isNull());
    } else if (expected == QLatin1String("jpeg file")) {
        QCOMPARE(stored, fileJpeg);
    } else {
        // Stored as JPEG, which the picture sheets can show.
        QVERIFY(isJpeg(stored));
        const QSize size = expected == QLatin1String("gif as jpeg") ? QSize(1, 1)
            : expected == QLatin1String("pasted as jpeg")           ? QSize(24, 12)
                                                                    : QSize(50, 40);
        QCOMPARE(jpeg::decode(stored).size(), size);
    }
    // Ok never posts.
    QCOMPARE(f.table.state(), editing ? dsEdit : dsBrowse);
}

void FieldViewerTest::copyPutsTheShownPictureOnTheClipboard()
{
    ViewerFixture f;
    const QByteArray sideways = withOrientation(encoded(quadrants(QSize(60, 40))), 6);
    f.store(QStringLiteral("photo"), sideways);
    f.table.edit();
    f.open(QStringLiteral("photo"));
    f.menu("Copy1");
    // Upright, as shown, and the window's picture is unchanged.
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(40, 60));
    QCOMPARE(f.form->picture().size(), QSize(40, 60));
    QVERIFY(!f.form->pictureChanged());
    f.button("Okbtn")->click();
    QCOMPARE(f.field(QStringLiteral("photo"))->asBytes(), sideways);
}

void FieldViewerTest::badPictureFileLeavesThePicture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray photo = jpegBytes(QSize(80, 60), Qt::green);
    QTest::newRow("cut-off jpeg") << "broken.jpg" << photo.left(photo.size() / 3);
    QTest::newRow("text named as a bitmap") << "notes.bmp" << QByteArray("not a picture\r\n");
    QTest::newRow("unknown kind") << "notes.xyz" << QByteArray("\x01\x02\x03 plain bytes", 15);
    QTest::newRow("empty file") << "empty.jpg" << QByteArray();
}

void FieldViewerTest::badPictureFileLeavesThePicture()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    ViewerFixture f;
    const QByteArray old = jpegBytes(QSize(50, 40), Qt::darkRed);
    f.store(QStringLiteral("photo"), old);
    f.table.edit();
    f.open(QStringLiteral("photo"));
    const QImage before = f.form->picture();
    f.dialogs->openAnswers = {f.workspace.writeFile(file, bytes)};
    f.menu("Open1");

    const QStringList errors = f.dialogs->texts(ScriptedDialogs::Kind::Error);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.at(0).contains(file), qPrintable(errors.at(0)));
    QCOMPARE(f.form->picture(), before);
    QVERIFY(!f.form->pictureChanged());
    QVERIFY(!f.closed());
    f.button("Okbtn")->click();
    QCOMPARE(f.field(QStringLiteral("photo"))->asBytes(), old);
}

void FieldViewerTest::savePictureWritesTheOriginalBytes()
{
    ViewerFixture f;
    const QByteArray photo = withOrientation(jpegBytes(QSize(50, 40), Qt::darkRed), 3);
    f.store(QStringLiteral("photo"), photo);
    f.open(QStringLiteral("photo"));
    // The typed extension does not turn the photograph into another format.
    const QString fileName = f.workspace.filePath(QStringLiteral("copy.bmp"));
    f.dialogs->saveAnswers = {fileName};
    f.menu("Save1");

    QCOMPARE(f.dialogs->saveRequests.size(), 1);
    QCOMPARE(f.dialogs->saveRequests.at(0).caption, QStringLiteral("Save Bitmap As"));
    QCOMPARE(f.workspace.readFile(QStringLiteral("copy.bmp")), photo);
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Information),
             QStringList{QFileInfo(fileName).absoluteFilePath() + QStringLiteral(" Saved !")});
}

void FieldViewerTest::savePastedPictureByTheNamesExtension()
{
    ViewerFixture f;
    f.open(QStringLiteral("photo"));
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QGuiApplication::clipboard()->setImage(image);
    f.menu("Paste1");
    f.dialogs->saveAnswers
        = {f.workspace.filePath(QStringLiteral("pasted.jpg")), f.workspace.filePath(QStringLiteral("pasted.bmp"))};
    f.menu("Save1");
    f.menu("Save1");

    const QByteArray jpg = f.workspace.readFile(QStringLiteral("pasted.jpg"));
    QVERIFY(isJpeg(jpg));
    QCOMPARE(jpeg::decode(jpg).size(), QSize(16, 8));
    const QImage bmp = QImage::fromData(f.workspace.readFile(QStringLiteral("pasted.bmp")), "BMP");
    QCOMPARE(bmp.size(), QSize(16, 8));
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Information).size(), 2);
}

void FieldViewerTest::saveEmptyPictureWritesAndClaimsNothing()
{
    ViewerFixture f;
    f.open(QStringLiteral("photo"));
    QVERIFY(f.form->picture().isNull());
    f.dialogs->saveAnswers = {f.workspace.filePath(QStringLiteral("nothing.bmp"))};
    f.menu("Save1");

    QVERIFY(f.dialogs->messages.isEmpty());
    QVERIFY(!QFileInfo::exists(f.workspace.filePath(QStringLiteral("nothing.bmp"))));
}

void FieldViewerTest::savePictureIntoMissingFolderReportsAndClaimsNothing()
{
    ViewerFixture f;
    f.store(QStringLiteral("photo"), jpegBytes(QSize(50, 40), Qt::darkRed));
    f.open(QStringLiteral("photo"));
    f.dialogs->saveAnswers = {f.workspace.filePath(QStringLiteral("missing/copy.jpg"))};
    f.menu("Save1");

    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error).size(), 1);
    QVERIFY(f.dialogs->texts(ScriptedDialogs::Kind::Information).isEmpty());
    QVERIFY(!QFileInfo::exists(f.workspace.filePath(QStringLiteral("missing"))));
}

void FieldViewerTest::showFieldViewerRunsOneModalWindow()
{
    ViewerFixture f;
    f.table.edit();
    QWidget owner;
    QPointer<QDialog> seen;
    QString title;
    f.dialogs->onExec = [&](QDialog &dialog) {
        seen = &dialog;
        dialog.show();
        title = dialog.windowTitle();
        auto *memo = dialog.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
        memo->setPlainText(QStringLiteral("from the grid"));
        dialog.findChild<QPushButton *>(QStringLiteral("Okbtn"))->click();
        return dialog.result();
    };
    showFieldViewer(&owner, &f.source, *f.field(QStringLiteral("note")), QStringLiteral("Field: Notes"));

    QCOMPARE(f.dialogs->execCount, 1);
    QCOMPARE(title, QStringLiteral("Field: Notes"));
    QCOMPARE(f.field(QStringLiteral("note"))->asString(), QStringLiteral("from the grid"));
    // One window for one opening: it is gone once the run is over.
    QVERIFY(seen.isNull());
    QVERIFY(owner.findChildren<QDialog *>().isEmpty());
}

QTEST_MAIN(FieldViewerTest)
#include "tst_fieldviewer.moc"
