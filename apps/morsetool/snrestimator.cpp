#include "snrestimator.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double BLOCK_SECONDS = 0.01;
constexpr size_t WINDOW_BLOCKS = 3000; ///< 30 s
constexpr size_t MIN_BLOCKS = 100;     ///< 1 s
/// Share of the blocks taken as key down, and as noise.
constexpr double LOUD_SHARE = 0.1;
constexpr double QUIET_SHARE = 0.3;
/// Noise power below this share of the signal's is not told apart: 60 dB.
constexpr double CEILING = 1e-6;

double meanOf(std::vector<double>::const_iterator begin, std::vector<double>::const_iterator end)
{
    double sum = 0.0;
    for (auto it = begin; it != end; ++it)
        sum += *it;
    return begin == end ? 0.0 : sum / double(end - begin);
}

} // namespace

void SnrEstimator::create(double dSampleRate, double dPitchHz)
{
    m_nBlockLength = std::max(1, int(dSampleRate * BLOCK_SECONDS));
    m_dCoefficient = 2.0 * std::cos(dsp::TWO_PI * dPitchHz / dSampleRate);
    m_nInBlock = 0;
    m_dState1 = m_dState2 = 0.0;
    m_powers.Reset(WINDOW_BLOCKS);
}

void SnrEstimator::push(const float* pSamples, long nCount)
{
    if (m_nBlockLength == 0)
        return;
    for (long i = 0; i < nCount; ++i) {
        const double state = pSamples[i] + m_dCoefficient * m_dState1 - m_dState2;
        m_dState2 = m_dState1;
        m_dState1 = state;
        if (++m_nInBlock == m_nBlockLength)
            finishBlock();
    }
}

void SnrEstimator::finishBlock()
{
    const double power =
        m_dState1 * m_dState1 + m_dState2 * m_dState2 - m_dCoefficient * m_dState1 * m_dState2;
    m_powers.Push(power);
    m_nInBlock = 0;
    m_dState1 = m_dState2 = 0.0;
}

bool SnrEstimator::hasEstimate() const
{
    return m_powers.size() >= MIN_BLOCKS;
}

double SnrEstimator::estimateDb() const
{
    std::vector<double> sorted;
    sorted.reserve(m_powers.size());
    m_powers.ForEach([&sorted](double dPower) { sorted.push_back(dPower); });
    std::sort(sorted.begin(), sorted.end());
    const size_t quiet = std::max<size_t>(1, size_t(double(sorted.size()) * QUIET_SHARE));
    const size_t loud = std::max<size_t>(1, size_t(double(sorted.size()) * LOUD_SHARE));
    const double noise = meanOf(sorted.begin(), sorted.begin() + long(quiet));
    const double signal = meanOf(sorted.end() - long(loud), sorted.end());
    // A signal without any noise (a synthesized one) reads as the ceiling, not as infinity.
    return 10.0 * std::log10(std::max(signal, 1e-20) / std::max(noise, signal * CEILING));
}
