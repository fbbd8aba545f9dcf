#pragma once

#include "host/observable.h"
#include "host/valuebase.h"

#include <vector>

namespace morse {

/// One role of an observing class: the value of the tree it holds in that role, or null.
class BoundValueSlot
{
public:
    values::ValueBase* base() const { return m_pValue; }

protected:
    values::ValueBase* m_pValue = nullptr;
    friend class ValueBindings;
};

/// A role that holds a value of type @p T; reads like a pointer to it.
template <class T> class BoundValue : public BoundValueSlot
{
public:
    T* get() const { return static_cast<T*>(m_pValue); }
    operator T*() const { return get(); }
    T* operator->() const { return get(); }
};

/// The observed roles of one observer, and the rules they share: a value may serve several
/// roles and stays registered while any role holds it; a value going away is forgotten in every
/// role; the observer leaves every value when it is destroyed. Used by MorseHandler and
/// MappingDirectory.
class ValueBindings
{
public:
    /// The roles in @p roles belong to @p pObserver, which outlives these bindings.
    ValueBindings(IObserver* pObserver, std::vector<BoundValueSlot*> roles);

    /// Leaves the value of @p role, then holds @p pValue (may be null) in it and registers with
    /// it. The value left, when no role holds it any more (for owners to release), else null.
    values::ValueBase* bind(BoundValueSlot& role, values::ValueBase* pValue);
    /// Empties @p role; unregisters from its value unless another role holds it. The value left
    /// when no role holds it any more, else null.
    values::ValueBase* leave(BoundValueSlot& role);
    /// How many roles hold @p pValue.
    int roleCount(const Observable* pValue) const;
    /// The held value that is @p pSubject, or null.
    values::ValueBase* find(const Observable* pSubject) const;
    /// For a change of state: when @p pSubject is held and going away, unregisters from it and
    /// forgets it in every role. Whether it was forgotten.
    bool forgetIfGoingAway(const Observable* pSubject);
    /// Unregisters from every held value and empties every role.
    void leaveAll();

private:
    IObserver* m_pObserver;
    std::vector<BoundValueSlot*> m_vecRoles;
};

} // namespace morse
