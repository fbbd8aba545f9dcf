#pragma once

#include "host/values.h"

#include <QString>

namespace morse {

/// A value of the tree that a class uses without observing it, so that it never hears of the
/// value going away. It is looked up again on every use: once the host has removed it, get()
/// gives null and the removed value is never touched.
template <class T> class UnobservedValue
{
public:
    /// Looks @p strPath up; the role stays empty when the path does not hold a T.
    void bind(const QString& strPath)
    {
        m_strPath = strPath;
        values::Tree* pTree = values::Tree::Instance();
        values::ValueBase* pFound = pTree ? pTree->FindValue(strPath) : nullptr;
        m_pValue = dynamic_cast<T*>(pFound) ? pFound : nullptr;
    }
    void reset()
    {
        m_strPath.clear();
        m_pValue = nullptr;
    }
    /// The value, if it is still the one at the bound path.
    T* get() const
    {
        if (!m_pValue)
            return nullptr;
        values::Tree* pTree = values::Tree::Instance();
        if (!pTree || pTree->FindValue(m_strPath) != m_pValue)
            return nullptr;
        return dynamic_cast<T*>(m_pValue);
    }

private:
    QString m_strPath;
    values::ValueBase* m_pValue = nullptr;
};

} // namespace morse
