#include "errorof.h"
#include "filekind.h"
#include "platform/textfile.h"
#include "store/error.h"
#include "testworkspace.h"

#include <QDir>
#include <QtTest>

#include <optional>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvara;
using test::errorOf;

class TextFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesEveryLineWithCrLf();
    void readsLinesEndedByCrLfOrBoth_data();
    void readsLinesEndedByCrLfOrBoth();
    void failsWithTheFileName();
    void writerStreamsTheSameBytes();
    void utf8WriterLeadsWithAByteOrderMark();
    void writerReplacesTheFileOnlyWhenFinished();
    void writerFollowsLinksAndRefusesWhatItCannotWrite();
    void onlyRegularFilesAreReplaced_data();
    void onlyRegularFilesAreReplaced();
    void aFullDiskKeepsTheOldFile_data();
    void aFullDiskKeepsTheOldFile();
    void workFilesOfAKilledWriterGo();
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

void TextFileTest::utf8WriterLeadsWithAByteOrderMark()
{
    test::TestWorkspace workspace;
    // Text and bytes mixed in any order, over several chunks, with characters of two, three and
    // four bytes at every place a chunk can end; the file holds them in the order written.
    QByteArray expected("\xEF\xBB\xBF");
    {
        TextFileWriter writer(QStringLiteral("out.csv"), TextFileWriter::Encoding::Utf8WithBom);
        for (int i = 0; i < 20000; ++i) {
            const QString text = QStringLiteral("%1 \u00d8deg\u00e5rd \U0001F41D%2").arg(i).arg(QString(i % 5, 'x'));
            const QByteArray bytes = QStringLiteral("\u00e6\u20ac%1").arg(i % 3).toUtf8();
            if (i % 2)
                writer.write(text);
            else
                writer.buffer() += text;
            writer.writeUtf8(bytes);
            writer.write(QLatin1Char(','));
            writer.endLine();
            expected += text.toUtf8() + bytes + ",\r\n";
        }
        writer.writeUtf8("end");
        writer.finish();
        expected += "end";
    }
    QCOMPARE(workspace.readFile(QStringLiteral("out.csv")), expected);

    // An empty UTF-8 file is its mark alone.
    TextFileWriter empty(QStringLiteral("empty.csv"), TextFileWriter::Encoding::Utf8WithBom);
    empty.finish();
    QCOMPARE(workspace.readFile(QStringLiteral("empty.csv")), QByteArray("\xEF\xBB\xBF"));

    // A writer in the locale's encoding takes UTF-8 as the text it stands for, and adds no mark.
    TextFileWriter local(QStringLiteral("local.txt"));
    local.writeUtf8("plain");
    local.endLine();
    local.finish();
    QCOMPARE(workspace.readFile(QStringLiteral("local.txt")), QByteArray("plain\r\n"));
}

namespace {

QStringList filesIn(const test::TestWorkspace &workspace)
{
    return QDir(workspace.path()).entryList(QDir::Files | QDir::System, QDir::Name);
}

}  // namespace

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

using test::fileKindOf;

}  // namespace

void TextFileTest::onlyRegularFilesAreReplaced_data()
{
    QTest::addColumn<QString>("special");   // what stands at "target": pipe, device, none or file
    QTest::addColumn<bool>("throughLink");  // written through "name", a link to "target"
    QTest::addColumn<bool>("streamed");     // the export's writer rather than a whole file
    QTest::addColumn<QString>("cause");     // empty: written
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
    const QString kindBefore = fileKindOf(target);

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
    QCOMPARE(fileKindOf(target), kindBefore);
    if (throughLink)
        QCOMPARE(fileKindOf(name), QStringLiteral("link"));
    // Nothing is left beside the target either.
    QCOMPARE(QDir(QStringLiteral("targets")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             special == QLatin1String("none") ? QStringList() : QStringList{QStringLiteral("target")});
}

namespace {

// A folder where the disk is full: a small file system of the test's own where the account may
// mount one, or a limit on the size of the files this process writes.
class FullFolder
{
public:
    FullFolder(const QString &path, const QByteArray &options) : m_path(QFile::encodeName(path))
    {
        if (!options.isEmpty())
            m_mounted = ::mount("tmpfs", m_path.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~FullFolder()
    {
        lift();
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    // Files of this process end at the size, as on a disk with that much room; the signal the
    // system sends then is ignored, as writing programs do.
    void limitFileSize(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_limit);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_limit;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        m_limited = true;
    }
    void lift()
    {
        if (!m_limited)
            return;
        ::setrlimit(RLIMIT_FSIZE, &m_limit);
        std::signal(SIGXFSZ, m_oldHandler);
        m_limited = false;
    }
    // Fills what room is left with a file of its own.
    void fill() const
    {
        QFile filler(QString::fromLocal8Bit(m_path) + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) { }
    }

private:
    QByteArray m_path;
    bool m_mounted = false;
    bool m_limited = false;
    rlimit m_limit{};
    void (*m_oldHandler)(int) = SIG_DFL;
};

QStringList linesOf(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("Job %1|Bjørnstjerne Bjørnsons gate %1|Chimney").arg(i);
    return lines;
}

}  // namespace

void TextFileTest::aFullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<QByteArray>("mount");     // tmpfs options; empty: no file system of its own
    QTest::addColumn<bool>("fill");            // the file system's blocks are taken first
    QTest::addColumn<int>("sizeLimit");        // bytes a file may have; 0: none
    QTest::addColumn<bool>("readOnlyFolder");  // the folder takes no new files
    QTest::addColumn<bool>("streamed");
    QTest::addColumn<QString>("cause");  // empty: written

    const QString full = QStringLiteral("the disk is full");
    const QString tooLarge = QStringLiteral("the file would be larger than this system allows");
    for (const bool streamed : {false, true}) {
        const QByteArray kind = streamed ? " (streamed)" : " (whole)";
        QTest::newRow("full file system" + kind) << QByteArray("size=256k") << true << 0 << false << streamed << full;
        // Each name takes an inode: with the last one taken, the new file cannot be made and
        // the old one is rewritten where it stands.
        QTest::newRow("full file system without room for a name" + kind)
            << QByteArray("size=256k,nr_inodes=4") << true << 0 << false << streamed << full;
        QTest::newRow("no room for a name, room for the text" + kind)
            << QByteArray("size=1m,nr_inodes=4") << false << 0 << false << streamed << QString();
        QTest::newRow("size limit" + kind) << QByteArray() << false << 65536 << false << streamed << tooLarge;
        QTest::newRow("size limit, read-only folder" + kind)
            << QByteArray() << false << 65536 << true << streamed << tooLarge;
    }
}

// The new file replaces the old one only when it is complete; a disk that fills up on the way
// leaves the old file as it was and nothing beside it, and the message says why.
void TextFileTest::aFullDiskKeepsTheOldFile()
{
    QFETCH(QByteArray, mount);
    QFETCH(bool, fill);
    QFETCH(int, sizeLimit);
    QFETCH(bool, readOnlyFolder);
    QFETCH(bool, streamed);
    QFETCH(QString, cause);
    test::TestWorkspace workspace;
    QVERIFY(QDir().mkdir(QStringLiteral("disk")));
    FullFolder disk(workspace.filePath(QStringLiteral("disk")), mount);
    if (!mount.isEmpty() && !disk.mounted())
        QSKIP("this account may not mount a file system");
    const QString name = QStringLiteral("disk/DataExport.Dat");
    const QByteArray old = "the last complete export\r\n";
    workspace.writeFile(name, old);
    if (mount.contains("nr_inodes"))
        workspace.writeFile(QStringLiteral("disk/other"), "x");  // the last inode
    if (fill)
        disk.fill();
    if (readOnlyFolder) {
        QVERIFY(QFile::setPermissions(QStringLiteral("disk"), QFile::ReadOwner | QFile::ExeOwner));
        if (QFile newFile(QStringLiteral("disk/probe")); newFile.open(QIODevice::WriteOnly)) {
            newFile.remove();
            QSKIP("this account may write into any folder");
        }
    }
    const QStringList before = QDir(QStringLiteral("disk")).entryList(QDir::Files | QDir::System);
    const QStringList lines = linesOf(8000);  // some 400 KB
    if (sizeLimit > 0)
        disk.limitFileSize(rlim_t(sizeLimit));

    const QString error = errorOf([&] {
        if (streamed) {
            TextFileWriter writer(name);
            for (const QString &line : lines) {
                writer.write(line);
                writer.endLine();
            }
            writer.finish();
        } else {
            writeLines(name, lines);
        }
    });
    disk.lift();
    QFile::setPermissions(QStringLiteral("disk"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    if (cause.isEmpty()) {
        QCOMPARE(error, QString());
        QCOMPARE(readLines(name), lines);
    } else {
        QCOMPARE(error, QStringLiteral("Cannot create file %1: %2").arg(name, cause));
        QCOMPARE(workspace.readFile(name), old);
    }
    QCOMPARE(QDir(QStringLiteral("disk")).entryList(QDir::Files | QDir::System), before);
}

// A writer killed half-way leaves its work file beside the old one; the next write of the same
// file removes it, but never a work file another writer is busy with, nor a file of the user's.
void TextFileTest::workFilesOfAKilledWriterGo()
{
    test::TestWorkspace workspace;
    workspace.writeFile(QStringLiteral("out.txt"), "old\r\n");
    workspace.writeFile(QStringLiteral("out.txt.part"), "the user's own");
    const pid_t child = ::fork();
    if (child == 0) {
        TextFileWriter writer(QStringLiteral("out.txt"));
        for (const QString &line : linesOf(5000)) {
            writer.write(line);
            writer.endLine();
        }
        ::raise(SIGKILL);
        ::_exit(1);
    }
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
    QStringList leftovers = filesIn(workspace);
    leftovers.removeAll(QStringLiteral("out.txt"));
    leftovers.removeAll(QStringLiteral("out.txt.part"));
    QCOMPARE(leftovers.size(), 1);
    QCOMPARE(workspace.readFile(QStringLiteral("out.txt")), QByteArray("old\r\n"));

    // Another writer of the same file, busy: its work file is held as long as it writes.
    std::optional<TextFileWriter> busy(std::in_place, QStringLiteral("out.txt"));
    busy->write(QStringLiteral("busy"));
    QStringList busyFiles = filesIn(workspace);
    busyFiles.removeAll(QStringLiteral("out.txt"));
    busyFiles.removeAll(QStringLiteral("out.txt.part"));
    busyFiles.removeAll(leftovers.first());
    QCOMPARE(busyFiles.size(), 1);

    writeLines(QStringLiteral("out.txt"), {QStringLiteral("new")});

    QCOMPARE(workspace.readFile(QStringLiteral("out.txt")), QByteArray("new\r\n"));
    QCOMPARE(filesIn(workspace),
             (QStringList{QStringLiteral("out.txt"), QStringLiteral("out.txt.part"), busyFiles.first()}));
    busy->finish();
    busy.reset();
    QCOMPARE(workspace.readFile(QStringLiteral("out.txt")), QByteArray("busy"));
    QCOMPARE(filesIn(workspace), (QStringList{QStringLiteral("out.txt"), QStringLiteral("out.txt.part")}));
}

QTEST_GUILESS_MAIN(TextFileTest)
#include "tst_textfile.moc"
