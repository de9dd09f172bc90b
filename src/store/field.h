#pragma once

#include "store/fielddef.h"
#include "store/storetypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>

class QIODevice;

namespace kelvara {

class Table;
struct RecordBuffer;

// A field of an open table: its design, its display settings and the value it holds in the
// table's active record. Fields are owned by their table and live while it is open.
class Field
{
public:
    Field(Table *table, const FieldDef &def, int fieldNo);

    Table *dataSet() const { return m_table; }
    const QString &fieldName() const { return m_def.name; }
    int fieldNo() const { return m_fieldNo; }  // 1-based column of the stored design
    FieldType dataType() const { return m_def.type; }
    int size() const { return m_def.size; }
    FieldDef def() const { return m_def; }

    int index() const;  // position in the field list
    void setIndex(int index);

    QString displayLabel() const;
    void setDisplayLabel(const QString &label);
    QString displayName() const { return displayLabel(); }
    int displayWidth() const;
    void setDisplayWidth(int width);
    QString displayFormat() const { return m_def.displayFormat; }
    void setDisplayFormat(const QString &format);
    QString editMask() const { return m_def.editMask; }
    void setEditMask(const QString &mask);
    bool visible() const { return m_visible; }
    void setVisible(bool visible);
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);
    bool canModify() const;
    Alignment alignment() const { return m_alignment; }
    void setAlignment(Alignment alignment);

    // The field classes a data-aware control tells apart.
    bool isBlobField() const { return isBlobType(m_def.type); }
    bool isMemoField() const { return m_def.type == ftMemo; }
    bool isGraphicField() const { return m_def.type == ftGraphic; }
    bool isBooleanField() const { return m_def.type == ftBoolean; }
    bool isDateTimeField() const { return isDateTimeType(m_def.type); }
    bool isStringField() const { return m_def.type == ftString; }
    bool isNumericField() const { return isNumericType(m_def.type); }
    bool keepsBytesApart() const { return isBlobField() && !isMemoType(m_def.type); }

    // Values of the active record.
    bool isNull() const;
    QVariant value() const;  // null variant when null
    void setValue(const QVariant &value);
    QString asString() const;
    void setAsString(const QString &text);
    QString text() const { return asString(); }  // what an edit box shows and takes
    void setText(const QString &text) { setAsString(text); }
    QString displayText() const;
    // The display text appended to `out`: the same text, without a string of its own for
    // text fields, as writing every record of a table out needs.
    void appendDisplayText(QString &out) const;
    bool asBoolean() const;
    void setAsBoolean(bool value);
    int asInteger() const;
    void setAsInteger(int value);
    double asFloat() const;
    void setAsFloat(double value);
    QDateTime asDateTime() const;
    void setAsDateTime(const QDateTime &value);
    void clear();  // sets null

    // Converts a value to what this field stores, with the field's checks and messages,
    // without writing it anywhere.
    QVariant convert(const QVariant &value) const;
    // The integer conversion of this field's text, with its messages; empty text gives nullopt.
    std::optional<int> textToInteger(const QString &text) const;
    void checkRange(double value) const;

    // Blob access. Bytes are read from the store only when asked for.
    qint64 blobSize() const;
    QByteArray asBytes() const;
    // Tells versions of the stored bytes apart without reading them: it changes whenever the
    // bytes are replaced; 0 when none are stored, -1 while new bytes wait to be saved.
    qint64 blobRevision() const;
    void setAsBytes(const QByteArray &bytes);
    void loadFromFile(const QString &fileName);
    void loadFromStream(QIODevice &device);
    void saveToStream(QIODevice &device) const;
    // The range of an integer field's values.
    qint64 minValue() const;
    qint64 maxValue() const;

private:
    friend class Table;
    QVariant stored() const;
    QString textOf(const QVariant &value) const;
    void write(const QVariant &converted);
    QString blobDescription() const;
    QString formatNumber(double value) const;

    Table *m_table;
    FieldDef m_def;
    int m_fieldNo;
    bool m_visible = true;
    bool m_readOnly = false;
    Alignment m_alignment = taLeftJustify;
};

// The whole content of a file, failing with "Cannot open file %s. <reason>" or "Cannot read ...".
QByteArray readFileBytes(const QString &fileName);

// Converts a field value to an integer the way a variant assignment does, failing on null.
int variantToInteger(const QVariant &value);

}  // namespace kelvara
