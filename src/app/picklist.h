#pragma once

#include <QString>
#include <QStringList>

namespace kelvara {

// The remembered values of a pick list box, kept one per line in a text file.
struct PickListFile
{
    QString box;    // the combo box's object name
    QString field;  // the field it edits
    QString fileName;
};

// Reads the list into entries; when the file cannot be read, gives false and keeps entries.
bool loadPickList(const QString &fileName, QStringList &entries);

// Whether the text equals an entry, ignoring letter case (blanks count).
bool pickListContains(const QStringList &entries, const QString &text);

// Appends a new, non-empty text and writes the whole list; true when the list grew.
// A write failure throws "Cannot create file %s" after the entry was appended.
bool addToPickList(const QString &fileName, QStringList &entries, const QString &text);

}  // namespace kelvara
