#include "tools/morsedsp/fouriertransform.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when included from C++.
#include <liquid/liquid.h>

#include <mutex>

namespace dsp {

namespace {

/// Plan creation fills liquid-dsp's shared tables; one plan is made or freed at a time.
std::mutex& planLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

FourierTransform::FourierTransform(size_t nSize) : m_input(nSize), m_output(nSize)
{
    const std::lock_guard<std::mutex> guard(planLock());
    m_pPlan =
        fft_create_plan(unsigned(nSize), m_input.data(), m_output.data(), LIQUID_FFT_FORWARD, 0);
}

FourierTransform::~FourierTransform()
{
    const std::lock_guard<std::mutex> guard(planLock());
    fft_destroy_plan(static_cast<fftplan>(m_pPlan));
}

void FourierTransform::Execute()
{
    fft_execute(static_cast<fftplan>(m_pPlan));
}

} // namespace dsp
