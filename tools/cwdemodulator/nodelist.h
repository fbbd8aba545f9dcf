#pragma once

#include <QtGlobal>

#include <vector>

namespace cw {

/// The code-tree nodes worth searching, in the order they became so, each listed once: the
/// CwSegmenter's beam of marks and of gaps. A node leaves once it was last alive too long ago.
class NodeList
{
public:
    /// Room for nodes 0 .. @p nNodes - 1, none listed.
    explicit NodeList(int nNodes) : m_listed(size_t(nNodes), false) {}

    /// Lists @p nNode at the end, unless it is listed already.
    void Add(int nNode);
    /// Drops the nodes last alive (by @p alive, per node) before @p nOldest.
    void Expire(const std::vector<qint64>& alive, qint64 nOldest);
    void Clear();
    const std::vector<int>& Nodes() const { return m_nodes; }

private:
    std::vector<int> m_nodes;
    std::vector<bool> m_listed; ///< per node: in m_nodes
};

} // namespace cw
