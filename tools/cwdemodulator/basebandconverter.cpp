#include "tools/cwdemodulator/basebandconverter.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when included from C++.
#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double BASEBAND_RATE = 1000.0;
constexpr float STOPBAND_DB = 60.0f;
constexpr float DC_BLOCKER_ALPHA = 0.002f;

iirfilt_rrrf dcBlocker(void* p)
{
    return static_cast<iirfilt_rrrf>(p);
}
nco_crcf oscillator(void* p)
{
    return static_cast<nco_crcf>(p);
}
firdecim_crcf decimator(void* p)
{
    return static_cast<firdecim_crcf>(p);
}

} // namespace

int BasebandConverter::DecimationFor(double dSampleRate)
{
    return std::max(2, int(std::lround(dSampleRate / BASEBAND_RATE)));
}

BasebandConverter::BasebandConverter(double dSampleRate, double dPitchHz)
    : m_dSampleRate(dSampleRate), m_nDecimation(DecimationFor(dSampleRate))
{
    m_pDcBlocker = iirfilt_rrrf_create_dc_blocker(DC_BLOCKER_ALPHA);
    nco_crcf nco = nco_crcf_create(LIQUID_NCO);
    nco_crcf_set_frequency(nco, float(2.0 * PI * dPitchHz / dSampleRate));
    m_pOscillator = nco;
    firdecim_crcf decim =
        firdecim_crcf_create_kaiser(unsigned(m_nDecimation), FILTER_DELAY, STOPBAND_DB);
    firdecim_crcf_set_scale(decim, 1.0f / float(m_nDecimation));
    m_pDecimator = decim;
    m_real.resize(CHUNK);
    m_mixed.resize(CHUNK + size_t(m_nDecimation));
    m_decimated.resize(CHUNK / size_t(m_nDecimation) + 2);
}

BasebandConverter::~BasebandConverter()
{
    firdecim_crcf_destroy(decimator(m_pDecimator));
    nco_crcf_destroy(oscillator(m_pOscillator));
    iirfilt_rrrf_destroy(dcBlocker(m_pDcBlocker));
}

void BasebandConverter::Process(const float* pSamples, size_t nCount,
                                std::vector<std::complex<float>>& out)
{
    const size_t decimation = size_t(m_nDecimation);
    while (nCount > 0) {
        const size_t take = std::min(nCount, CHUNK);
        iirfilt_rrrf_execute_block(dcBlocker(m_pDcBlocker), const_cast<float*>(pSamples),
                                   unsigned(take), m_real.data());
        std::complex<float>* mixed = m_mixed.data() + m_nPending;
        for (size_t i = 0; i < take; ++i)
            mixed[i] = std::complex<float>(m_real[i], 0.0f);
        nco_crcf_mix_block_down(oscillator(m_pOscillator), mixed, mixed, unsigned(take));
        m_nPending += take;
        const size_t outputs = m_nPending / decimation;
        if (outputs > 0) {
            firdecim_crcf_execute_block(decimator(m_pDecimator), m_mixed.data(), unsigned(outputs),
                                        m_decimated.data());
            out.insert(out.end(), m_decimated.begin(),
                       m_decimated.begin() + std::ptrdiff_t(outputs));
            const size_t used = outputs * decimation;
            std::copy(m_mixed.begin() + std::ptrdiff_t(used),
                      m_mixed.begin() + std::ptrdiff_t(m_nPending), m_mixed.begin());
            m_nPending -= used;
        }
        pSamples += take;
        nCount -= take;
    }
}

} // namespace cw
