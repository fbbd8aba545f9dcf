#include "tools/cwdemodulator/basebandfrontend.h"

#include "tools/cwdemodulator/agcrecovery.h"
#include "tools/cwdemodulator/basebandconverter.h"
#include "tools/cwdemodulator/impulseblanker.h"
#include "tools/cwdemodulator/pitchsearch.h"

#include <algorithm>

namespace cw {

namespace {

constexpr double PITCH_HISTORY_SEC = 2.5; ///< audio kept while the pitch is searched

} // namespace

BasebandFrontEnd::BasebandFrontEnd(double dSampleRate, double dPitchHz, double dMinPitchHz,
                                   double dMaxPitchHz, double dBasebandRate)
    : m_dSampleRate(dSampleRate), m_dBasebandRate(dBasebandRate),
      m_nDecimation(BasebandConverter::DecimationFor(dSampleRate, dBasebandRate))
{
    if (dPitchHz > 0.0)
        lockPitch(dPitchHz);
    else
        m_pPitchSearch = std::make_unique<PitchSearch>(
            dSampleRate, dMinPitchHz, std::min(dMaxPitchHz, dSampleRate * 0.45), PITCH_HISTORY_SEC);
}

BasebandFrontEnd::~BasebandFrontEnd() = default;

const std::vector<std::complex<float>>& BasebandFrontEnd::Push(const float* pSamples, size_t nCount)
{
    m_baseband.clear();
    pSamples = m_damagedSamples.Push(pSamples, nCount);
    while (nCount > 0 && m_pPitchSearch) {
        // The search decides at fixed points of the input, whatever the block size.
        const size_t take = m_pPitchSearch->Push(pSamples, nCount);
        m_nInput += std::int64_t(take);
        pSamples += take;
        nCount -= take;
        if (m_pPitchSearch->Found())
            lockPitch(m_pPitchSearch->Pitch());
    }
    if (nCount > 0) {
        m_nInput += std::int64_t(nCount);
        convert(pSamples, nCount);
    }
    return m_baseband;
}

const std::vector<std::complex<float>>& BasebandFrontEnd::Finish()
{
    m_baseband.clear();
    if (m_pPitchSearch && m_pPitchSearch->Finish())
        lockPitch(m_pPitchSearch->Pitch());
    return m_baseband;
}

std::int64_t BasebandFrontEnd::InputPosition(std::int64_t nIndex) const
{
    return m_nOrigin + nIndex * m_nDecimation - m_pConverter->DelayInputSamples();
}

float BasebandFrontEnd::LostShare(std::int64_t nIndex, std::int64_t nKnownBy) const
{
    return std::min(1.0f, float(lostInput(nIndex, nIndex, nKnownBy)) / float(m_nDecimation));
}

bool BasebandFrontEnd::LostWithin(std::int64_t nFirst, std::int64_t nLast,
                                  std::int64_t nKnownBy) const
{
    return lostInput(nFirst, nLast, nKnownBy) > 0;
}

int BasebandFrontEnd::lostInput(std::int64_t nFirst, std::int64_t nLast,
                                std::int64_t nKnownBy) const
{
    // Asked at every baseband sample: without a stretch remembered (no crash of late, most
    // of the time) there is nothing to count.
    if (m_pBlanker->Lost().Empty() && m_pAgcRecovery->Lost().Empty())
        return 0;
    // The blanker and the gain recovery count the input from the first sample converted.
    const std::int64_t first = InputPosition(nFirst) - m_nOrigin;
    const std::int64_t end = InputPosition(nLast) - m_nOrigin + m_nDecimation;
    const std::int64_t known = InputPosition(nKnownBy) - m_nOrigin + m_nDecimation - 1;
    return m_pBlanker->Lost().Count(first, end, known) +
           m_pAgcRecovery->Lost().Count(first, end, known);
}

void BasebandFrontEnd::lockPitch(double dPitch)
{
    m_dPitch = dPitch;
    m_pConverter = std::make_unique<BasebandConverter>(m_dSampleRate, dPitch, m_dBasebandRate);
    m_pBlanker = std::make_unique<ImpulseBlanker>(m_dSampleRate, dPitch);
    m_pAgcRecovery = std::make_unique<AgcRecovery>(m_dSampleRate, dPitch);
    if (!m_pPitchSearch) {
        m_nOrigin = m_nInput;
        return;
    }
    // Convert the audio held during the search, oldest first.
    m_nOrigin = m_nInput - std::int64_t(m_pPitchSearch->Kept());
    if (m_pPitchSearch->Kept() > 0) {
        const PitchSearch::Part older = m_pPitchSearch->Older();
        const PitchSearch::Part newer = m_pPitchSearch->Newer();
        convert(older.pValues, older.nCount);
        convert(newer.pValues, newer.nCount);
    }
    m_pPitchSearch.reset();
}

void BasebandFrontEnd::convert(const float* pSamples, size_t nCount)
{
    const float* blanked = m_pBlanker->Push(pSamples, nCount);
    m_pConverter->Process(m_pAgcRecovery->Push(blanked, nCount), nCount, m_baseband);
}

} // namespace cw
