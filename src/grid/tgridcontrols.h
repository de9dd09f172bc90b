#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace kelvara {

// One entry of a grid's hosted controls: the control of the grid's form that edits a field's cells.
class TGridControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString ControlName READ controlName WRITE setControlName)
    Q_PROPERTY(QString FieldName READ fieldName WRITE setFieldName)

public:
    using QObject::QObject;

    QString controlName() const { return m_controlName; }
    void setControlName(const QString &name) { m_controlName = name; }
    QString fieldName() const { return m_fieldName; }
    void setFieldName(const QString &name) { m_fieldName = name; }

    void assign(const TGridControl &other);

private:
    QString m_controlName;
    QString m_fieldName;
};

// The grid's hosted controls, in order.
class TGridControls : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~TGridControls() override;

    int count() const { return int(m_items.size()); }
    TGridControl *items(int index) const;
    TGridControl *add();
    void clear();
    // The first entry whose field name matches, ignoring case; nullptr when none does.
    TGridControl *controlForField(const QString &fieldName) const;
    // Makes this list a copy of other, entry by entry.
    void assign(const TGridControls &other);

private:
    std::vector<std::unique_ptr<TGridControl>> m_items;
};

}  // namespace kelvara
