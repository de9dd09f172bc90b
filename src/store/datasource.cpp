#include "store/datasource.h"

#include "store/field.h"
#include "store/table.h"

#include <QScopedValueRollback>

namespace kelvara {

DataSource::DataSource(QObject *parent) : QObject(parent)
{
    // So that dataChanged can be queued, spied on or connected by name.
    qRegisterMetaType<kelvara::Field *>("kelvara::Field*");
}

DataSource::~DataSource()
{
    setDataSet(nullptr);
    for (DataLink *link : std::as_const(m_links))
        link->m_source = nullptr;
}

void DataSource::setDataSet(Table *table)
{
    if (table == m_dataSet)
        return;
    if (m_dataSet)
        m_dataSet->detach(this);
    m_dataSet = table;
    if (m_dataSet)
        m_dataSet->attach(this);
    for (DataLink *link : std::as_const(m_links))
        link->updateState();
    Q_EMIT stateChanged();
}

DataSetState DataSource::state() const
{
    return m_dataSet ? m_dataSet->state() : dsInactive;
}

void DataSource::dataEvent(DataEvent event, Field *field)
{
    // Links may attach or detach while being told. The walk goes over a copy, which shares the
    // list's data until the list changes; only then is each link looked for before it is told.
    const QList<DataLink *> links = m_links;
    const auto stillLinked
        = [&](DataLink *link) { return m_links.constData() == links.constData() || m_links.contains(link); };
    if (event == DataEvent::UpdateState) {
        for (DataLink *link : links) {
            if (stillLinked(link))
                link->updateState();
        }
        Q_EMIT stateChanged();
        return;
    }
    if (state() == dsInactive)
        return;
    for (DataLink *link : links) {
        if (!stillLinked(link))
            continue;
        int distance = 0;
        if (event == DataEvent::DataSetScroll || event == DataEvent::DataSetChange || event == DataEvent::LayoutChange)
            distance = m_dataSet->syncLink(link, event == DataEvent::DataSetScroll);
        link->dataEvent(event, field, distance);
    }
    switch (event) {
    case DataEvent::FieldChange: Q_EMIT dataChanged(field); break;
    case DataEvent::RecordChange:
    case DataEvent::DataSetChange:
    case DataEvent::DataSetScroll:
    case DataEvent::LayoutChange: Q_EMIT dataChanged(nullptr); break;
    case DataEvent::UpdateRecord: Q_EMIT updateData(); break;
    default: break;
    }
}

DataLink::DataLink() = default;

DataLink::~DataLink()
{
    setDataSource(nullptr);
}

void DataLink::setDataSource(DataSource *source)
{
    if (source == m_source)
        return;
    if (m_source)
        m_source->m_links.removeAll(this);
    m_source = source;
    if (m_source)
        m_source->m_links.append(this);
    updateState();
}

Table *DataLink::dataSet() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

void DataLink::setReadOnly(bool readOnly)
{
    if (m_readOnly == readOnly)
        return;
    m_readOnly = readOnly;
    updateState();
}

void DataLink::setBufferCount(int count)
{
    count = qMax(1, count);
    if (count == m_bufferCount)
        return;
    m_bufferCount = count;
    if (Table *table = dataSet(); table && m_active)
        table->syncLink(this, false);
}

int DataLink::recordCount() const
{
    const Table *table = dataSet();
    if (!m_active || !table)
        return 0;
    return qBound(0, table->sequenceCount() - m_first, m_bufferCount);
}

int DataLink::activeRecord() const
{
    if (m_activeIndex >= 0)
        return m_activeIndex;
    const Table *table = dataSet();
    if (!m_active || !table || table->m_pos < 0)
        return 0;
    return table->m_pos - m_first;
}

void DataLink::setActiveRecord(int index)
{
    Table *table = dataSet();
    if (!m_active || !table)
        return;
    table->selectBuffer(this, index);
    const int natural = table->m_pos - m_first;
    m_activeIndex = index == natural ? -1 : index;
}

void DataLink::restoreActiveRecord(int index) noexcept
{
    try {
        setActiveRecord(index);
    } catch (...) {
        if (Table *table = dataSet(); table && m_active) {
            table->m_override.reset();
            m_activeIndex = -1;
        }
    }
}

bool DataLink::edit()
{
    Table *table = dataSet();
    if (!m_active || m_readOnly || !table)
        return false;
    if (!m_editing) {
        if (!table->canModify())
            return false;
        table->edit();
    }
    return m_editing;
}

void DataLink::updateRecord()
{
    const QScopedValueRollback<bool> updating(m_updating, true);
    updateData();
}

void DataLink::dataSetScrolled(int distance)
{
    Q_UNUSED(distance);
    dataSetChanged();
}

void DataLink::updateState()
{
    const Table *table = dataSet();
    const bool active = table && table->active();
    const bool editing = active && !m_readOnly && (table->state() == dsEdit || table->state() == dsInsert);
    if (active != m_active) {
        m_active = active;
        if (active) {
            m_first = 0;
            m_lastActive = 0;
            table->syncLink(this, false);
        }
        activeChanged();
    }
    if (editing != m_editing) {
        m_editing = editing;
        editingChanged();
    }
}

void DataLink::dataEvent(DataEvent event, Field *field, int distance)
{
    // A write-back request also reaches links while controls are suspended; it must not make
    // them report a state change the suspension holds back.
    if (event != DataEvent::UpdateRecord)
        updateState();
    switch (event) {
    case DataEvent::FieldChange:
    case DataEvent::RecordChange:
        // A link writing its own value back is not told of the change it makes.
        if (!m_updating)
            recordChanged(event == DataEvent::FieldChange ? field : nullptr);
        break;
    case DataEvent::DataSetChange: dataSetChanged(); break;
    case DataEvent::DataSetScroll: dataSetScrolled(distance); break;
    case DataEvent::LayoutChange: layoutChanged(); break;
    case DataEvent::UpdateRecord: updateRecord(); break;
    case DataEvent::CheckBrowseMode: checkBrowseMode(); break;
    case DataEvent::UpdateState: break;
    }
}

}  // namespace kelvara
