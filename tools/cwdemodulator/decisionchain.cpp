#include "tools/cwdemodulator/decisionchain.h"

#include "tools/cwdemodulator/leakagewatch.h"

namespace cw {

namespace {

/// Element lengths of silence after the last mark that end its character for sure.
constexpr double CUT_GAP_UNITS = 2.0;

} // namespace

DecisionChain::DecisionChain(const CwTimingTracker::Settings& settings,
                             const std::vector<std::string>& characterCodes, int nStepsPerElement,
                             double dLeastLikelyLength, CwTimingTracker::IListener* pListener)
    : m_segmenter(characterCodes, nStepsPerElement, dLeastLikelyLength),
      m_classifier(settings, pListener)
{
}

void DecisionChain::Start(std::int64_t nSegmentStart, float fNoiseVariance, double dUnit,
                          float fMarkLevel, std::int64_t nClassifierStart,
                          const std::vector<std::int64_t>& characterGaps)
{
    m_segmenter.Reset(nSegmentStart, fNoiseVariance);
    m_nLastMarkEnd = nSegmentStart;
    m_loneDots.Reset();
    m_classifier.Start(dUnit, fMarkLevel, 0.0f, nClassifierStart, true);
    std::vector<double> gaps;
    for (std::int64_t gap : characterGaps)
        gaps.push_back(double(gap) / dUnit);
    m_classifier.PresetCharacterGaps(gaps);
}

void DecisionChain::Drain(bool bLevelFollowed, const LeakageWatch& leakage)
{
    drain(bLevelFollowed, leakage, false);
}

void DecisionChain::Finish(bool bLevelFollowed, const LeakageWatch& leakage)
{
    m_segmenter.Finish();
    drain(bLevelFollowed, leakage, true);
    m_classifier.Finish();
}

void DecisionChain::drain(bool bLevelFollowed, const LeakageWatch& leakage, bool bEnd)
{
    // The marks decided from where only a neighbour's leakage was heard are dropped.
    CwSegmenter::Segment segment;
    m_segmenter.SetLevelFollowed(bLevelFollowed);
    m_loneDots.SetLevelFollowed(bLevelFollowed);
    while (m_segmenter.TakeSegment(segment)) {
        if (segment.bOn && segment.nStart >= leakage.LeakageFrom())
            continue;
        if (segment.bOn)
            m_nLastMarkEnd = segment.nStart + segment.nLength;
        if (bEnd && isCutByEnd(segment)) {
            // The key stays up after the end: the last mark is judged as if the silence went
            // on. Else noise that looks like a weak dot just before the end, whose silence the
            // end cut short, passed as an E where a lone dot anywhere else would not.
            m_loneDots.Finish(m_classifier, leakage);
            m_classifier.PushSegment(segment);
            return;
        }
        m_loneDots.Push(segment, m_classifier, leakage);
    }
    if (bEnd)
        m_loneDots.Finish(m_classifier, leakage);
}

bool DecisionChain::isCutByEnd(const CwSegmenter::Segment& segment) const
{
    return !segment.bOn && m_segmenter.IsDrained() &&
           double(segment.nLength) < CUT_GAP_UNITS * m_classifier.Unit();
}

} // namespace cw
