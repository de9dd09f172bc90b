#include "grid/gridlayoutstore.h"

#include "grid/tcolumn.h"
#include "grid/tdbgridcolumns.h"
#include "platform/settingsstore.h"
#include "store/error.h"
#include "store/field.h"
#include "store/table.h"

#include <QSettings>

#include <memory>

namespace kelvara::gridlayout {

namespace {

// Saving clears the values of columns past the layout up to this one.
constexpr int kLastClearedValue = 100;
// Characters of a stored width that are read.
constexpr int kWidthCharacters = 20;

QString valueName(int n)
{
    return QStringLiteral("Column%1").arg(n);
}

// A missing value reads as empty text; one of another type than a string is refused.
QString readString(const QSettings &settings, const QString &name)
{
    const QVariant value = settings.value(name);
    if (!value.isValid())
        return QString();
    if (value.typeId() != QMetaType::QString)
        throw Error(QStringLiteral("Invalid data type for '%1'").arg(name));
    return value.toString();
}

int parseWidth(const QString &text)
{
    bool ok = false;
    const int width = text.toInt(&ok, 10);
    if (!ok)
        throw Error(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return width;
}

void applyValue(Table &table, TDBGridColumns &columns, int n, const QString &text)
{
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    const QString name = text.left(comma);
    const int width = parseWidth(text.mid(comma + 1, kWidthCharacters));
    Field *field = name.isEmpty() ? nullptr : table.findField(name);
    if (!field)
        return;
    field->setIndex(n);
    field->setVisible(true);
    // A layout saved from a grid with more columns than this one has only fields to place there.
    if (n < columns.count()) {
        TColumn *column = columns.items(n);
        column->setWidth(width);
        column->setVisible(width > 0);
    }
}

}  // namespace

QString keyPath(const QString &saveName)
{
    return QStringLiteral("\\Software\\") + saveName;
}

void save(const Table &table, const TDBGridColumns &columns, const QString &saveName)
{
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    settings->beginGroup(SettingsStore::group(keyPath(saveName)));
    for (int i = 0; i < columns.count(); ++i) {
        // The field at the column's position, not the one the column shows: loading moves it there.
        const QString fieldName = i < table.fieldCount() ? table.field(i)->fieldName() : QString();
        settings->setValue(valueName(i), fieldName + QLatin1Char(',') + QString::number(columns.items(i)->width()));
    }
    for (int n = columns.count(); n <= kLastClearedValue; ++n)
        settings->remove(valueName(n));
    settings->endGroup();
    settings->sync();
    if (settings->status() != QSettings::NoError)
        throw Error(QStringLiteral("Failed to set data for '%1'").arg(valueName(0)));
}

bool load(Table &table, TDBGridColumns &columns, const QString &saveName)
{
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    settings->beginGroup(SettingsStore::group(keyPath(saveName)));
    if (settings->childKeys().isEmpty() && settings->childGroups().isEmpty())
        return false;
    for (Field *field : table.fields())
        field->setVisible(false);
    for (int i = 0; i < columns.count(); ++i)
        columns.items(i)->setVisible(false);
    int n = 0;
    QString text = readString(*settings, valueName(n));
    do {
        applyValue(table, columns, n, text);
        ++n;
        text = readString(*settings, valueName(n));
    } while (!text.isEmpty());
    return true;
}

}  // namespace kelvara::gridlayout
