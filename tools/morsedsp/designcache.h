#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace dsp {

/// Designs (filter taps, windows) made once per key and shared by every caller in the
/// process: a design costs more than filtering seconds of signal, and many filters take the
/// same one. A design is immutable once made; the lock lets several threads make filters at
/// once. With @p nKept above 0 the cache starts again when it holds that many designs and
/// another is asked for (for keys that follow a tracked value, such as a pass band).
template <typename Key> class DesignCache
{
public:
    using Design = std::shared_ptr<const std::vector<float>>;

    explicit DesignCache(size_t nKept = 0) : m_nKept(nKept) {}

    /// The design of @p key, made by @p make() (under the cache's lock) the first time.
    template <typename Make> Design Get(const Key& key, Make make)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_nKept > 0 && m_designs.size() >= m_nKept && m_designs.count(key) == 0)
            m_designs.clear();
        Design& design = m_designs[key];
        if (!design)
            design = std::make_shared<const std::vector<float>>(make());
        return design;
    }

private:
    std::mutex m_lock;
    const size_t m_nKept;
    std::map<Key, Design> m_designs;
};

} // namespace dsp
