#include "tools/cwdemodulator/blocknoise.h"

#include <algorithm>

namespace cw {

namespace {

constexpr double NOISE_MEMORY = 4000.0; ///< samples the noise variance is averaged over

} // namespace

void BlockNoise::Reset(float fVariance)
{
    m_fVariance = fVariance;
    m_fGapVariance = fVariance;
    m_fToneVariance = fVariance;
    m_bKnown = fVariance > 0.0f;
    m_dBlockQuadrature = 0.0;
    m_bBlockMeasured = false;
}

void BlockNoise::AddQuadrature(float fQuadrature)
{
    m_dBlockQuadrature += fQuadrature;
    m_bBlockMeasured = true;
}

void BlockNoise::CloseBlock(int nSamples, Content content)
{
    if (!m_bBlockMeasured)
        return;
    const double perSample = m_dBlockQuadrature * m_dBlockQuadrature / nSamples;
    if (!m_bKnown) {
        m_fVariance = m_fGapVariance = m_fToneVariance = float(perSample);
        m_bKnown = true;
    }
    const double share = nSamples / NOISE_MEMORY;
    m_fVariance += float((perSample - m_fVariance) * share);
    if (content != Content::Burst)
        m_fToneVariance += float((perSample - m_fToneVariance) * share);
    if (content == Content::Gap)
        m_fGapVariance += float((perSample - m_fGapVariance) * share);
    m_dBlockQuadrature = 0.0;
    m_bBlockMeasured = false;
}

float BlockNoise::Variance() const
{
    // Up to twice the gaps' measure, nothing is taken out; from there the marks' share comes
    // out continuously, all of it from three times.
    const float gaps = m_fGapVariance;
    const float tone = m_fToneVariance;
    if (tone <= 2.0f * gaps)
        return m_fVariance;
    const float kept = std::max(gaps, 4.0f * gaps - tone);
    return std::max(gaps, m_fVariance - (tone - kept));
}

} // namespace cw
