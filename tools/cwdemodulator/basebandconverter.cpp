#include "tools/cwdemodulator/basebandconverter.h"

#include "tools/cwdemodulator/realtapfilter.h"
#include "tools/morsedsp/designcache.h"
#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/kaiserlowpass.h"

#include <complex>

#include <algorithm>
#include <cmath>
#include <utility>

namespace cw {

namespace {

/// Weight of each sample in the running mean that removes DC: about 60 ms at 8 kHz.
constexpr float DC_WEIGHT = 0.002f;
constexpr float DC_KEEP = 1.0f - DC_WEIGHT;
constexpr size_t PHASOR_TABLE = 4096;

/// A Kaiser low-pass cutting at the output's Nyquist frequency, @p nDelay outputs long on
/// each side. The design (Bessel functions for every tap) costs more than converting seconds
/// of audio, and a skimmer makes a converter for every signal at the same decimation, so
/// each design is made once and shared.
std::shared_ptr<const std::vector<float>> decimatorTaps(int nDecimation, int nDelay)
{
    static dsp::DesignCache<std::pair<int, int>> designs;
    return designs.Get({nDecimation, nDelay}, [nDecimation, nDelay] {
        return dsp::kaiserLowPass(size_t(2 * nDecimation * nDelay + 1), 0.5f / float(nDecimation));
    });
}

} // namespace

int BasebandConverter::DecimationFor(double dSampleRate, double dBasebandRate)
{
    return std::max(2, int(std::lround(dSampleRate / dBasebandRate)));
}

BasebandConverter::BasebandConverter(double dSampleRate, double dPitchHz, double dBasebandRate)
    : m_dSampleRate(dSampleRate), m_nDecimation(DecimationFor(dSampleRate, dBasebandRate))
{
    const double omega = dsp::TWO_PI * dPitchHz / dSampleRate;
    m_phasors.resize(PHASOR_TABLE);
    for (size_t i = 0; i < PHASOR_TABLE; ++i)
        m_phasors[i] = std::polar(1.0f, float(-omega * double(i)));
    m_tableStep = std::polar(1.0, -omega * double(PHASOR_TABLE));
    m_pDecimator = std::make_unique<RealTapFilter>(*decimatorTaps(m_nDecimation, FILTER_DELAY));
    m_nHistory = m_pDecimator->Length() - 1;
    double decay = 1.0;
    for (float& power : m_dcDecay) {
        decay *= double(DC_KEEP);
        power = float(decay);
    }
    // The history starts out silent; the room for the samples grows with the blocks, which
    // a skimmer's channels give a frame at a time, far fewer than a CHUNK.
    m_mixed.resize(m_nHistory);
}

BasebandConverter::~BasebandConverter() = default;

void BasebandConverter::removeDc(const float* pSamples, size_t nCount, float* pOut)
{
    // The running mean, level = (1 - w) level + w x, is one long chain of dependent steps.
    // It is taken in groups of DC_GROUP samples at fixed places in the stream: the chain
    // runs from one group's level to the next in one step, and the group's own sum of
    // its samples, w x decayed, runs beside it. Every sample takes the same steps however
    // the input is cut into blocks, so the output does not depend on that either.
    float* out = pOut;
    size_t i = 0;
    for (; i < nCount && m_nDcPhase != 0; ++i)
        out[i] = pSamples[i] - stepDc(pSamples[i]);
    const float* decay = m_dcDecay;
    for (; i + DC_GROUP <= nCount; i += DC_GROUP) {
        float sum = 0.0f;
        float level = 0.0f;
        for (size_t k = 0; k < DC_GROUP; ++k) {
            sum = (k == 0 ? 0.0f : DC_KEEP * sum) + DC_WEIGHT * pSamples[i + k];
            level = decay[k] * m_fDcLevel + sum;
            out[i + k] = pSamples[i + k] - level;
        }
        m_fDcLevel = level;
    }
    for (; i < nCount; ++i)
        out[i] = pSamples[i] - stepDc(pSamples[i]);
}

float BasebandConverter::stepDc(float fSample)
{
    m_fDcSum = (m_nDcPhase == 0 ? 0.0f : DC_KEEP * m_fDcSum) + DC_WEIGHT * fSample;
    const float level = m_dcDecay[m_nDcPhase] * m_fDcLevel + m_fDcSum;
    if (++m_nDcPhase == DC_GROUP) {
        m_nDcPhase = 0;
        m_fDcLevel = level;
    }
    return level;
}

void BasebandConverter::Process(const float* pSamples, size_t nCount,
                                std::vector<std::complex<float>>& out)
{
    const size_t decimation = size_t(m_nDecimation);
    // The samples without DC live only until they are mixed: one buffer serves every
    // converter of the thread (a skimmer has one for each signal).
    thread_local std::vector<float> dcFree;
    while (nCount > 0) {
        const size_t take = std::min(nCount, CHUNK);
        if (dcFree.size() < take)
            dcFree.resize(take);
        if (m_mixed.size() < m_nHistory + m_nPending + take)
            m_mixed.resize(m_nHistory + m_nPending + take);
        std::complex<float>* mixed = m_mixed.data() + m_nHistory + m_nPending;
        removeDc(pSamples, take, dcFree.data());
        // Mix in runs that stay within the phasor table, so that the loop vectorises; the
        // products are written out because std::complex's check for infinities costs more
        // than the work.
        for (size_t done = 0; done < take;) {
            const size_t run = std::min(take - done, PHASOR_TABLE - m_nPhasorIndex);
            const std::complex<float>* phasor = m_phasors.data() + m_nPhasorIndex;
            const float sr = m_tableStartFloat.real();
            const float si = m_tableStartFloat.imag();
            const float* x = dcFree.data() + done;
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
        // Polyphase decimation: only the outputs kept are computed, one per whole group of
        // input samples, each ending at its group's first sample.
        const size_t outputs = m_nPending / decimation;
        if (outputs > 0) {
            const float scale = 1.0f / float(m_nDecimation);
            const size_t first = out.size();
            out.resize(first + outputs);
            for (size_t k = 0; k < outputs; ++k)
                m_pDecimator->ApplyTo(m_mixed.data() + k * decimation, &out[first + k], scale);
            // Keep the history the next outputs reach back to, and what waits for a group.
            const size_t used = outputs * decimation;
            std::copy(m_mixed.begin() + std::ptrdiff_t(used),
                      m_mixed.begin() + std::ptrdiff_t(m_nHistory + m_nPending), m_mixed.begin());
            m_nPending -= used;
        }
        pSamples += take;
        nCount -= take;
    }
}

} // namespace cw
