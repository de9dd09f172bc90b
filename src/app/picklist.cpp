#include "app/picklist.h"

#include "platform/textfile.h"
#include "store/error.h"

namespace kelvara {

bool loadPickList(const QString &fileName, QStringList &entries)
{
    try {
        entries = readLines(fileName);
        return true;
    } catch (const Error &) {
        return false;
    }
}

bool pickListContains(const QStringList &entries, const QString &text)
{
    for (const QString &entry : entries) {
        if (entry.compare(text, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool addToPickList(const QString &fileName, QStringList &entries, const QString &text)
{
    if (text.isEmpty() || pickListContains(entries, text))
        return false;
    entries << text;
    writeLines(fileName, entries);
    return true;
}

}  // namespace kelvara
