// The bound rich-text box: what it shows of a memo, what it stores, and dropping typed text.

#include "boundfixture.h"
#include "dbctrls/tdbrichedit.h"

#include <QTextDocument>

using namespace kelvara;
using namespace kelvara::test;

class TstDBRichEdit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsField_data();
    void showsField();
    void storesFormattedText();
    void escapeDropsTypedText();
};

void TstDBRichEdit::showsField_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<bool>("bold");

    QTest::newRow("plain text as it is") << "3 < 5 hives\nline two"
                                         << "3 < 5 hives\nline two" << false;
    QTest::newRow("formatted text formatted") << "<html><body><b>strong</b> bees</body></html>"
                                              << "strong bees" << true;
}

void TstDBRichEdit::showsField()
{
    QFETCH(QString, stored);
    QFETCH(QString, plain);
    QFETCH(bool, bold);

    BoundFixture f;
    f.table.edit();
    f.field("notes")->setText(stored);
    f.table.post();
    auto *rich = f.add<TDBRichEdit>("notes");
    QCOMPARE(rich->toPlainText(), plain);
    QTextCursor cursor(rich->document());
    cursor.movePosition(QTextCursor::NextCharacter);
    QCOMPARE(cursor.charFormat().fontWeight() == QFont::Bold, bold);
    QVERIFY(rich->isReadOnly() == false);
}

void TstDBRichEdit::storesFormattedText()
{
    BoundFixture f;
    auto *rich = f.add<TDBRichEdit>("notes");
    QVERIFY(f.showWindow());
    rich->setFocus();
    QTest::keyClicks(rich, QStringLiteral("calm"));
    QCOMPARE(f.table.state(), dsEdit);
    f.table.post();

    const QString saved = f.stored("notes", 1);
    QVERIFY(Qt::mightBeRichText(saved));
    QTextDocument document;
    document.setHtml(saved);
    QCOMPARE(document.toPlainText(), QStringLiteral("calm"));
}

void TstDBRichEdit::escapeDropsTypedText()
{
    BoundFixture f;
    f.table.edit();
    f.field("notes")->setText(QStringLiteral("swarm"));
    f.table.post();
    auto *rich = f.add<TDBRichEdit>("notes");
    QVERIFY(f.showWindow());
    rich->setFocus();
    QTest::keyClicks(rich, QStringLiteral("x"));
    QTest::keyClick(rich, Qt::Key_Escape);
    QCOMPARE(rich->toPlainText(), QStringLiteral("swarm"));
    f.table.post();
    QCOMPARE(f.stored("notes", 1), QStringLiteral("swarm"));
}

QTEST_MAIN(TstDBRichEdit)
#include "tst_dbrichedit.moc"
