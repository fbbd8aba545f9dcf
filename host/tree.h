#pragma once

#include "host/valuebase.h"

#include <QHash>
#include <QStringList>

namespace values {

/// The process-wide tree of named values, addressed by "/"-separated paths such as
/// "/Morse/Symbol". The tree owns the values inserted into it.
class MORSEHOST_EXPORT Tree
{
public:
    /// The process-wide tree; it lives until the process ends and is used from one thread.
    static Tree* Instance();

    /// The value at @p fullPath, or null.
    ValueBase* FindValue(const QString& fullPath) const;
    /// Inserts @p v as "parentPath + name"; @p parentPath ends in "/". Takes ownership on
    /// success; false (the caller keeps @p v) when the path is taken.
    bool InsertValue(const QString& parentPath, ValueBase* v);
    /// Sends the going-away notice (state 1), then deletes the value. False if absent.
    bool RemoveValue(const QString& fullPath);
    /// Removes every value, newest first.
    void Clear();
    /// Full paths of all values, in insertion order.
    QStringList Paths() const;

    /// Finds the value at @p fullPath as type V, or creates and inserts one; null when the
    /// path holds a value of another type.
    template <class V> V* FindOrInsert(const QString& fullPath)
    {
        if (ValueBase* existing = FindValue(fullPath))
            return dynamic_cast<V*>(existing);
        const int slash = fullPath.lastIndexOf('/');
        auto* value = new V;
        value->SetName(fullPath.mid(slash + 1), nullptr);
        if (!InsertValue(fullPath.left(slash + 1), value)) {
            delete value;
            return nullptr;
        }
        return value;
    }

private:
    Tree() = default;
    ~Tree();

    QHash<QString, ValueBase*> m_hashValues;
    QStringList m_lstOrder;
};

} // namespace values
