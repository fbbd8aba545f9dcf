#include "tools/cwdemodulator/nodelist.h"

namespace cw {

void NodeList::Add(int nNode)
{
    if (!m_listed[size_t(nNode)]) {
        m_listed[size_t(nNode)] = true;
        m_nodes.push_back(nNode);
    }
}

void NodeList::Expire(const std::vector<qint64>& alive, qint64 nOldest)
{
    // Order is kept, so that ties between equal scores always go the same way.
    size_t kept = 0;
    for (int node : m_nodes) {
        if (alive[size_t(node)] >= nOldest)
            m_nodes[kept++] = node;
        else
            m_listed[size_t(node)] = false;
    }
    m_nodes.resize(kept);
}

void NodeList::Clear()
{
    for (int node : m_nodes)
        m_listed[size_t(node)] = false;
    m_nodes.clear();
}

} // namespace cw
