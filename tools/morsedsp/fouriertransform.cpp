#include "tools/morsedsp/fouriertransform.h"

#include <kiss_fft.h>

#include <map>
#include <memory>
#include <utility>

namespace dsp {

// KissFFT's complex sample is two floats, real then imaginary, laid out as std::complex<float>.
static_assert(sizeof(kiss_fft_cpx) == sizeof(std::complex<float>),
              "kiss_fft_cpx and std::complex<float> must share their layout");

FourierTransform::FourierTransform(size_t nSize, bool bInverse) : m_input(nSize), m_output(nSize)
{
    // The configuration is the transform's own memory: making one touches no shared state,
    // so transforms may be made on several threads at once.
    m_pPlan = kiss_fft_alloc(int(nSize), bInverse ? 1 : 0, nullptr, nullptr);
}

FourierTransform::~FourierTransform()
{
    kiss_fft_free(m_pPlan);
}

FourierTransform& FourierTransform::Shared(size_t nSize, bool bInverse)
{
    thread_local std::map<std::pair<size_t, bool>, std::unique_ptr<FourierTransform>> kept;
    std::unique_ptr<FourierTransform>& transform = kept[{nSize, bInverse}];
    if (!transform)
        transform = std::make_unique<FourierTransform>(nSize, bInverse);
    return *transform;
}

void FourierTransform::Execute()
{
    kiss_fft(static_cast<kiss_fft_cfg>(m_pPlan),
             reinterpret_cast<const kiss_fft_cpx*>(m_input.data()),
             reinterpret_cast<kiss_fft_cpx*>(m_output.data()));
}

} // namespace dsp
