#pragma once

#include "host/valuebase.h"

#include <QList>

namespace values {

/// A list of named items of which one (or none) is current.
class MORSEHOST_EXPORT ValueSelection : public ValueBase
{
public:
    /// One entry of the list: its name and the two numbers the host attaches to it.
    struct Item
    {
        QString name;
        double value;
        long key;
    };

    /// Removes every item; sends CHANGE_ITEMS to every observer but @p skip.
    void DeleteItems(IObserver* skip);
    /// Appends an item; sends CHANGE_ITEMS to every observer but @p skip.
    void AddItem(const QString& name, double value, long key, IObserver* skip);
    /// Makes the first item called @p name current and sends CHANGE_VALUE to every observer
    /// but @p skip; false, and nothing sent, when there is no such item.
    bool Select(const QString& name, IObserver* skip);
    /// The current item's name, empty if none.
    QString GetStringValue() const;
    /// The items in the order they were added.
    QList<Item> GetItems() const;

private:
    QList<Item> m_items;
    int m_nCurrent = -1;
};

} // namespace values
