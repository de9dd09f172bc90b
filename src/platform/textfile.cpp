#include "textfile.h"

#include "error.h"
#include "tablefiles.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

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

} // namespace

TextFileWriter::TextFileWriter(const QString &fileName)
    : m_fileName(fileName), m_encoder(std::make_unique<QStringEncoder>(QStringEncoder::System))
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
    for (int attempt = 0; attempt < 100 && !m_file; ++attempt) {
        const QString part = m_destination
                             + (attempt == 0 ? QStringLiteral(".part") : QStringLiteral(".part%1").arg(attempt));
        auto file = std::make_unique<QFile>(part);
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_partName = part;
            m_file = std::move(file);
        } else if (!QFileInfo::exists(part)) {
            break;   // the folder takes no new files
        }
    }
    if (!m_file) {
        // A folder that takes no new files may still let the file itself be rewritten.
        m_file = std::make_unique<QFile>(m_destination);
        if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail();
    } else if (target.exists()) {
        m_file->setPermissions(target.permissions());
    }
    m_pending.reserve(kWriteChunk + 1024);
}

TextFileWriter::~TextFileWriter()
{
    if (!m_partName.isEmpty() && m_file)
        m_file->remove();
}

void TextFileWriter::endLine()
{
    m_pending += QLatin1String("\r\n");
    if (m_pending.size() >= kWriteChunk)
        flush();
}

void TextFileWriter::flush()
{
    // Both buffers keep their room from chunk to chunk: a fresh allocation of this size is
    // mapped anew each time, and its page faults would cost more than the encoding.
    const qsizetype room = m_encoder->requiredSpace(m_pending.size());
    if (m_bytes.size() < room)
        m_bytes.resize(room);
    char *end = m_encoder->appendToBuffer(m_bytes.data(), m_pending);
    m_pending.resize(0);
    const qint64 size = end - m_bytes.constData();
    if (m_file->write(m_bytes.constData(), size) != size)
        fail();
}

void TextFileWriter::finish()
{
    flush();
    if (!m_file->flush())
        fail();
    m_file->close();
    if (!m_partName.isEmpty()) {
        std::error_code error;
        std::filesystem::rename(std::filesystem::path(m_partName.toStdU16String()),
                                std::filesystem::path(m_destination.toStdU16String()), error);
        if (error)
            fail();
        m_partName.clear();
    }
}

void TextFileWriter::fail()
{
    throw Error(QStringLiteral("Cannot create file %1").arg(m_fileName));
}

} // namespace kelvara
