#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace kelvara::findwords {

// How the find reads texts, the same way for the jobs it indexes and for what the user types, so
// that the index and a plain scan of the records find the same jobs.

// A text as the find compares it: in lower case, without accents, letters that have no plain
// form of their own spelt with plain ones (ø as o, æ as ae, ß as ss), and each character that
// is neither a letter nor a digit a space.
QString fold(QStringView text);

// Appends a record's value to its document: the folded value and, for a number typed in groups
// ("930 30 303"), the groups joined from each one on ("93030303", "30303"), so that digits
// typed without the spaces find it too. Words are separated by single spaces.
void appendToDocument(QString &document, QStringView value);

// The distinct words of what the user typed, folded; at most kMaxWords of them.
constexpr int kMaxWords = 32;
QStringList queryWords(QStringView typed);

// The FTS5 query that finds the documents in which every word starts a word. Each word is a
// quoted prefix term made of letters and digits only, so nothing typed is read as query syntax.
QString ftsQuery(const QStringList &words);

// Whether every word starts a word of the document: what the FTS5 query finds, for a scan.
bool documentMatches(const QStringList &words, QStringView document);

}  // namespace kelvara::findwords
