#include "tools/cwdemodulator/pitchsearch.h"

#include <algorithm>

namespace cw {

namespace {

/// A peak this clear is still taken when the input ends before a clearly better one.
constexpr double WEAK_PEAK_RATIO = 4.0;

} // namespace

PitchSearch::PitchSearch(double dSampleRate, double dMinHz, double dMaxHz, double dKeptSec)
    : m_detector(dSampleRate, dMinHz, dMaxHz), m_kept(size_t(dKeptSec * dSampleRate))
{
}

size_t PitchSearch::Push(const float* pSamples, size_t nCount)
{
    const size_t hop = m_detector.HopSize();
    const size_t take = std::min(nCount, hop - size_t(m_nTaken % std::int64_t(hop)));
    m_detector.Add(pSamples, take);
    m_kept.Push(pSamples, take);
    m_nTaken += std::int64_t(take);
    m_bFound = m_nTaken % std::int64_t(hop) == 0 && m_detector.HasPitch();
    return take;
}

bool PitchSearch::Finish() const
{
    return m_detector.Pitch() > 0.0 && m_detector.PeakRatio() >= WEAK_PEAK_RATIO;
}

} // namespace cw
