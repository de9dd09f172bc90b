#include "error.h"
#include "testworkspace.h"
#include "textfile.h"

#include <QDir>
#include <QtTest>

using namespace kelvara;

class TextFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesEveryLineWithCrLf();
    void readsLinesEndedByCrLfOrBoth_data();
    void readsLinesEndedByCrLfOrBoth();
    void failsWithTheFileName();
    void writerStreamsTheSameBytes();
};

void TextFileTest::writesEveryLineWithCrLf()
{
    test::TestWorkspace workspace;
    writeLines(QStringLiteral("list.txt"), {QStringLiteral("Chimney"), QString(), QStringLiteral("Roof tile")});
    QCOMPARE(workspace.readFile(QStringLiteral("list.txt")), QByteArray("Chimney\r\n\r\nRoof tile\r\n"));
    // Replacing keeps nothing of the old content.
    writeLines(QStringLiteral("list.txt"), {QStringLiteral("0")});
    QCOMPARE(workspace.readFile(QStringLiteral("list.txt")), QByteArray("0\r\n"));
    writeLines(QStringLiteral("list.txt"), {});
    QCOMPARE(workspace.readFile(QStringLiteral("list.txt")), QByteArray());
    writeLines(QStringLiteral("list.txt"), {QStringLiteral("Bienenstock \u00e4")});
    QCOMPARE(readLines(QStringLiteral("list.txt")), QStringList{QStringLiteral("Bienenstock \u00e4")});
}

void TextFileTest::readsLinesEndedByCrLfOrBoth_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("LF only") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("CR only") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("mixed") << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("last line without end") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("empty lines kept") << QByteArray("a\r\n\r\nb\n\nc") << QStringList{"a", "", "b", "", "c"};
    QTest::newRow("LF CR is two line ends") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
    QTest::newRow("blanks kept") << QByteArray(" a b \r\n") << QStringList{" a b "};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
}

void TextFileTest::readsLinesEndedByCrLfOrBoth()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    test::TestWorkspace workspace;
    workspace.writeFile(QStringLiteral("in.txt"), bytes);
    QCOMPARE(readLines(QStringLiteral("in.txt")), lines);
}

void TextFileTest::failsWithTheFileName()
{
    test::TestWorkspace workspace;
    QVERIFY(QDir().mkdir(QStringLiteral("folder")));
    try {
        writeLines(QStringLiteral("folder"), {QStringLiteral("0")});
        QFAIL("wrote into a directory");
    } catch (const Error &error) {
        QCOMPARE(error.message(), QStringLiteral("Cannot create file folder"));
    }
    QVERIFY(QFileInfo(QStringLiteral("folder")).isDir());
    try {
        readLines(QStringLiteral("missing.txt"));
        QFAIL("read a missing file");
    } catch (const Error &error) {
        QCOMPARE(error.message(), QStringLiteral("Cannot open file missing.txt"));
    }
}

void TextFileTest::writerStreamsTheSameBytes()
{
    test::TestWorkspace workspace;
    // Enough lines for several chunks, with characters of two, three and four bytes (a surrogate
    // pair in UTF-16) at every place a chunk can end.
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QStringLiteral("%1 \u00e6\u20ac\U0001F41D|%2").arg(i).arg(QString(i % 7, QLatin1Char('x')));
    writeLines(QStringLiteral("whole.txt"), lines);
    workspace.writeFile(QStringLiteral("streamed.txt"), QByteArray("older and longer content"));

    TextFileWriter writer(QStringLiteral("streamed.txt"));
    for (const QString &line : std::as_const(lines)) {
        writer.write(line.left(3));
        writer.write(line.at(3));
        writer.write(line.mid(4));
        writer.endLine();
    }
    writer.finish();

    QCOMPARE(workspace.readFile(QStringLiteral("streamed.txt")), workspace.readFile(QStringLiteral("whole.txt")));
    QVERIFY(QDir().mkdir(QStringLiteral("folder")));
    try {
        TextFileWriter intoFolder(QStringLiteral("folder"));
        QFAIL("opened a directory for writing");
    } catch (const Error &error) {
        QCOMPARE(error.message(), QStringLiteral("Cannot create file folder"));
    }
}

QTEST_GUILESS_MAIN(TextFileTest)
#include "tst_textfile.moc"
