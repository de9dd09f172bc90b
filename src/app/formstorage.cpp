#include "app/formstorage.h"

#include "app/storedfont.h"
#include "grid/tcolumn.h"
#include "grid/tdbgrid.h"
#include "grid/tdbgridcolumns.h"
#include "platform/colorvalues.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <utility>

namespace kelvara {

// One section of the store, its values kept as texts.
class SettingsSection
{
public:
    SettingsSection(QSettings &settings, const QString &group) : m_settings(settings), m_group(group) { }

    std::optional<QString> value(const QString &name) const
    {
        const QVariant value = m_settings.value(key(name));
        if (!value.isValid())
            return std::nullopt;
        // A text with commas that was written without quotes comes back as a list.
        if (value.metaType().id() == QMetaType::QStringList)
            return value.toStringList().join(QLatin1Char(','));
        return value.toString();
    }
    void setValue(const QString &name, const QString &text) { m_settings.setValue(key(name), text); }
    void erase() { m_settings.remove(m_group); }
    // A section of its own named after this one and a value of it.
    SettingsSection sub(const QString &valueName) const
    {
        return SettingsSection(m_settings, m_group + QLatin1Char('.') + valueName);
    }

private:
    QString key(const QString &name) const { return m_group + QLatin1Char('/') + name; }

    QSettings &m_settings;
    QString m_group;
};

namespace {

const QString kNull = QStringLiteral("(null)");

// The longest text list read: a drop-down list longer than this is no list anyone picks from, and
// a count in the store may be any number.
constexpr int kLongestList = 1000;

// The farthest a stored window coordinate reaches: beyond every desktop, and near enough to zero
// that rectangles of such numbers compute without overflow.
constexpr int kFarthest = 1 << 20;
// The largest width, height or size a stored value gives: wider than any screen.
constexpr qint64 kLargestExtent = 1 << 16;

int screenPixelsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInchY()) : 96;
}

QString screenSizeName()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->size() : QSize();
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

// How a property's value is kept in the store.
enum class Form {
    None,
    Integer,
    Color,
    Boolean,
    Enumeration,
    Set,
    Text,
    TextList,
    Font,
    Object,
    Collection,
    Reference
};

QObject *objectOf(const QMetaProperty &property, const QObject *owner)
{
    const QVariant value = property.read(owner);
    return value.isValid() ? *static_cast<QObject *const *>(value.constData()) : nullptr;
}

Form formOf(const QMetaProperty &property, const QObject *owner)
{
    if (property.isEnumType())
        return property.isFlagType() ? Form::Set : Form::Enumeration;
    const QMetaType type = property.metaType();
    switch (type.id()) {
    case QMetaType::Bool: return Form::Boolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort: return Form::Integer;
    case QMetaType::QColor: return Form::Color;
    case QMetaType::QString: return Form::Text;
    case QMetaType::QStringList: return Form::TextList;
    case QMetaType::QFont: return Form::Font;
    default: break;
    }
    if (!type.flags().testFlag(QMetaType::PointerToQObject))
        return Form::None;
    // A writable reference names another component; a read-only one is an object of the owner's.
    if (property.isWritable())
        return Form::Reference;
    QObject *object = objectOf(property, owner);
    if (!object)
        return Form::None;
    return qobject_cast<TDBGridColumns *>(object) ? Form::Collection : Form::Object;
}

// The colour property that goes with a font property ("Font" and "FontColor"), if any.
QMetaProperty colorOfFont(const QObject *object, const QMetaProperty &font)
{
    const QMetaObject *meta = object->metaObject();
    const int index = meta->indexOfProperty(QByteArray(font.name()).append("Color").constData());
    return index >= 0 && meta->property(index).metaType().id() == QMetaType::QColor ? meta->property(index)
                                                                                    : QMetaProperty();
}

bool isColorOfAFont(const QObject *object, const QMetaProperty &property)
{
    const QByteArray name = property.name();
    if (property.metaType().id() != QMetaType::QColor || !name.endsWith("Color"))
        return false;
    const int font = object->metaObject()->indexOfProperty(name.chopped(5).constData());
    return font >= 0 && object->metaObject()->property(font).metaType().id() == QMetaType::QFont;
}

// The published properties of an object in declaration order, QObject's own left out; a font's
// colour goes with the font.
template <typename Visit> void forEachProperty(QObject *object, Visit &&visit)
{
    const QMetaObject *meta = object->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isReadable() || !property.isStored() || isColorOfAFont(object, property))
            continue;
        const Form form = formOf(property, object);
        if (form != Form::None)
            visit(property, form);
    }
}

// Enumerations and sets held in a variant of their own type, as a number.
qint64 enumNumber(const QVariant &value)
{
    switch (value.metaType().sizeOf()) {
    case 1: return *static_cast<const qint8 *>(value.constData());
    case 2: return *static_cast<const qint16 *>(value.constData());
    case 4: return *static_cast<const quint32 *>(value.constData());
    case 8: return *static_cast<const qint64 *>(value.constData());
    default: return 0;
    }
}

QVariant enumVariant(const QMetaType &type, qint64 number)
{
    QVariant value(type);
    switch (type.sizeOf()) {
    case 1: *static_cast<qint8 *>(value.data()) = qint8(number); break;
    case 2: *static_cast<qint16 *>(value.data()) = qint16(number); break;
    case 4: *static_cast<quint32 *>(value.data()) = quint32(number); break;
    case 8: *static_cast<qint64 *>(value.data()) = number; break;
    default: return QVariant();
    }
    return value;
}

std::optional<qint64> integerOf(const QString &text, qint64 lowest, qint64 highest)
{
    bool ok = false;
    const qint64 number = text.trimmed().toLongLong(&ok, 10);
    if (!ok || number < lowest || number > highest)
        return std::nullopt;
    return number;
}

std::optional<int> intOf(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    const auto number = integerOf(*text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    return number ? std::optional<int>(int(*number)) : std::nullopt;
}

// "left,top,right,bottom" and the like.
std::optional<std::array<int, 4>> fourOf(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    const QStringList parts = text->split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> numbers{};
    for (int i = 0; i < 4; ++i) {
        const auto number = intOf(parts.at(i));
        if (!number)
            return std::nullopt;
        numbers[size_t(i)] = std::clamp(*number, -kFarthest, kFarthest);
    }
    return numbers;
}

QString fourText(int a, int b, int c, int d)
{
    return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

// The texts of the values that a text stands for.
QString textOf(Form form, const QMetaProperty &property, const QVariant &value)
{
    switch (form) {
    case Form::Integer: return QString::number(value.toLongLong());
    case Form::Color:
        // The platform's colour code is signed.
        return QString::number(qint32(colorValue(value.value<QColor>())));
    case Form::Boolean: return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case Form::Enumeration: return QString::fromLatin1(property.enumerator().valueToKey(int(enumNumber(value))));
    case Form::Set: {
        const QMetaEnum members = property.enumerator();
        const qint64 set = enumNumber(value);
        QStringList names;
        for (int i = 0; i < members.keyCount(); ++i) {
            const qint64 member = quint32(members.value(i));
            if (member != 0 && (set & member) == member)
                names << QString::fromLatin1(members.key(i));
        }
        return QLatin1Char('[') + names.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    case Form::Text: return value.toString().trimmed();
    default: return QString();
    }
}

int memberByName(const QMetaEnum &members, const QString &name)
{
    for (int i = 0; i < members.keyCount(); ++i) {
        if (name.compare(QLatin1String(members.key(i)), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// The value a stored text gives, or none when the text cannot be read as one.
std::optional<QVariant> valueOf(Form form, const QMetaProperty &property, const QString &stored)
{
    const QString text = stored.trimmed();
    switch (form) {
    case Form::Integer: {
        const auto number = integerOf(text, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
        QVariant value = number ? QVariant(*number) : QVariant();
        // A number the property's type cannot hold is as unreadable as no number.
        if (!number || !value.convert(property.metaType()) || value.toLongLong() != *number)
            return std::nullopt;
        // An extent is what a screen can show; the number may be any the type holds.
        const QByteArray name = property.name();
        if (name.endsWith("Width") || name.endsWith("Height") || name.endsWith("Size")) {
            value = QVariant(std::clamp(*number, -kLargestExtent, kLargestExtent));
            value.convert(property.metaType());
        }
        return value;
    }
    case Form::Color: {
        const auto number = integerOf(text, std::numeric_limits<qint32>::min(), std::numeric_limits<quint32>::max());
        if (!number)
            return std::nullopt;
        return QVariant::fromValue(colorFromValue(quint32(*number)));
    }
    case Form::Boolean:
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return QVariant(true);
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return QVariant(false);
        return std::nullopt;
    case Form::Enumeration: {
        const QMetaEnum members = property.enumerator();
        const int member = memberByName(members, text);
        if (member < 0)
            return std::nullopt;
        return enumVariant(property.metaType(), members.value(member));
    }
    case Form::Set: {
        static const QRegularExpression separators(QStringLiteral("[\\s,\\[\\]]+"));
        const QMetaEnum members = property.enumerator();
        qint64 set = 0;
        for (const QString &name : text.split(separators, Qt::SkipEmptyParts)) {
            // A member this program does not know (any more) is passed over.
            const int member = memberByName(members, name);
            if (member >= 0)
                set |= quint32(members.value(member));
        }
        return enumVariant(property.metaType(), set);
    }
    case Form::Text: return QVariant(text);
    default: return std::nullopt;
    }
}

// Collections keep their items in a section of their own; the data grid's columns are the only
// collection the window stores.
class Collection
{
public:
    explicit Collection(QObject *object) : m_columns(qobject_cast<TDBGridColumns *>(object)) { }

    int count() const { return m_columns->count(); }
    // The most items read: one column per field of the grid's records, or those there are.
    int largestCount() const
    {
        const Table *table = m_columns->grid() ? m_columns->grid()->dataSet() : nullptr;
        return table && table->fieldCount() > 0 ? table->fieldCount() : count();
    }
    QObject *item(int index) const { return m_columns->items(index); }
    void recreate(int count)
    {
        m_columns->clear();
        for (int i = 0; i < count; ++i)
            m_columns->add();
    }
    void beginUpdate() { m_columns->beginUpdate(); }
    // The property that binds an item to its field.
    static constexpr const char *Binding = "FieldName";
    void endUpdate() { m_columns->endUpdate(); }

private:
    TDBGridColumns *m_columns;
};

// Writes and reads the properties of a window's components by name.
class PropertyStore
{
public:
    explicit PropertyStore(QWidget *form) : m_form(form), m_pixelsPerInch(screenPixelsPerInch()) { }

    // A stored path "Component.Property": the object holding the property, the property, and
    // the name its value is stored under ("Component_Property").
    struct Target
    {
        QObject *object = nullptr;
        QMetaProperty property;
        Form form = Form::None;
        QString valueName;
    };
    std::optional<Target> resolve(const QString &path) const
    {
        const QStringList parts = path.split(QLatin1Char('.'));
        if (parts.size() < 2)
            return std::nullopt;
        QObject *object = m_form->findChild<QObject *>(parts.first());
        for (int i = 1; object && i < parts.size(); ++i) {
            const int index = object->metaObject()->indexOfProperty(parts.at(i).toLatin1().constData());
            if (index < 0)
                return std::nullopt;
            const QMetaProperty property = object->metaObject()->property(index);
            const Form form = formOf(property, object);
            if (i == parts.size() - 1) {
                if (form == Form::None)
                    return std::nullopt;
                return Target{object, property, form, parts.join(QLatin1Char('_'))};
            }
            object = form == Form::Object ? objectOf(property, object) : nullptr;
        }
        return std::nullopt;
    }

    void write(SettingsSection &section, const QString &name, QObject *object, const QMetaProperty &property,
               Form form) const
    {
        switch (form) {
        case Form::TextList: {
            SettingsSection list = section.sub(name);
            list.erase();
            const QStringList entries = property.read(object).toStringList();
            if (entries.isEmpty())
                return;
            list.setValue(QStringLiteral("Count"), QString::number(entries.size()));
            for (int i = 0; i < entries.size(); ++i)
                list.setValue(QStringLiteral("Item%1").arg(i), entries.at(i));
            return;
        }
        case Form::Font: {
            TFontValues font = fontValues(object, property);
            writeObject(section, name, &font);
            return;
        }
        case Form::Object: writeObject(section, name, objectOf(property, object)); return;
        case Form::Collection: {
            const Collection collection(objectOf(property, object));
            section.setValue(name + QStringLiteral(".Count"), QString::number(collection.count()));
            SettingsSection items = section.sub(name);
            items.erase();
            for (int i = 0; i < collection.count(); ++i)
                writeObject(items, QStringLiteral("Item%1_").arg(i), collection.item(i));
            return;
        }
        case Form::Reference: {
            const QObject *other = objectOf(property, object);
            section.setValue(name, other ? other->objectName() : kNull);
            return;
        }
        default: section.setValue(name, textOf(form, property, property.read(object))); return;
        }
    }

    // Each value is read on its own: one that cannot be read or assigned leaves its property.
    void read(const SettingsSection &section, const QString &name, QObject *object, const QMetaProperty &property,
              Form form) const
    {
        try {
            readValue(section, name, object, property, form);
        } catch (...) {
            // A setter that refuses the value keeps the property as it was.
        }
    }

private:
    void writeObject(SettingsSection &section, const QString &prefix, QObject *object) const
    {
        forEachProperty(object, [&](const QMetaProperty &property, Form form) {
            write(section, prefix + QLatin1String(property.name()), object, property, form);
        });
    }

    // Reads the object's properties, or only the one named.
    void readObject(const SettingsSection &section, const QString &prefix, QObject *object,
                    const char *only = nullptr) const
    {
        forEachProperty(object, [&](const QMetaProperty &property, Form form) {
            if (only && qstrcmp(property.name(), only) != 0)
                return;
            if (property.isWritable() || form == Form::Object || form == Form::Collection || form == Form::Font)
                read(section, prefix + QLatin1String(property.name()), object, property, form);
        });
    }

    TFontValues fontValues(QObject *object, const QMetaProperty &property) const
    {
        const QMetaProperty color = colorOfFont(object, property);
        return TFontValues(property.read(object).value<QFont>(),
                           color.isValid() ? color.read(object).value<QColor>() : QColor(Qt::black), m_pixelsPerInch);
    }

    // Writes only a changed value, so that a value that follows its default keeps following it.
    static void assign(QObject *object, const QMetaProperty &property, const QVariant &value)
    {
        if (property.read(object) != value)
            property.write(object, value);
    }

    void readValue(const SettingsSection &section, const QString &name, QObject *object, const QMetaProperty &property,
                   Form form) const
    {
        switch (form) {
        case Form::TextList: {
            const SettingsSection list = section.sub(name);
            const auto count = intOf(list.value(QStringLiteral("Count")));
            if (!count || *count <= 0)
                return;
            // Never more than the store holds: a count beyond its items ends with them.
            QStringList entries;
            for (int i = 0; i < std::min(*count, kLongestList); ++i) {
                const auto entry = list.value(QStringLiteral("Item%1").arg(i));
                if (!entry)
                    break;
                entries << *entry;
            }
            assign(object, property, entries);
            return;
        }
        case Form::Font: {
            TFontValues font = fontValues(object, property);
            readObject(section, name, &font);
            assign(object, property, QVariant::fromValue(font.font()));
            const QMetaProperty color = colorOfFont(object, property);
            if (color.isValid())
                assign(object, color, QVariant::fromValue(font.color()));
            return;
        }
        case Form::Object: readObject(section, name, objectOf(property, object)); return;
        case Form::Collection: {
            Collection collection(objectOf(property, object));
            // A count that cannot be read leaves the present items; it would otherwise drop them all.
            // Capped: each item is built, laid out and written back, and the count may be any number.
            const int count
                = std::min(intOf(section.value(name + QStringLiteral(".Count"))).value_or(collection.count()),
                           collection.largestCount());
            const SettingsSection items = section.sub(name);
            // Items take their defaults from what they are bound to, so they are bound first and the
            // rest is read once the collection has laid itself out on the new bindings.
            for (bool binding : {true, false}) {
                collection.beginUpdate();
                struct End
                {
                    Collection &collection;
                    ~End() { collection.endUpdate(); }
                } end{collection};
                if (binding && count >= 0 && count != collection.count())
                    collection.recreate(count);
                for (int i = 0; i < collection.count(); ++i)
                    readObject(items, QStringLiteral("Item%1_").arg(i), collection.item(i),
                               binding ? Collection::Binding : nullptr);
            }
            return;
        }
        case Form::Reference: {
            const auto text = section.value(name);
            if (!text)
                return;
            const QString wanted = text->trimmed();
            QObject *other = nullptr;
            if (wanted.compare(kNull, Qt::CaseInsensitive) != 0) {
                other = m_form->findChild<QObject *>(wanted);
                const QMetaObject *type = property.metaType().metaObject();
                if (!other || (type && !type->cast(other)))
                    return;
            }
            assign(object, property, QVariant(property.metaType(), &other));
            return;
        }
        default: {
            const auto text = section.value(name);
            if (!text)
                return;
            const auto value = valueOf(form, property, *text);
            if (value && textOf(form, property, *value) != textOf(form, property, property.read(object)))
                property.write(object, *value);
            return;
        }
        }
    }

    QWidget *m_form;
    int m_pixelsPerInch;
};

QString formSection(const QWidget *form)
{
    const QString name = QString::fromLatin1(form->metaObject()->className());
    return name.mid(name.lastIndexOf(QLatin1Char(':')) + 1);
}

}  // namespace

TFormStorage::TFormStorage(QWidget *form) : QObject(form), m_form(form), m_keyPath(defaultKeyPath()) { }

QString TFormStorage::defaultKeyPath()
{
    return QStringLiteral("\\Software\\") + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString TFormStorage::section() const
{
    return formSection(m_form);
}

void TFormStorage::restore()
{
    const std::unique_ptr<QSettings> settings = SettingsStore::open();
    const QString key = SettingsStore::group(m_keyPath);
    SettingsSection form(*settings, key + QLatin1Char('/') + section());
    // Settings of an older version are not used; the next save replaces them.
    m_restored = true;
    m_saved = false;
    if (intOf(form.value(QStringLiteral("FormVersion"))).value_or(0) < m_version)
        return;
    restorePlacement(form);
    const PropertyStore properties(m_form);
    for (const QString &path : m_storedProps) {
        if (const auto target = properties.resolve(path))
            properties.read(form, target->valueName, target->object, target->property, target->form);
    }
}

void TFormStorage::saveOnClose()
{
    save(false);
}

void TFormStorage::saveOnDestroy()
{
    if (!m_saved)
        save(true);
}

void TFormStorage::save(bool visible)
{
    if (!m_restored)
        return;
    m_saved = true;
    try {
        const QString refused = SettingsStore::refusal();
        if (!refused.isEmpty()) {
            dialogs().error(m_form, QStringLiteral("The window's settings could not be saved: %1.").arg(refused));
            return;
        }
        const std::unique_ptr<QSettings> settings = SettingsStore::open();
        SettingsSection form(*settings, SettingsStore::group(m_keyPath) + QLatin1Char('/') + section());
        form.setValue(QStringLiteral("FormVersion"), QString::number(m_version));
        savePlacement(form);
        form.setValue(QStringLiteral("Visible"), visible ? QStringLiteral("1") : QStringLiteral("0"));
        const PropertyStore properties(m_form);
        for (const QString &path : m_storedProps) {
            if (const auto target = properties.resolve(path))
                properties.write(form, target->valueName, target->object, target->property, target->form);
        }
        settings->sync();
        if (settings->status() != QSettings::NoError) {
            dialogs().error(m_form,
                            QStringLiteral("The window's settings could not be saved: %1 %2.")
                                .arg(QDir::toNativeSeparators(settings->fileName()),
                                     settings->status() == QSettings::AccessError
                                         ? QStringLiteral("cannot be written")
                                         : QStringLiteral("is no settings file")));
        }
    } catch (const std::exception &error) {
        dialogs().error(m_form, QString::fromLocal8Bit(error.what()));
    }
}

namespace {

// The window's frame around its client area, once the window manager has framed it. Before that
// the frame reads as nothing or as a rectangle that does not hold the client area (1 x 1 on X11
// while the window is being mapped); guessed from such a reading, the window would grow by the
// difference.
std::optional<QMargins> knownFrame(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    if (frame == client || !frame.contains(client))
        return std::nullopt;
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

// The window's normal rectangle with its frame, as the platform's placement gives it.
QRect outerNormalRect(const QWidget *window)
{
    return window->normalGeometry().marginsAdded(knownFrame(window).value_or(QMargins()));
}

// The rectangle made no larger than the available area of the screen it lies on.
QRect withinAvailableArea(const QRect &rect)
{
    const QScreen *screen = QGuiApplication::screenAt(rect.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return rect;
    return QRect(rect.topLeft(), rect.size().boundedTo(screen->availableGeometry().size()));
}

// True when more than half of the rectangle lies on the screens present now: a rectangle left
// on a monitor since removed would open the window out of sight.
bool mostlyOnAScreen(const QRect &rect)
{
    qint64 shown = 0;
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect part = rect.intersected(screen->geometry());
        if (!part.isEmpty())
            shown += qint64(part.width()) * part.height();
    }
    return shown * 2 > qint64(rect.width()) * rect.height();
}

}  // namespace

void TFormStorage::restorePlacement(SettingsSection &form)
{
    const QString screenName = screenSizeName();
    auto placementValue = [&](const QString &name) -> std::optional<std::array<int, 4>> {
        for (const QString &key : {name + screenName, name}) {
            const auto text = form.value(key);
            if (text && !text->trimmed().isEmpty()) {
                if (const auto numbers = fourOf(text))
                    return numbers;
            }
        }
        return std::nullopt;
    };
    const int flags = intOf(form.value(QStringLiteral("Flags"))).value_or(m_flags);
    const auto minMax = placementValue(QStringLiteral("MinMaxPos"));
    const auto normal = placementValue(QStringLiteral("NormPos"));
    const int pixelsPerInch = screenPixelsPerInch();
    const int storedPixelsPerInch = intOf(form.value(QStringLiteral("PixelsPerInch"))).value_or(pixelsPerInch);
    QRect rect = outerNormalRect(m_form);
    if (normal)
        rect = QRect(QPoint((*normal)[0], (*normal)[1]), QPoint((*normal)[2] - 1, (*normal)[3] - 1));
    if ((minMax || normal) && storedPixelsPerInch == pixelsPerInch && rect.isValid()) {
        if (mostlyOnAScreen(rect)) {
            applyOuterRect(rect);
            // Before the window manager has framed the window its frame is not known; taken as
            // nothing, the window would grow by its frame on every start.
            if (!knownFrame(m_form) && !m_pendingOuter) {
                m_pendingOuter = rect;
                m_form->installEventFilter(this);
            }
        }
        if (minMax) {
            m_minPosition = QPoint((*minMax)[0], (*minMax)[1]);
            m_maxPosition = QPoint((*minMax)[2], (*minMax)[3]);
        }
        m_flags = flags;
    }

    Qt::WindowStates state = m_form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (intOf(form.value(QStringLiteral("ShowCmd"))).value_or(0)) {
    case 2:
    case 6:
    case 7:
        state |= Qt::WindowMinimized;
        if (m_flags & WPF_RESTORETOMAXIMIZED)
            state |= Qt::WindowMaximized;
        break;
    case 3: state |= Qt::WindowMaximized; break;
    default: break;
    }
    m_form->setWindowState(state);
}

void TFormStorage::applyOuterRect(const QRect &stored)
{
    const QRect rect = withinAvailableArea(stored);
    const QMargins frame = knownFrame(m_form).value_or(QMargins());
    m_form->move(rect.topLeft());
    m_form->resize(rect.size().shrunkBy(frame));
}

bool TFormStorage::eventFilter(QObject *watched, QEvent *event)
{
    // The frame becomes known when the window manager takes the window, which need not move or
    // resize it: the first paint or activation after that tells as well.
    const QEvent::Type type = event->type();
    const bool placed
        = type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint || type == QEvent::WindowActivate;
    if (watched == m_form && m_pendingOuter && placed && knownFrame(m_form)) {
        const QRect rect = *std::exchange(m_pendingOuter, std::nullopt);
        m_form->removeEventFilter(this);
        if (!(m_form->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            applyOuterRect(rect);
    }
    return QObject::eventFilter(watched, event);
}

void TFormStorage::savePlacement(SettingsSection &form) const
{
    const Qt::WindowStates state = m_form->windowState();
    int flags = m_flags & WPF_SETMINPOSITION;
    if (state.testFlag(Qt::WindowMinimized) && state.testFlag(Qt::WindowMaximized))
        flags |= WPF_RESTORETOMAXIMIZED;
    const int showCmd = state.testFlag(Qt::WindowMinimized) ? 2 : state.testFlag(Qt::WindowMaximized) ? 3 : 1;
    const QRect normal = outerNormalRect(m_form);
    const QString minMax = fourText(m_minPosition.x(), m_minPosition.y(), m_maxPosition.x(), m_maxPosition.y());
    const QString normPos = fourText(normal.left(), normal.top(), normal.right() + 1, normal.bottom() + 1);
    const QString screenName = screenSizeName();
    form.setValue(QStringLiteral("Flags"), QString::number(flags));
    form.setValue(QStringLiteral("ShowCmd"), QString::number(showCmd));
    form.setValue(QStringLiteral("PixelsPerInch"), QString::number(screenPixelsPerInch()));
    form.setValue(QStringLiteral("MinMaxPos"), minMax);
    form.setValue(QStringLiteral("NormPos"), normPos);
    form.setValue(QStringLiteral("MinMaxPos") + screenName, minMax);
    form.setValue(QStringLiteral("NormPos") + screenName, normPos);
}

}  // namespace kelvara
