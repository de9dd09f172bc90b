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
    void writerReplacesTheFileOnlyWhenFinished();
    void writerFollowsLinksAndRefusesWhatItCannotWrite();
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

namespace {

QStringList filesIn(const test::TestWorkspace &workspace)
{
    return QDir(workspace.path()).entryList(QDir::Files | QDir::System, QDir::Name);
}

QString errorOf(const std::function<void()> &step)
{
    try {
        step();
    } catch (const Error &error) {
        return error.message();
    }
    return QString();
}

} // namespace

void TextFileTest::writerReplacesTheFileOnlyWhenFinished()
{
    test::TestWorkspace workspace;
    workspace.writeFile(QStringLiteral("out.txt"), QByteArray("the last complete file\r\n"));
    // A file of the user's own that bears the name the writer would work under first.
    workspace.writeFile(QStringLiteral("out.txt.part"), QByteArray("mine"));
    QVERIFY(QFile::setPermissions(workspace.filePath(QStringLiteral("out.txt")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions permissions = QFile::permissions(workspace.filePath(QStringLiteral("out.txt")));

    // A writer that never finishes, as when the records cannot all be read, leaves no trace.
    {
        TextFileWriter abandoned(QStringLiteral("out.txt"));
        for (int i = 0; i < 20000; ++i) {
            abandoned.write(QStringLiteral("line %1").arg(i));
            abandoned.endLine();
        }
    }
    QCOMPARE(workspace.readFile(QStringLiteral("out.txt")), QByteArray("the last complete file\r\n"));
    QCOMPARE(filesIn(workspace), (QStringList{QStringLiteral("out.txt"), QStringLiteral("out.txt.part")}));

    TextFileWriter writer(QStringLiteral("out.txt"));
    writer.write(QStringLiteral("new"));
    writer.endLine();
    // Until it is finished, the old file stands.
    QCOMPARE(workspace.readFile(QStringLiteral("out.txt")), QByteArray("the last complete file\r\n"));
    writer.finish();
    QCOMPARE(workspace.readFile(QStringLiteral("out.txt")), QByteArray("new\r\n"));
    QCOMPARE(workspace.readFile(QStringLiteral("out.txt.part")), QByteArray("mine"));
    QCOMPARE(filesIn(workspace), (QStringList{QStringLiteral("out.txt"), QStringLiteral("out.txt.part")}));
    // The replaced file keeps who may read it.
    QCOMPARE(QFile::permissions(workspace.filePath(QStringLiteral("out.txt"))), permissions);
}

void TextFileTest::writerFollowsLinksAndRefusesWhatItCannotWrite()
{
    test::TestWorkspace workspace;
    QVERIFY(QDir().mkdir(QStringLiteral("exports")));
    workspace.writeFile(QStringLiteral("exports/real.txt"), QByteArray("old"));
    QVERIFY(QFile::link(QStringLiteral("exports/real.txt"), QStringLiteral("link.txt")));
    TextFileWriter throughLink(QStringLiteral("link.txt"));
    throughLink.write(QStringLiteral("new"));
    throughLink.finish();
    QVERIFY(QFileInfo(QStringLiteral("link.txt")).isSymLink());
    QCOMPARE(workspace.readFile(QStringLiteral("exports/real.txt")), QByteArray("new"));
    QCOMPARE(QDir(QStringLiteral("exports")).entryList(QDir::Files), QStringList{QStringLiteral("real.txt")});

    // A file that may not be written is not replaced behind its back.
    workspace.writeFile(QStringLiteral("locked.txt"), QByteArray("kept"));
    QVERIFY(QFile::setPermissions(QStringLiteral("locked.txt"), QFile::ReadOwner | QFile::ReadUser));
    if (QFileInfo(QStringLiteral("locked.txt")).isWritable())
        QSKIP("this account may write any file");
    QCOMPARE(errorOf([] { TextFileWriter writer(QStringLiteral("locked.txt")); }),
             QStringLiteral("Cannot create file locked.txt"));
    QCOMPARE(workspace.readFile(QStringLiteral("locked.txt")), QByteArray("kept"));
}

QTEST_GUILESS_MAIN(TextFileTest)
#include "tst_textfile.moc"
