#pragma once

#include "host/value.h"

#include <algorithm>

namespace values {

/// A number read without knowing its type.
class MORSEHOST_EXPORT IValueNumeric
{
public:
    virtual ~IValueNumeric() = default;
    /// The number, converted to double.
    virtual double GetDoubleValue() const = 0;
};

/// A number with limits and a step. Once limits are set, stored values are kept inside them.
template <class T> class MORSEHOST_EXPORT ValueNumeric : public Value<T>, public IValueNumeric
{
public:
    ValueNumeric() = default;
    explicit ValueNumeric(const T& initial) : Value<T>(initial) {}

    /// As Value::SetValue, with @p v first brought inside the limits when there are any.
    void SetValue(const T& v, IObserver* skip)
    {
        Value<T>::SetValue(m_bHasLimits ? std::clamp(v, m_min, m_max) : v, skip);
    }
    /// Sets the limits and step; sends CHANGE_LIMITS to every observer but @p skip.
    void SetMinMax(T min, T max, T step, IObserver* skip)
    {
        m_min = std::min(min, max);
        m_max = std::max(min, max);
        m_step = step;
        m_bHasLimits = true;
        this->HasChanged(CHANGE_LIMITS, skip);
    }
    T GetMin() const { return m_min; }
    T GetMax() const { return m_max; }
    T GetStep() const { return m_step; }
    double GetDoubleValue() const override { return static_cast<double>(this->m_value); }

private:
    T m_min{};
    T m_max{};
    T m_step{};
    bool m_bHasLimits = false;
};

} // namespace values
