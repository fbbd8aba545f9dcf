#include "tools/cwdemodulator/elementlengthtrials.h"

#include "tools/cwdemodulator/cwsegmenter.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace cw {

namespace {

/// Marks and gaps shorter than this (elements) show that a reading has element-long ones.
constexpr double SHORT_ELEMENT_UNITS = 2.0;
constexpr double SLOWER_READING_MARGIN = 6.0; ///< log likelihood, see Likeliest()
constexpr double OUT_OF_RANGE = -1e300;       ///< score of a reading outside the speed range
constexpr double NOT_TRIED = -2e300;          ///< below any score: a stretch not tried
/// Share of element-long segments from which a reading where the level moves is not taken
/// for a multiple too fast; see readsAtItsOwnLength().
constexpr double SETTLED_SHORT_SHARE = 0.4;
/// Share of the best score's size by which a slower reading at its first length may fall
/// behind and still be tried at the lengths around (lean trials). Over the skimmer's test
/// bands (4 of each kind, 861 slower readings tried around) the lengths around gained up to
/// 20 % of the best score's size over the first length, but never all it had fallen behind:
/// the closest came 3.3 % short, and the one slower reading that won was ahead at its first
/// length already. Of those that fell more than 15 % behind (723), none came within 3.3 %.
constexpr double SLOWER_READING_REACH = 0.15;

/// A segmenter per thread for the trial decisions, with the priors of @p own. Trials on
/// noise reach every node of the code tree, and each segmenter's rows are megabytes filled
/// on first use: a skimmer's channels share these instead of each filling its own.
CwSegmenter& trialSegmenter(const CwSegmenter& own, const std::vector<std::string>& codes)
{
    struct Kept
    {
        std::vector<std::string> codes;
        std::unique_ptr<CwSegmenter> pSegmenter;
    };
    thread_local Kept kept;
    if (!kept.pSegmenter || kept.codes != codes) {
        kept.codes = codes;
        kept.pSegmenter = std::make_unique<CwSegmenter>(codes);
    }
    kept.pSegmenter->CopyPriorsFrom(own);
    return *kept.pSegmenter;
}

} // namespace

ElementLengthTrials::ElementLengthTrials(double dMinUnit, double dMaxUnit,
                                         const std::vector<std::string>& characterCodes,
                                         int nSureMarks, bool bLean)
    : m_dMinUnit(dMinUnit), m_dMaxUnit(dMaxUnit), m_characterCodes(characterCodes),
      m_nSureMarks(nSureMarks), m_bLean(bLean)
{
}

double ElementLengthTrials::Likeliest(const Held& held, double dUnit, float fAmplitude,
                                      CwSegmenter& decisions)
{
    // Noise breaks long marks into short ones, and timing alone cannot tell "TTT" from "EEE"
    // at three times the speed, so the timing estimate can come out a whole multiple too
    // fast. The likelihood of the held samples under the slower readings settles it. (Only
    // slower ones: a faster reading fits noise better and would always look likelier.)
    // A clean slow signal goes wrong the other way: a finer reading fits its edges better, so
    // its dots read as dashes of a third the length. No Morse text does without element-long
    // marks and gaps, so a reading that has none is not taken.
    const bool onlyLongElements = lacksShortElements(held, dUnit, fAmplitude, decisions);
    const bool settled = readsAtItsOwnLength(held, ShortShare());
    CwSegmenter& segmenter = trialSegmenter(decisions, m_characterCodes);
    double best = dUnit;
    double bestScore = OUT_OF_RANGE;
    for (double factor : {1.0, 2.0, 3.0}) {
        if ((onlyLongElements && factor == 1.0) || (settled && factor > 1.0))
            continue;
        double middle = NOT_TRIED;
        if (m_bLean && factor > 1.0 && bestScore > OUT_OF_RANGE) {
            middle = score(held, dUnit * factor, fAmplitude, segmenter);
            if (middle > OUT_OF_RANGE &&
                middle < bestScore - SLOWER_READING_REACH * std::abs(bestScore))
                continue;
        }
        const std::pair<double, double> near =
            likeliestNear(held, dUnit * factor, fAmplitude, segmenter, middle);
        // A slower reading has to be clearly likelier: it needs fewer segments, each of which
        // costs its prior, so near the noise it can win by a little without being right.
        if (near.second > bestScore + (factor > 1.0 ? SLOWER_READING_MARGIN : 0.0)) {
            bestScore = near.second;
            best = near.first;
        }
    }
    decisions.CopyPriorsFrom(segmenter);
    return best;
}

bool ElementLengthTrials::readsAtItsOwnLength(const Held& held, double dShortShare)
{
    // Read a multiple too fast, a text's dots come out two or three elements long, so few of
    // its segments are element-long: under fading, the readings a slower one rescued had
    // 0.11 to 0.36 of them. Where the level moves, a reading at the right length with half
    // its segments element-long was beaten by one 1.8 times slower, whose longer elements
    // the level followed explains better at the fades' bottoms, and the first word was lost
    // (15 WPM, 1 and 2 Hz fades; those readings had 0.46 to 0.74).
    return !held.levels.empty() && dShortShare >= SETTLED_SHORT_SHARE;
}

ElementLengthTrials::Slower
ElementLengthTrials::ClearlyLikelierSlower(const Held& held, double dUnit, double dSlowUnit,
                                           float fAmplitude, CwSegmenter& decisions) const
{
    Slower slower;
    CwSegmenter& segmenter = trialSegmenter(decisions, m_characterCodes);
    const std::pair<double, double> own =
        likeliestNear(held, dUnit, fAmplitude, segmenter, NOT_TRIED);
    const std::pair<double, double> slow =
        likeliestNear(held, dSlowUnit, fAmplitude, segmenter, NOT_TRIED);
    decisions.CopyPriorsFrom(segmenter);
    if (own.second <= OUT_OF_RANGE || slow.second <= OUT_OF_RANGE)
        return slower;
    slower.dGain = slow.second - own.second;
    if (slower.dGain > SLOWER_READING_MARGIN)
        slower.dUnit = slow.first;
    return slower;
}

void ElementLengthTrials::FindCharacterGaps(const Held& held, double dUnit, float fAmplitude,
                                            CwSegmenter& decisions)
{
    lacksShortElements(held, dUnit, fAmplitude, decisions);
}

bool ElementLengthTrials::lacksShortElements(const Held& held, double dUnit, float fAmplitude,
                                             CwSegmenter& decisions)
{
    // Decides the held samples at this element length and looks for marks and gaps shorter
    // than two elements among enough marks to be sure. The segment the end of the held
    // samples cuts short does not count.
    // The gaps that end characters are kept for judging word gaps (Farnsworth spacing), and
    // the share of element-long segments for judging how sure the reading is.
    CwSegmenter& segmenter = trialSegmenter(decisions, m_characterCodes);
    segmenter.Reset(0, held.fNoiseVariance);
    const size_t count = held.inPhase.size();
    int marks = 0;
    bool shortSeen = false;
    m_characterGaps.clear();
    m_nSegments = 0;
    m_nShortSegments = 0;
    m_dDecidedUnit = dUnit;
    auto takeSegments = [&] {
        for (CwSegmenter::Segment segment; segmenter.TakeSegment(segment);) {
            const bool cut = double(segment.nStart + segment.nLength) + dUnit > double(count);
            const bool isShort = double(segment.nLength) < SHORT_ELEMENT_UNITS * dUnit;
            marks += segment.bOn ? 1 : 0;
            shortSeen = shortSeen || (!cut && isShort);
            if (cut || marks == 0)
                continue;
            ++m_nSegments;
            m_nShortSegments += isShort ? 1 : 0;
            if (segment.kind == CwSegmenter::Kind::CharacterGap)
                m_characterGaps.push_back(segment.nLength);
        }
    };
    for (size_t n = 0; n < count; ++n) {
        segmenter.PushInPhase(held.inPhase[n].real(), held.LevelAt(n, fAmplitude), dUnit);
        takeSegments();
    }
    segmenter.Finish();
    takeSegments();
    decisions.CopyPriorsFrom(segmenter);
    return marks >= m_nSureMarks && !shortSeen;
}

std::pair<double, double> ElementLengthTrials::likeliestNear(const Held& held, double dUnit,
                                                             float fAmplitude,
                                                             CwSegmenter& segmenter,
                                                             double dMiddle) const
{
    // The timing estimate of a reading that was not its own is rough: try around it,
    // climbing from the middle of the stretches towards the likelier side only.
    const double stretches[] = {0.88, 0.94, 1.0, 1.06, 1.13};
    double scores[] = {NOT_TRIED, NOT_TRIED, NOT_TRIED, NOT_TRIED, NOT_TRIED};
    auto tryStretch = [&](size_t n) {
        scores[n] = score(held, dUnit * stretches[n], fAmplitude, segmenter);
    };
    scores[2] = dMiddle;
    for (size_t n : {1, 2, 3}) {
        if (scores[n] == NOT_TRIED)
            tryStretch(n);
    }
    const bool noneInRange = std::max({scores[1], scores[2], scores[3]}) <= OUT_OF_RANGE;
    if (noneInRange || (scores[1] > scores[2] && scores[1] >= scores[3]))
        tryStretch(0);
    if (noneInRange || (scores[3] > scores[2] && scores[3] > scores[1]))
        tryStretch(4);
    double best = dUnit;
    double bestScore = OUT_OF_RANGE;
    for (size_t n : {2, 0, 1, 3, 4}) {
        if (scores[n] > bestScore) {
            bestScore = scores[n];
            best = dUnit * stretches[n];
        }
    }
    return {best, bestScore};
}

double ElementLengthTrials::score(const Held& held, double dUnit, float fAmplitude,
                                  CwSegmenter& segmenter) const
{
    if (dUnit > m_dMaxUnit || dUnit < m_dMinUnit)
        return OUT_OF_RANGE;
    segmenter.Reset(0, held.fNoiseVariance, true);
    for (size_t n = 0; n < held.inPhase.size(); ++n)
        segmenter.PushInPhase(held.inPhase[n].real(), held.LevelAt(n, fAmplitude), dUnit);
    segmenter.Finish();
    return segmenter.BestScore();
}

} // namespace cw
