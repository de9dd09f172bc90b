#include "grid/tgridcontrols.h"

namespace kelvara {

void TGridControl::assign(const TGridControl &other)
{
    m_controlName = other.m_controlName;
    m_fieldName = other.m_fieldName;
}

TGridControls::~TGridControls() = default;

TGridControl *TGridControls::items(int index) const
{
    return index >= 0 && index < count() ? m_items[size_t(index)].get() : nullptr;
}

TGridControl *TGridControls::add()
{
    m_items.push_back(std::make_unique<TGridControl>(this));
    return m_items.back().get();
}

void TGridControls::clear()
{
    m_items.clear();
}

TGridControl *TGridControls::controlForField(const QString &fieldName) const
{
    for (const auto &item : m_items) {
        if (item->fieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return item.get();
    }
    return nullptr;
}

void TGridControls::assign(const TGridControls &other)
{
    if (&other == this)
        return;
    m_items.resize(std::min(m_items.size(), other.m_items.size()));
    for (size_t i = 0; i < other.m_items.size(); ++i) {
        if (i >= m_items.size())
            add();
        m_items[i]->assign(*other.m_items[i]);
    }
}

}  // namespace kelvara
