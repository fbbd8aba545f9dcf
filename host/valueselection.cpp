#include "host/valueselection.h"

namespace values {

void ValueSelection::DeleteItems(IObserver* skip)
{
    m_items.clear();
    m_nCurrent = -1;
    HasChanged(CHANGE_ITEMS, skip);
}

void ValueSelection::AddItem(const QString& name, double value, long key, IObserver* skip)
{
    m_items.append(Item{name, value, key});
    HasChanged(CHANGE_ITEMS, skip);
}

bool ValueSelection::Select(const QString& name, IObserver* skip)
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).name == name) {
            m_nCurrent = i;
            HasChanged(CHANGE_VALUE, skip);
            return true;
        }
    }
    return false;
}

QString ValueSelection::GetStringValue() const
{
    return m_nCurrent >= 0 && m_nCurrent < m_items.size() ? m_items.at(m_nCurrent).name : QString();
}

QList<ValueSelection::Item> ValueSelection::GetItems() const
{
    return m_items;
}

} // namespace values
