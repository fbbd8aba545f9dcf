#pragma once

namespace fsk {

/// The typical size of the decided values: the mean of their magnitudes, plain over the first
/// bits, then moving over about 32. The CharacterFramer adds the value of every bit it
/// decides and measures the other values against it.
class DecisionSwing
{
public:
    void Add(float fValue);
    float Value() const { return m_fSwing; }

private:
    float m_fSwing = 0.0f;
    unsigned m_nDecided = 0; ///< bits decided, up to the swing's memory
};

} // namespace fsk
