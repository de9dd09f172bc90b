#include "error.h"
#include "testworkspace.h"
#include "textfile.h"

#include <QDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

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
    void onlyRegularFilesAreReplaced_data();
    void onlyRegularFilesAreReplaced();
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

namespace {

// What a name in the workspace is, links not followed.
QString kindOf(const QString &path)
{
    struct stat info{};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("missing");
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("link");
    if (S_ISREG(info.st_mode))
        return QStringLiteral("file");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("pipe");
    if (S_ISCHR(info.st_mode))
        return QStringLiteral("device");
    return QStringLiteral("other");
}

} // namespace

void TextFileTest::onlyRegularFilesAreReplaced_data()
{
    QTest::addColumn<QString>("special");     // what stands at "target": pipe, device, none or file
    QTest::addColumn<bool>("throughLink");     // written through "name", a link to "target"
    QTest::addColumn<bool>("streamed");        // the export's writer rather than a whole file
    QTest::addColumn<QString>("cause");        // empty: written
    const QString notRegular = QStringLiteral("it is not a regular file");
    const QString dangling = QStringLiteral("it is a link to a file that does not exist");
    for (const bool streamed : {false, true}) {
        const QByteArray kind = streamed ? " (streamed)" : " (whole)";
        QTest::newRow("pipe" + kind) << "pipe" << false << streamed << notRegular;
        QTest::newRow("link to a pipe" + kind) << "pipe" << true << streamed << notRegular;
        QTest::newRow("link to a device" + kind) << "device" << true << streamed << notRegular;
        QTest::newRow("link to nothing" + kind) << "none" << true << streamed << dangling;
        QTest::newRow("link to a file" + kind) << "file" << true << streamed << QString();
    }
}

// Written beside the target and renamed over it only when the target is a regular file or
// missing; a link is followed to a regular file and stays a link. Anything else is refused.
void TextFileTest::onlyRegularFilesAreReplaced()
{
    QFETCH(QString, special);
    QFETCH(bool, throughLink);
    QFETCH(bool, streamed);
    QFETCH(QString, cause);
    test::TestWorkspace workspace;
    QVERIFY(QDir().mkdir(QStringLiteral("targets")));
    const QString target = QStringLiteral("targets/target");
    if (special == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0666), 0);
    } else if (special == QLatin1String("device")) {
        // A device of the workspace's own that reads and writes nothing, as /dev/null does.
        if (::mknod(QFile::encodeName(target).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("this account may not make device nodes");
    } else if (special == QLatin1String("file")) {
        workspace.writeFile(target, QByteArray("old"));
    }
    const QString name = throughLink ? QStringLiteral("name") : target;
    if (throughLink)
        QVERIFY(QFile::link(QStringLiteral("targets/target"), name));
    const QString kindBefore = kindOf(target);

    const QString error = errorOf([&] {
        if (streamed) {
            TextFileWriter writer(name);
            writer.write(QStringLiteral("new"));
            writer.endLine();
            writer.finish();
        } else {
            writeLines(name, {QStringLiteral("new")});
        }
    });

    if (cause.isEmpty()) {
        QCOMPARE(error, QString());
        QCOMPARE(workspace.readFile(target), QByteArray("new\r\n"));
    } else {
        QCOMPARE(error, QStringLiteral("Cannot create file %1: %2").arg(name, cause));
    }
    QCOMPARE(kindOf(target), kindBefore);
    if (throughLink)
        QCOMPARE(kindOf(name), QStringLiteral("link"));
    // Nothing is left beside the target either.
    QCOMPARE(QDir(QStringLiteral("targets")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             special == QLatin1String("none") ? QStringList() : QStringList{QStringLiteral("target")});
}

QTEST_GUILESS_MAIN(TextFileTest)
#include "tst_textfile.moc"
