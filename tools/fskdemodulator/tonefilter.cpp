#include "tools/fskdemodulator/tonefilter.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when included from C++.
#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>

namespace fsk {

namespace {

constexpr double PI = 3.14159265358979323846;

nco_crcf oscillator(void* p)
{
    return static_cast<nco_crcf>(p);
}

} // namespace

ToneFilter::ToneFilter(double dFrequencyHz, double dSampleRate, size_t nLength)
    : m_pOscillator(nco_crcf_create(LIQUID_NCO)), m_dFrequencyHz(dFrequencyHz),
      m_ring(std::max<size_t>(1, nLength)), m_fScale(2.0f / float(m_ring.size()))
{
    nco_crcf_set_frequency(oscillator(m_pOscillator), float(2.0 * PI * dFrequencyHz / dSampleRate));
}

ToneFilter::~ToneFilter()
{
    nco_crcf_destroy(oscillator(m_pOscillator));
}

float ToneFilter::Push(float fSample)
{
    std::complex<float> mixed;
    nco_crcf_mix_down(oscillator(m_pOscillator), std::complex<float>(fSample, 0.0f), &mixed);
    nco_crcf_step(oscillator(m_pOscillator));
    std::complex<float>& oldest = m_ring[m_nNext];
    m_sum += std::complex<double>(mixed) - std::complex<double>(oldest);
    oldest = mixed;
    if (++m_nNext == m_ring.size())
        m_nNext = 0;
    return float(std::abs(m_sum)) * m_fScale;
}

void ToneFilter::Clear()
{
    std::fill(m_ring.begin(), m_ring.end(), std::complex<float>());
    m_sum = 0.0;
    m_nNext = 0;
}

} // namespace fsk
