#include "tools/fskdemodulator/tonefilter.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>

namespace fsk {

namespace {

/// The oscillator is brought back to unit length this often (samples), against rounding.
constexpr unsigned RENORMALISE_EVERY = 1024;

} // namespace

ToneFilter::ToneFilter(double dFrequencyHz, double dSampleRate, size_t nLength)
    : m_dFrequencyHz(dFrequencyHz), m_dSampleRate(dSampleRate),
      m_step(std::polar(1.0, -dsp::TWO_PI * dFrequencyHz / dSampleRate)),
      m_ring(std::max<size_t>(1, nLength)), m_fScale(2.0f / float(m_ring.size()))
{
}

float ToneFilter::Push(float fSample)
{
    // A recursive oscillator: one complex multiplication per sample, renormalised now and
    // then; the per-sample cost decides the real-time factor.
    const std::complex<float> mixed(float(m_phasor.real()) * fSample,
                                    float(m_phasor.imag()) * fSample);
    m_phasor *= m_step;
    if (++m_nSinceRenormalise == RENORMALISE_EVERY) {
        m_phasor /= std::abs(m_phasor);
        m_nSinceRenormalise = 0;
    }
    std::complex<float>& oldest = m_ring[m_nNext];
    m_sumRe += double(mixed.real()) - double(oldest.real());
    m_sumIm += double(mixed.imag()) - double(oldest.imag());
    oldest = mixed;
    if (++m_nNext == m_ring.size())
        m_nNext = 0;
    return float(std::sqrt(m_sumRe * m_sumRe + m_sumIm * m_sumIm)) * m_fScale;
}

void ToneFilter::Retune(double dFrequencyHz)
{
    m_dFrequencyHz = dFrequencyHz;
    m_step = std::polar(1.0, -dsp::TWO_PI * dFrequencyHz / m_dSampleRate);
}

void ToneFilter::Clear()
{
    std::fill(m_ring.begin(), m_ring.end(), std::complex<float>());
    m_sumRe = 0.0;
    m_sumIm = 0.0;
    m_nNext = 0;
}

} // namespace fsk
