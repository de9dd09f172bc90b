#include "textfile.h"

#include "error.h"
#include "tablefiles.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

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
    tablefiles::refuse(fileName);
    // Written beside the old file and renamed over it, so a failed write never leaves half a file.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(QStringLiteral("Cannot create file %1").arg(fileName));
    QStringEncoder encoder(QStringEncoder::System);
    const QByteArray bytes = encoder.encode(text);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Error(QStringLiteral("Cannot create file %1").arg(fileName));
}

void writeLines(const QString &fileName, const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    writeTextFile(fileName, text);
}

} // namespace kelvara
