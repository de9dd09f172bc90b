#pragma once

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

// Writes a large text file as it is made, in the locale's encoding: no copy of the whole text is
// held and nothing waits for the disk, as an export of every record needs. An existing file is
// replaced when the new one is finished; until then, and if it never is, the old one stays. Fails
// with "Cannot create file %s" when the file cannot be opened or written, followed by the cause
// where it is one the user can act on (": the disk is full"). Work files that an earlier writer
// of the same file left behind (killed half-way) are removed.
class TextFileWriter
{
public:
    explicit TextFileWriter(const QString &fileName);
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter &) = delete;
    TextFileWriter &operator=(const TextFileWriter &) = delete;

    void write(const QString &text) { m_pending += text; }
    void write(QChar c) { m_pending += c; }
    // The text not yet written, for callers that make their text straight into it.
    QString &buffer() { return m_pending; }
    // Ends the line with CR LF.
    void endLine();
    // Writes what is left and closes the file.
    void finish();

private:
    void flush();
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
    QByteArray m_bytes;
};

}  // namespace kelvara
