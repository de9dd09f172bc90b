#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>

class QFile;
class QStringEncoder;

namespace kelvara {

// Whole text files in the locale's encoding. Lines are read up to CR, LF or both and written
// each followed by CR LF. Failures throw "Cannot open file %s" or "Cannot create file %s".
QString readTextFile(const QString &fileName);
QStringList readLines(const QString &fileName);
void writeTextFile(const QString &fileName, const QString &text);
void writeLines(const QString &fileName, const QStringList &lines);

// The file's lines split the way the reader splits them.
QStringList splitLines(const QString &text);

// Writes a large text file as it is made, in the locale's encoding or in UTF-8 led by a byte order
// mark (which spreadsheet programs need to read a file as UTF-8): no copy of the whole text is
// held and nothing waits for the disk, as an export of every record needs. An existing file is
// replaced when the new one is finished; until then, and if it never is, the old one stays. Fails
// with "Cannot create file %s" when the file cannot be opened or written, followed by the cause
// where it is one the user can act on (": the disk is full"). Work files that an earlier writer
// of the same file left behind (killed half-way) are removed.
class TextFileWriter
{
public:
    enum class Encoding { Locale, Utf8WithBom };

    explicit TextFileWriter(const QString &fileName, Encoding encoding = Encoding::Locale);
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter &) = delete;
    TextFileWriter &operator=(const TextFileWriter &) = delete;

    void write(const QString &text) { m_pending += text; }
    void write(QChar c) { m_pending += c; }
    // The text not yet written, for callers that make their text straight into it.
    QString &buffer() { return m_pending; }
    // Text already encoded as UTF-8, written after what was written before: a UTF-8 writer
    // takes the bytes as they are, so that callers need not decode what they read as UTF-8; a
    // writer in the locale's encoding takes the text they stand for.
    void writeUtf8(QByteArrayView bytes);
    // Ends the line with CR LF.
    void endLine();
    // Writes what is left and closes the file.
    void finish();

private:
    void flush();
    // Moves the pending text, encoded, behind the bytes waiting to be written.
    void encodePending();
    void writeBytes();
    // Where the folder takes no new files: the finished text is copied over the old file.
    void replaceInPlace();
    [[noreturn]] void fail(int error = 0);

    QString m_fileName;
    QString m_destination;   // the file replaced: the one a link points at, or the file itself
    QString m_partName;      // the file written until it is complete; empty once renamed
    bool m_inPlace = false;  // m_file gathers the text that then replaces the old file's
    std::unique_ptr<QFile> m_file;
    std::unique_ptr<QStringEncoder> m_encoder;
    QString m_pending;
    QByteArray m_bytes;  // the encoded bytes not yet written: m_used of them
    qsizetype m_used = 0;
    bool m_utf8 = false;
};

}  // namespace kelvara
