#include "host/observable.h"

#include <algorithm>

IObserver::~IObserver() = default;

Observable::Observable() : m_pAlive(std::make_shared<bool>(true)) {}

Observable::~Observable()
{
    *m_pAlive = false;
}

void Observable::AddObserver(IObserver* o)
{
    if (!o || std::find(m_vecObservers.begin(), m_vecObservers.end(), o) != m_vecObservers.end())
        return;
    m_vecObservers.push_back(o);
}

void Observable::DeleteObserver(IObserver* o)
{
    auto it = std::find(m_vecObservers.begin(), m_vecObservers.end(), o);
    if (!o || it == m_vecObservers.end())
        return;
    if (m_nNotifyDepth > 0) {
        // A notice is walking the list: blank the slot so that indices stay valid.
        *it = nullptr;
        m_bNeedsCompaction = true;
    } else {
        m_vecObservers.erase(it);
    }
}

void Observable::HasChanged(TChangeCode code, IObserver* skip)
{
    const std::shared_ptr<bool> alive = m_pAlive;
    ++m_nNotifyDepth;
    // Index loop: observers added during the notice are told as well.
    for (size_t i = 0; i < m_vecObservers.size(); ++i) {
        IObserver* observer = m_vecObservers[i];
        if (!observer || observer == skip)
            continue;
        observer->Update(this, code);
        if (!*alive)
            return; // an observer deleted this subject
    }
    if (--m_nNotifyDepth == 0 && m_bNeedsCompaction)
        compactObservers();
}

int Observable::ObserverCount() const
{
    return static_cast<int>(std::count_if(m_vecObservers.begin(), m_vecObservers.end(),
                                          [](IObserver* o) { return o; }));
}

void Observable::compactObservers()
{
    m_vecObservers.erase(std::remove(m_vecObservers.begin(), m_vecObservers.end(), nullptr),
                         m_vecObservers.end());
    m_bNeedsCompaction = false;
}
