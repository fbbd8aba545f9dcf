#include "tools/cwdemodulator/basebandconverter.h"

#include "tools/morsedsp/dspconstants.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when included from C++.
#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

constexpr double BASEBAND_RATE = 1000.0;
constexpr float STOPBAND_DB = 60.0f;
/// Weight of each sample in the running mean that removes DC: about 60 ms at 8 kHz.
constexpr float DC_WEIGHT = 0.002f;
constexpr size_t PHASOR_TABLE = 4096;

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
    const double omega = dsp::TWO_PI * dPitchHz / dSampleRate;
    m_phasors.resize(PHASOR_TABLE);
    for (size_t i = 0; i < PHASOR_TABLE; ++i)
        m_phasors[i] = std::polar(1.0f, float(-omega * double(i)));
    m_tableStep = std::polar(1.0, -omega * double(PHASOR_TABLE));
    firdecim_crcf decim =
        firdecim_crcf_create_kaiser(unsigned(m_nDecimation), FILTER_DELAY, STOPBAND_DB);
    firdecim_crcf_set_scale(decim, 1.0f / float(m_nDecimation));
    m_pDecimator = decim;
    m_dcFree.resize(CHUNK);
    m_mixed.resize(CHUNK + size_t(m_nDecimation));
    m_decimated.resize(CHUNK / size_t(m_nDecimation) + 2);
}

BasebandConverter::~BasebandConverter()
{
    firdecim_crcf_destroy(decimator(m_pDecimator));
}

void BasebandConverter::Process(const float* pSamples, size_t nCount,
                                std::vector<std::complex<float>>& out)
{
    const size_t decimation = size_t(m_nDecimation);
    while (nCount > 0) {
        const size_t take = std::min(nCount, CHUNK);
        std::complex<float>* mixed = m_mixed.data() + m_nPending;
        float dc = m_fDcLevel;
        for (size_t i = 0; i < take; ++i) {
            dc += DC_WEIGHT * (pSamples[i] - dc);
            m_dcFree[i] = pSamples[i] - dc;
        }
        m_fDcLevel = dc;
        // Mix in runs that stay within the phasor table, so that the loop vectorises; the
        // products are written out because std::complex's check for infinities costs more
        // than the work.
        for (size_t done = 0; done < take;) {
            const size_t run = std::min(take - done, PHASOR_TABLE - m_nPhasorIndex);
            const std::complex<float>* phasor = m_phasors.data() + m_nPhasorIndex;
            const float sr = m_tableStartFloat.real();
            const float si = m_tableStartFloat.imag();
            const float* x = m_dcFree.data() + done;
            float* out = reinterpret_cast<float*>(mixed + done);
            for (size_t i = 0; i < run; ++i) {
                const float pr = phasor[i].real();
                const float pi = phasor[i].imag();
                out[2 * i] = x[i] * (sr * pr - si * pi);
                out[2 * i + 1] = x[i] * (sr * pi + si * pr);
            }
            done += run;
            m_nPhasorIndex += run;
            if (m_nPhasorIndex == PHASOR_TABLE) {
                m_nPhasorIndex = 0;
                m_tableStart *= m_tableStep;
                m_tableStart /= std::abs(m_tableStart);
                m_tableStartFloat = std::complex<float>(m_tableStart);
            }
        }
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
