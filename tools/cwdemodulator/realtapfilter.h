#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace cw {

/// A FIR filter with real taps on complex samples, the shape of every filter of the CW front
/// end (a real low-pass on the baseband). The samples are kept in one contiguous run, so each
/// output is a single dot product; the dot product keeps several partial sums, which lets it
/// run on vector registers (the distribution's liquid-dsp has none of its SIMD dot products).
/// Life: create with the taps, Push() samples, Output() whenever an output is due (or Apply()
/// to samples kept elsewhere).
class RealTapFilter
{
public:
    /// @p taps in time order: taps[0] weighs the newest sample. The window starts at zero.
    explicit RealTapFilter(const std::vector<float>& taps);

    void Push(std::complex<float> sample)
    {
        if (m_nEnd == m_window.size())
            rewind();
        m_window[m_nEnd++] = sample;
    }
    /// Pushes @p sample and writes the output with it to @p pOut (Push() then Output(),
    /// without Output()'s check for a filter that has no samples yet).
    void Next(std::complex<float> sample, std::complex<float>* pOut)
    {
        Push(sample);
        ApplyTo(m_window.data() + (m_nEnd - m_nLength), pOut);
    }
    /// The filter's output for the samples pushed so far.
    std::complex<float> Output() const
    {
        if (m_window.empty())
            return {};
        return Apply(m_window.data() + (m_nEnd - m_nLength));
    }
    /// The output for Length() samples of the caller's, from @p pOldest on: a decimator
    /// computes only the outputs it keeps, straight from its own buffer.
    std::complex<float> Apply(const std::complex<float>* pOldest) const
    {
        std::complex<float> output;
        ApplyTo(pOldest, &output);
        return output;
    }
    /// Apply() times @p fScale, written to @p pOut in one store. A std::complex<float>
    /// returned from a call is put together from parts stored apart and loaded at once, and
    /// the load waits until the stores are written out: per output, that cost more than the
    /// dot product.
    void ApplyTo(const std::complex<float>* pOldest, std::complex<float>* pOut,
                 float fScale = 1.0f) const;
    size_t Length() const { return m_nLength; }

private:
    /// Moves the window back to the start of its buffer; the first time, makes the buffer.
    void rewind();

    size_t m_nLength;
    std::vector<float> m_taps; ///< reversed (oldest sample first), each tap twice: re, im
    /// The newest m_nLength samples end at m_nEnd. Made at the first Push(): a decimator
    /// only ever calls Apply().
    std::vector<std::complex<float>> m_window;
    size_t m_nEnd = 0;
};

} // namespace cw
