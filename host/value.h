#pragma once

#include "host/valuebase.h"

namespace values {

/// A value of type T.
template <class T> class MORSEHOST_EXPORT Value : public ValueBase
{
public:
    Value() = default;
    explicit Value(const T& initial) : m_value(initial) {}

    T GetValue() const { return m_value; }
    /// Stores @p v and sends CHANGE_VALUE to every observer but @p skip, only when it differs
    /// from the value held before.
    void SetValue(const T& v, IObserver* skip)
    {
        if (m_value == v)
            return;
        m_value = v;
        HasChanged(CHANGE_VALUE, skip);
    }

protected:
    T m_value{};
};

} // namespace values
