#include "tools/cwdemodulator/blocknoise.h"

namespace cw {

namespace {

constexpr double NOISE_MEMORY = 4000.0; ///< samples the noise variance is averaged over

} // namespace

void BlockNoise::Reset(float fVariance)
{
    m_fVariance = fVariance;
    m_bKnown = fVariance > 0.0f;
    m_dBlockQuadrature = 0.0;
    m_bBlockMeasured = false;
}

void BlockNoise::AddQuadrature(float fQuadrature)
{
    m_dBlockQuadrature += fQuadrature;
    m_bBlockMeasured = true;
}

void BlockNoise::CloseBlock(int nSamples)
{
    if (!m_bBlockMeasured)
        return;
    const double perSample = m_dBlockQuadrature * m_dBlockQuadrature / nSamples;
    if (!m_bKnown) {
        m_fVariance = float(perSample);
        m_bKnown = true;
    }
    m_fVariance += float((perSample - m_fVariance) * nSamples / NOISE_MEMORY);
    m_dBlockQuadrature = 0.0;
    m_bBlockMeasured = false;
}

} // namespace cw
