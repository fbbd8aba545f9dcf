#include "tools/cwdemodulator/pitchsearch.h"

#include <algorithm>

namespace cw {

namespace {

/// A peak this clear is still taken when the input ends before a clearly better one.
constexpr double WEAK_PEAK_RATIO = 4.0;

} // namespace

PitchSearch::PitchSearch(double dSampleRate, double dMinHz, double dMaxHz, double dKeptSec)
    : m_detector(dSampleRate, dMinHz, dMaxHz), m_nCapacity(size_t(dKeptSec * dSampleRate))
{
}

size_t PitchSearch::Push(const float* pSamples, size_t nCount)
{
    const size_t hop = m_detector.HopSize();
    const size_t take = std::min(nCount, hop - size_t(m_nTaken % std::int64_t(hop)));
    m_detector.Add(pSamples, take);
    keep(pSamples, take);
    m_nTaken += std::int64_t(take);
    m_bFound = m_nTaken % std::int64_t(hop) == 0 && m_detector.HasPitch();
    return take;
}

bool PitchSearch::Finish() const
{
    return m_detector.Pitch() > 0.0 && m_detector.PeakRatio() >= WEAK_PEAK_RATIO;
}

PitchSearch::Part PitchSearch::Older() const
{
    return {m_ring.data() + m_nStart, std::min(m_nSize, m_nCapacity - m_nStart)};
}

PitchSearch::Part PitchSearch::Newer() const
{
    return {m_ring.data(), m_nSize - Older().nCount};
}

void PitchSearch::keep(const float* pSamples, size_t nCount)
{
    for (size_t i = 0; i < nCount; ++i) {
        if (m_nSize < m_nCapacity) {
            m_ring.push_back(pSamples[i]);
            ++m_nSize;
        } else {
            m_ring[m_nStart] = pSamples[i];
            m_nStart = (m_nStart + 1) % m_nCapacity;
        }
    }
}

} // namespace cw
