#include "host/tree.h"

namespace values {

Tree* Tree::Instance()
{
    static Tree tree;
    return &tree;
}

Tree::~Tree()
{
    Clear();
}

ValueBase* Tree::FindValue(const QString& fullPath) const
{
    return m_hashValues.value(fullPath, nullptr);
}

bool Tree::InsertValue(const QString& parentPath, ValueBase* v)
{
    if (!v || v->GetName().isEmpty())
        return false;
    const QString path = parentPath + v->GetName();
    if (m_hashValues.contains(path))
        return false;
    m_hashValues.insert(path, v);
    m_lstOrder.append(path);
    return true;
}

bool Tree::RemoveValue(const QString& fullPath)
{
    ValueBase* value = m_hashValues.value(fullPath, nullptr);
    if (!value)
        return false;
    // Out of the tree first, so that an observer removing it again finds nothing; then the
    // observers forget it while it still exists.
    m_hashValues.remove(fullPath);
    m_lstOrder.removeOne(fullPath);
    value->SetState(VALUE_STATE_GOING_AWAY, nullptr);
    delete value;
    return true;
}

void Tree::Clear()
{
    while (!m_lstOrder.isEmpty())
        RemoveValue(m_lstOrder.last());
}

QStringList Tree::Paths() const
{
    return m_lstOrder;
}

} // namespace values
