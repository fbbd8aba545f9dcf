#include "tools/morsedsp/fouriertransform.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when included from C++.
#include <liquid/liquid.h>

#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace dsp {

namespace {

/// Plan creation fills liquid-dsp's shared tables; one plan is made or freed at a time.
std::mutex& planLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

FourierTransform::FourierTransform(size_t nSize, bool bInverse) : m_input(nSize), m_output(nSize)
{
    const std::lock_guard<std::mutex> guard(planLock());
    m_pPlan = fft_create_plan(unsigned(nSize), m_input.data(), m_output.data(),
                              bInverse ? LIQUID_FFT_BACKWARD : LIQUID_FFT_FORWARD, 0);
}

FourierTransform::~FourierTransform()
{
    const std::lock_guard<std::mutex> guard(planLock());
    fft_destroy_plan(static_cast<fftplan>(m_pPlan));
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
    fft_execute(static_cast<fftplan>(m_pPlan));
}

} // namespace dsp
