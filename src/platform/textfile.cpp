#include "platform/textfile.h"

#include "store/error.h"
#include "store/tablefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <system_error>

namespace kelvara {

QString readTextFile(const QString &fileName)
{
    tablefiles::refuse(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file %1").arg(fileName));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Error(QStringLiteral("Cannot open file %1").arg(fileName));
    QStringDecoder decoder(QStringDecoder::System);
    return decoder.decode(bytes);
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << current;
            current.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

QStringList readLines(const QString &fileName)
{
    return splitLines(readTextFile(fileName));
}

void writeTextFile(const QString &fileName, const QString &text)
{
    // The same writer as for long files: beside the old file and renamed over it, so a failed
    // write never leaves half a file and nothing but a regular file is ever replaced.
    TextFileWriter file(fileName);
    file.write(text);
    file.finish();
}

void writeLines(const QString &fileName, const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    writeTextFile(fileName, text);
}

namespace {

// Characters gathered before they are encoded and written.
constexpr qsizetype kWriteChunk = 1 << 16;

[[noreturn]] void refuseFile(const QString &fileName, const QString &cause = QString())
{
    throw Error(cause.isEmpty() ? QStringLiteral("Cannot create file %1").arg(fileName)
                                : QStringLiteral("Cannot create file %1: %2").arg(fileName, cause));
}

// The file a write replaces: the file itself, or the regular file a link leads to. Renaming a
// new file over anything else would replace a device, a pipe or a socket by a text file.
QString replacedFile(const QString &fileName)
{
    const QFileInfo name(fileName);
    QString target = fileName;
    if (name.isSymLink()) {
        target = name.canonicalFilePath();
        if (target.isEmpty())
            refuseFile(fileName, QStringLiteral("it is a link to a file that does not exist"));
    } else if (!name.exists()) {
        return fileName;
    }
    const QFileInfo info(target);
    if (info.isDir())
        refuseFile(fileName);
    if (!info.isFile())
        refuseFile(fileName, QStringLiteral("it is not a regular file"));
    return target;
}

// What marks a file as this writer's work in progress: "<file>.part-kelvara-<6 letters>".
QString partPrefix(const QString &destination)
{
    return destination + QStringLiteral(".part-kelvara-");
}

// The cause of a failed write the user can do something about, or empty.
QString causeOf(int error)
{
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("the disk is full");
    case EFBIG: return QStringLiteral("the file would be larger than this system allows");
    default: return QString();
    }
}

// Removes the work files of writers that ended without finishing (killed, or out of power). A
// writer holds a lock on its work file as long as it runs, so a file nobody holds is left over.
void removeLeftovers(const QString &destination)
{
    const QFileInfo info(partPrefix(destination));
    const QDir folder = info.absoluteDir();
    const QString prefix = info.fileName();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.startsWith(prefix) || name.size() != prefix.size() + 6)
            continue;
        const QString path = folder.filePath(name);
#ifdef Q_OS_UNIX
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            QFile::remove(path);
        ::close(fd);
#else
        QFile::remove(path);  // fails while another writer has it open
#endif
    }
}

QString randomLetters()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString text;
    for (int i = 0; i < 6; ++i)
        text += QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof letters) - 1)]);
    return text;
}

}  // namespace

TextFileWriter::TextFileWriter(const QString &fileName, Encoding encoding)
    : m_fileName(fileName), m_encoder(std::make_unique<QStringEncoder>(
                                encoding == Encoding::Utf8WithBom ? QStringEncoder::Utf8 : QStringEncoder::System)),
      m_utf8(encoding == Encoding::Utf8WithBom)
{
    tablefiles::refuse(fileName);
    // Written beside the old file and renamed over it when complete: a walk that fails half-way
    // leaves the last complete file as it was, never half a file. Nothing waits for the disk.
    // A link is followed to its file, which is replaced, so that the link stays.
    m_destination = replacedFile(fileName);
    // A file that could not be written in place is not replaced either.
    const QFileInfo target(m_destination);
    if (target.exists() && !target.isWritable())
        fail();
    removeLeftovers(m_destination);
    int error = 0;
    for (int attempt = 0; attempt < 100 && !m_file; ++attempt) {
        const QString part = partPrefix(m_destination) + randomLetters();
        auto file = std::make_unique<QFile>(part);
        errno = 0;
        const bool opened = file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
        const int openError = errno;
        if (opened) {
            m_partName = part;
            m_file = std::move(file);
#ifdef Q_OS_UNIX
            // Held until the file is renamed or removed: the next writer tells a file in use from
            // one left behind by it.
            ::flock(m_file->handle(), LOCK_EX | LOCK_NB);
#endif
        } else if (!QFileInfo::exists(part)) {
            error = openError;
            break;  // the folder takes no new files
        }
    }
    if (!m_file) {
        // A folder that takes no new files may still let the file itself be rewritten. The new
        // text is gathered elsewhere first and goes into the file only once it is complete.
        if (!target.exists())
            fail(error);
        auto spool = std::make_unique<QTemporaryFile>();
        if (!spool->open())
            fail(error);
        m_file = std::move(spool);
        m_inPlace = true;
    } else if (target.exists()) {
        m_file->setPermissions(target.permissions());
    }
    m_pending.reserve(kWriteChunk + 1024);
    if (m_utf8)
        writeUtf8("\xEF\xBB\xBF");
}

TextFileWriter::~TextFileWriter()
{
    if (!m_partName.isEmpty() && m_file)
        m_file->remove();
}

void TextFileWriter::endLine()
{
    if (m_utf8 && m_pending.isEmpty()) {
        writeUtf8("\r\n");
        return;
    }
    m_pending += QLatin1String("\r\n");
    if (m_pending.size() >= kWriteChunk)
        flush();
}

void TextFileWriter::writeUtf8(QByteArrayView bytes)
{
    if (!m_utf8) {
        m_pending += QString::fromUtf8(bytes);
        if (m_pending.size() >= kWriteChunk)
            flush();
        return;
    }
    encodePending();
    const qsizetype needed = m_used + bytes.size();
    if (m_bytes.size() < needed)
        m_bytes.resize(std::max(needed, 2 * kWriteChunk));
    std::memcpy(m_bytes.data() + m_used, bytes.data(), size_t(bytes.size()));
    m_used = needed;
    if (m_used >= kWriteChunk)
        writeBytes();
}

void TextFileWriter::encodePending()
{
    if (m_pending.isEmpty())
        return;
    // Both buffers keep their room from chunk to chunk: a fresh allocation of this size is
    // mapped anew each time, and its page faults would cost more than the encoding.
    const qsizetype room = m_used + m_encoder->requiredSpace(m_pending.size());
    if (m_bytes.size() < room)
        m_bytes.resize(room);
    char *end = m_encoder->appendToBuffer(m_bytes.data() + m_used, m_pending);
    m_pending.resize(0);
    m_used = end - m_bytes.constData();
}

void TextFileWriter::writeBytes()
{
    errno = 0;
    if (m_used > 0 && m_file->write(m_bytes.constData(), m_used) != m_used)
        fail(errno);
    m_used = 0;
}

void TextFileWriter::flush()
{
    encodePending();
    writeBytes();
}

void TextFileWriter::finish()
{
    flush();
    errno = 0;
    if (!m_file->flush())
        fail(errno);
    if (m_inPlace) {
        replaceInPlace();
        return;
    }
    m_file->close();
    if (!m_partName.isEmpty()) {
        std::error_code error;
        std::filesystem::rename(std::filesystem::path(m_partName.toStdU16String()),
                                std::filesystem::path(m_destination.toStdU16String()), error);
        if (error)
            fail(error.value());
        m_partName.clear();
    }
}

void TextFileWriter::replaceInPlace()
{
    QFile &spool = *m_file;
    QFile file(m_destination);
    // Read and write: write alone would empty the file at once.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        fail();
    const qint64 oldSize = file.size();
    const qint64 newSize = spool.size();
    auto copy = [&](qint64 from, qint64 to) {
        if (!spool.seek(from) || !file.seek(from))
            return false;
        QByteArray chunk;
        for (qint64 at = from; at < to; at += chunk.size()) {
            chunk = spool.read(std::min<qint64>(to - at, 1 << 20));
            if (chunk.isEmpty() || file.write(chunk) != chunk.size())
                return false;
        }
        return true;
    };
    // The part beyond the old end first: that is where a full disk shows, and the old text is
    // untouched until it has its room. Rewriting within the old length takes no new space.
    errno = 0;
    if (newSize > oldSize && !copy(oldSize, newSize)) {
        const int error = errno;
        file.resize(oldSize);
        fail(error);
    }
    errno = 0;
    if (!copy(0, std::min(oldSize, newSize)) || !file.resize(newSize) || !file.flush())
        fail(errno);
    file.close();
    m_file.reset();
}

void TextFileWriter::fail(int error)
{
    const QString cause = causeOf(error);
    throw Error(cause.isEmpty() ? QStringLiteral("Cannot create file %1").arg(m_fileName)
                                : QStringLiteral("Cannot create file %1: %2").arg(m_fileName, cause));
}

}  // namespace kelvara
