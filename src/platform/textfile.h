#pragma once

#include <QString>
#include <QStringList>

namespace kelvara {

// Whole text files in the locale's encoding. Lines are read up to CR, LF or both and written
// each followed by CR LF. Failures throw "Cannot open file %s" or "Cannot create file %s".
QString readTextFile(const QString &fileName);
QStringList readLines(const QString &fileName);
void writeTextFile(const QString &fileName, const QString &text);
void writeLines(const QString &fileName, const QStringList &lines);

// The file's lines split the way the reader splits them.
QStringList splitLines(const QString &text);

} // namespace kelvara
