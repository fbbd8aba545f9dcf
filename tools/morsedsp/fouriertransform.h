#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace dsp {

/// A forward complex discrete Fourier transform of one fixed size, computed by liquid-dsp.
/// Fill Input(), call Execute(), read Output(). Plans are made and freed under one lock, so
/// transforms may be created from several threads at once.
class FourierTransform
{
public:
    explicit FourierTransform(size_t nSize);
    ~FourierTransform();
    FourierTransform(const FourierTransform&) = delete;
    FourierTransform& operator=(const FourierTransform&) = delete;

    size_t Size() const { return m_input.size(); }
    std::complex<float>* Input() { return m_input.data(); }
    const std::complex<float>* Output() const { return m_output.data(); }
    /// Transforms the input into the output.
    void Execute();

private:
    std::vector<std::complex<float>> m_input;
    std::vector<std::complex<float>> m_output;
    void* m_pPlan = nullptr;
};

} // namespace dsp
