#include "tools/cwdemodulator/charactersearch.h"

#include "tools/cwdemodulator/firstabove.h"
#include "tools/cwdemodulator/segmentlengthpriors.h"
#include "tools/morsecore/internationalalphabet.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace cw {

namespace {

constexpr double NEGATIVE = -1e300;
/// Log prior of a code that is no character expected: a missing or extra element has to be
/// this much clearer than noise to make one.
constexpr float UNKNOWN_CODE = -6.0f;
/// Log prior of each character decoded. The length priors peak at about one height, so
/// without it a dot read into a word gap (two character gaps and an E instead of one word
/// gap) cost only log(0.3 * 0.3 / 0.15) = -0.5, and splitting a character in two, log(0.3 /
/// 0.55) = -0.6: near the noise floor a noise burst of little evidence added an E between
/// words or cut a B into T and I. Tuned on the error-rate benchmark near the noise floor, on
/// both generators' recordings (-1 to -3 tried; at -3 real E's went missing, at -1 a noise
/// gap split a 3 into E and W). Against it, a noise dot read into a character gap (a gap, a
/// dot and a gap of one element each) joins two characters into one and saves the price of
/// one: T C read as a semicolon, A K as a full stop (which RARE_SIGN now prices).
constexpr double CHARACTER_PRIOR = -1.25;
/// Log prior of a sign of the built-in alphabet other than a letter, a digit or the '/' of
/// callsigns (punctuation, the two words), against the letters' and digits' 0: such signs are
/// rare in traffic, and their long codes are what a noise dot read into a character gap makes
/// of two characters (N A read as =, A K as a full stop, T C as a semicolon). Tuned on the
/// error-rate benchmark near the noise floor, on both generators' recordings (at -4 no
/// better; with '/' priced too, callsigns' /P came out as TR or NN).
constexpr float RARE_SIGN = -2.0f;
/// Paths this far (log likelihood) below the best are not followed.
constexpr double BEAM = 30.0;

constexpr int MARK_STATES = 0; ///< traceback states: marks by node, then element gaps,
constexpr int GAP_STATES = 1 << (CharacterSearch::LONGEST_CODE + 1);
constexpr int START_STATE = 2 * GAP_STATES; ///< a gap that ends a character ended
constexpr int LONG_STATE = START_STATE + 1; ///< a stretch of long silence ended

/// Whether the built-in alphabet's entry @p text is a rare sign (see RARE_SIGN).
bool isRareSign(const char* text)
{
    const bool letterOrDigit = std::isalnum(static_cast<unsigned char>(text[0])) != 0;
    return text[1] != '\0' || !(letterOrDigit || text[0] == '/');
}

} // namespace

CharacterSearch::CharacterSearch(const std::vector<std::string>& characterCodes)
    : m_characterBonus(NODES, UNKNOWN_CODE), m_endScore(RING, NEGATIVE), m_endNode(RING, 0),
      m_startScore(RING, NEGATIVE), m_startFrom(RING, 0), m_startLength(RING, 0),
      m_longScore(RING, NEGATIVE), m_longFrom(RING, 0)
{
    static_assert(LONGEST_GAP < 128, "the running best must hold the longest gap's blocks");
    static_assert(std::max(BlockEvidence::LONGEST_MARK, LONGEST_GAP) < int(SCORE_RING),
                  "the scores must reach a segment back");
    static_assert(BlockEvidence::LONGEST_MARK < int(GAP_SCORE_RING),
                  "the gap scores must reach a mark back");
    // Codes longer than the tree, or of other signs than dots and dashes, are left out.
    auto expect = [this](const char* code, float fLogPrior) {
        int node = 1;
        for (const char* c = code; *c; ++c) {
            if ((*c != '.' && *c != '-') || 2 * node >= NODES)
                return;
            node = 2 * node + (*c == '-' ? 1 : 0);
        }
        if (node > 1)
            m_characterBonus[size_t(node)] = fLogPrior;
    };
    if (characterCodes.empty()) {
        const morse::InternationalAlphabet::Entry* entries =
            morse::InternationalAlphabet::Entries();
        for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i)
            expect(entries[i].code, isRareSign(entries[i].text) ? RARE_SIGN : 0.0f);
    } else {
        // Another alphabet's codes come without their meaning: each is as likely.
        for (const std::string& code : characterCodes)
            expect(code.c_str(), 0.0f);
    }
}

void CharacterSearch::Reset(qint64 nOrigin)
{
    m_marks.ForgetAlive();
    m_gaps.ForgetAlive();
    m_markParents.Clear();
    m_gapNodes.Clear();
    m_liveMarks.clear();
    m_liveGaps.clear();
    // Before the start there was silence: a character may begin at once.
    const size_t first = slot(nOrigin);
    m_endScore[first] = NEGATIVE;
    m_startScore[first] = 0.0;
    m_startFrom[first] = 0;
    m_startLength[first] = 0;
    m_longScore[first] = 0.0;
    m_longFrom[first] = 0;
    m_longWindow.Clear();
    m_longWindow.Add(nOrigin, 0.0);
}

void CharacterSearch::Push(const BlockEvidence& blocks, const SegmentLengthPriors& priors)
{
    const qint64 boundary = blocks.Latest();
    m_liveBest = -std::numeric_limits<double>::infinity();
    searchMarks(blocks, priors);
    searchElementGaps(boundary, blocks.Origin(), priors);
    searchCharacterEnds(boundary, blocks.Origin(), priors);
    prune(boundary);
}

double CharacterSearch::BestScore(qint64 nBoundary) const
{
    const size_t e = slot(nBoundary);
    double best = std::max(m_startScore[e], m_longScore[e]);
    for (int node : m_liveMarks)
        best = std::max(best, m_marks.Score(node, nBoundary));
    for (int node : m_liveGaps)
        best = std::max(best, m_gaps.Score(node, nBoundary));
    return best;
}

void CharacterSearch::searchMarks(const BlockEvidence& blocks, const SegmentLengthPriors& priors)
{
    // A mark ending here completes the code of its node; it began after a gap that either
    // continued the parent's code or (for the root's children) started a new character. Only
    // the children of nodes whose gap was in the beam lately are searched; a score is read
    // only at the boundaries its stamp says it was computed at (others were out of the beam).
    m_liveMarks.clear();
    searchMark(2, blocks, priors);
    searchMark(3, blocks, priors);
    const qint64 reach = std::max(priors.Dot().nLongest, priors.Dash().nLongest);
    m_markParents.Expire(m_gaps.Alive(), blocks.Latest() - reach);
    for (int parent : m_markParents.Nodes()) {
        searchMark(2 * parent, blocks, priors);
        if (2 * parent + 1 < NODES)
            searchMark(2 * parent + 1, blocks, priors);
    }
}

void CharacterSearch::searchMark(int nNode, const BlockEvidence& blocks,
                                 const SegmentLengthPriors& priors)
{
    const qint64 nBoundary = blocks.Latest();
    const int parent = nNode / 2;
    const SegmentLengthPriors::LengthPrior& prior = (nNode & 1) ? priors.Dash() : priors.Dot();
    if (parent > 1 && nBoundary - m_gaps.Alive(parent) > qint64(prior.nLongest))
        return;
    qint64 longest = std::min<qint64>(prior.nLongest, nBoundary - blocks.Origin());
    if (prior.nShortest > longest)
        return;
    // A new character starts from the shared ring, a further element from the parent's gaps,
    // at the boundaries they hold scores for.
    const double* source = parent == 1 ? m_startScore.data() : m_gaps.Scores(parent);
    const size_t sourceMask = parent == 1 ? RING - 1 : GAP_SCORE_RING - 1;
    qint64 shortest = prior.nShortest;
    if (parent > 1) {
        shortest = std::max<qint64>(shortest, nBoundary - m_gaps.LastSet(parent));
        longest = std::min<qint64>(longest, nBoundary - m_gaps.FirstSet(parent));
    }
    static_assert(RING % GAP_SCORE_RING == 0 && RING == BlockEvidence::RING,
                  "a run of slots of a node's ring is one of the evidence ring too");
    double best = NEGATIVE;
    qint64 bestLength = 0;
    if (shortest <= longest && !blocks.IsOwnPhase()) {
        // Evidence on a fixed phase adds up block by block; the lengths are tried from the
        // shortest, the starts walking back through each run of slots down to where the
        // rings wrap, with no mask on each.
        const double endEvidence = blocks.EvidenceTo(nBoundary);
        const double* cumulative = blocks.EvidenceRing();
        const double* logPrior = prior.log.data();
        for (qint64 d = shortest; d <= longest;) {
            const size_t s = size_t(nBoundary - d) & sourceMask;
            const qint64 run = std::min<qint64>(longest - d + 1, qint64(s) + 1);
            const size_t c = size_t(nBoundary - d) & (RING - 1);
            for (qint64 i = 0; i < run; ++i) {
                const double candidate = source[s - size_t(i)] +
                                         (endEvidence - cumulative[c - size_t(i)]) +
                                         logPrior[d + i];
                // Chosen without a branch: whether a start beats the best so far is hard to
                // foresee (three in ten do), and a wrong guess costs more than the select.
                const bool higher = candidate > best;
                bestLength = higher ? d + i : bestLength;
                best = higher ? candidate : best;
            }
            d += run;
        }
    } else if (shortest <= longest) {
        // On the mark's own phase evidence does not add up (searchOwnPhase()).
        searchOwnPhase(source, sourceMask, shortest, longest, prior.log.data(), blocks, best,
                       bestLength);
    }
    m_marks.Set(nNode, nBoundary, best, bestLength);
    m_liveMarks.push_back(nNode);
    m_liveBest = std::max(m_liveBest, best);
}

void CharacterSearch::searchOwnPhase(const double* pSource, size_t nSourceMask, qint64 nShortest,
                                     qint64 nLongest, const double* pLogPrior,
                                     const BlockEvidence& blocks, double& dBest,
                                     qint64& nBestLength)
{
    // On its own phase a length's evidence costs a logarithm or more, and a length whose
    // bound (no less than the evidence, rounding and all) cannot reach the best is not
    // weighed. The length of the highest bound is weighed first, so that the best stands
    // high from the start and the bound passes over more of the others; a bound equal to
    // the best is still weighed, and of equal candidates the shortest wins, as it would
    // walking the lengths in order.
    const qint64 nBoundary = blocks.Latest();
    const double* ownPhaseBound = blocks.OwnPhaseBoundByLength();
    const double* logPrior = pLogPrior;
    // Each bound is kept for the second walk; a start not searched (UNSET) makes one that no
    // comparison passes.
    if (m_lengthBounds.size() <= size_t(nLongest))
        m_lengthBounds.resize(size_t(nLongest) + 1);
    double* bounds = m_lengthBounds.data();
    qint64 promising = 0;
    double highest = NEGATIVE;
    for (qint64 d = nShortest; d <= nLongest; ++d) {
        const size_t s = size_t(nBoundary - d) & nSourceMask;
        const double bound = pSource[s] + ownPhaseBound[d] + logPrior[d];
        bounds[d] = bound;
        if (bound > highest) {
            highest = bound;
            promising = d;
        }
    }
    if (promising == 0)
        return;
    double best = dBest;
    qint64 bestLength = nBestLength;
    const double first = pSource[size_t(nBoundary - promising) & nSourceMask] +
                         blocks.OwnPhaseEvidence(promising) + logPrior[promising];
    if (first > best) {
        best = first;
        bestLength = promising;
    }
    for (qint64 d = nShortest; d <= nLongest; ++d) {
        if (!(bounds[d] >= best))
            continue;
        const size_t s = size_t(nBoundary - d) & nSourceMask;
        const double candidate = pSource[s] + blocks.OwnPhaseEvidence(d) + logPrior[d];
        if (candidate > best || (candidate == best && d < bestLength)) {
            best = candidate;
            bestLength = d;
        }
    }
    dBest = best;
    nBestLength = bestLength;
}

void CharacterSearch::searchElementGaps(qint64 nBoundary, qint64 nOrigin,
                                        const SegmentLengthPriors& priors)
{
    const SegmentLengthPriors::LengthPrior& prior = priors.ElementGap();
    const qint64 longest = std::min<qint64>(prior.nLongest, nBoundary - nOrigin);
    m_liveGaps.clear();
    m_gapNodes.Expire(m_marks.Alive(), nBoundary - prior.nLongest);
    if (prior.nShortest > longest)
        return;
    // As for the marks: each run of slots walked back to where the ring wraps, over the
    // boundaries the node's marks hold scores for.
    const double* logPrior = prior.log.data();
    for (int node : m_gapNodes.Nodes()) {
        const double* score = m_marks.Scores(node);
        double best = NEGATIVE;
        qint64 bestLength = 0;
        const qint64 last = std::min<qint64>(longest, nBoundary - m_marks.FirstSet(node));
        for (qint64 d = std::max<qint64>(prior.nShortest, nBoundary - m_marks.LastSet(node));
             d <= last;) {
            const size_t s = m_marks.ScoreSlot(nBoundary - d);
            const qint64 run = std::min<qint64>(last - d + 1, qint64(s) + 1);
            for (qint64 i = 0; i < run; ++i) {
                const double candidate = score[s - size_t(i)] + logPrior[d + i];
                if (candidate > best) {
                    best = candidate;
                    bestLength = d + i;
                }
            }
            d += run;
        }
        m_gaps.Set(node, nBoundary, best, bestLength);
        m_liveGaps.push_back(node);
        m_liveBest = std::max(m_liveBest, best);
    }
}

void CharacterSearch::searchCharacterEnds(qint64 nBoundary, qint64 nOrigin,
                                          const SegmentLengthPriors& priors)
{
    const size_t e = slot(nBoundary);
    // The likeliest character ending here.
    double bestEnd = NEGATIVE;
    int endNode = 0;
    // Scoring compares element lengths: a price per character would favour slow readings.
    const double characterPrior = priors.IsNormalised() ? 0.0 : CHARACTER_PRIOR;
    for (int node : m_liveMarks) {
        const double score =
            m_marks.Score(node, nBoundary) + m_characterBonus[size_t(node)] + characterPrior;
        if (score > bestEnd) {
            bestEnd = score;
            endNode = node;
        }
    }
    m_endScore[e] = bestEnd;
    m_endNode[e] = (unsigned short)endNode;

    // Long silence is chained in stretches of the longest modelled gap.
    double longScore = NEGATIVE;
    unsigned short longFrom = 0;
    const qint64 reach = nBoundary - nOrigin;
    if (reach >= LONGEST_GAP) {
        const size_t s = slot(nBoundary - LONGEST_GAP);
        const double fromEnd = m_endScore[s] + double(priors.LongPrior());
        longScore = std::max(fromEnd, m_longScore[s]);
        longFrom = fromEnd >= m_longScore[s] ? m_endNode[s] : 0;
    }
    m_longScore[e] = longScore;
    m_longFrom[e] = longFrom;

    // A gap after a character, or whatever remains after long silence (which is not priced
    // as a gap of its own: it could be too short for one).
    double bestStart = longScore;
    unsigned short startFrom = 0;
    int startLength = 0;
    const SegmentLengthPriors::LengthPrior& gap = priors.CharacterGap();
    const qint64 longest = std::min<qint64>(gap.nLongest, reach);
    // As for the marks: each run of slots walked back to where the ring wraps.
    const double* gapPrior = gap.log.data();
    for (qint64 d = gap.nShortest; d <= longest;) {
        const size_t s = slot(nBoundary - d);
        const qint64 run = std::min<qint64>(longest - d + 1, qint64(s) + 1);
        qint64 i = 0;
        if (firstAbove(&m_endScore[s], &gapPrior[d], run, bestStart, i)) {
            startFrom = m_endNode[s - size_t(i)];
            startLength = int(d + i);
        }
        d += run;
    }
    // The likeliest end of long silence less than its longest stretch ago (the latest of
    // equals), kept as a running maximum instead of searched at every boundary.
    m_longWindow.Expire(nBoundary - LONGEST_GAP);
    if (!m_longWindow.IsEmpty() && m_longWindow.Best() > bestStart) {
        bestStart = m_longWindow.Best();
        startFrom = 0;
        startLength = int(nBoundary - m_longWindow.BestAt());
    }
    m_startScore[e] = bestStart;
    m_startFrom[e] = startFrom;
    m_startLength[e] = (unsigned char)startLength;
    m_longWindow.Add(nBoundary, longScore);
}

void CharacterSearch::prune(qint64 nBoundary)
{
    // BestScore(), its live nodes' part taken as they were searched: the same scores in the
    // same order, and std::max keeps the first of equals.
    const size_t e = slot(nBoundary);
    const double floor = std::max(std::max(m_startScore[e], m_longScore[e]), m_liveBest) - BEAM;
    for (int node : m_liveMarks) {
        if (m_marks.Score(node, nBoundary) >= floor) {
            m_marks.SetAlive(node, nBoundary);
            if (node < NODES / 2)
                m_gapNodes.Add(node);
        }
    }
    for (int node : m_liveGaps) {
        if (m_gaps.Score(node, nBoundary) >= floor) {
            m_gaps.SetAlive(node, nBoundary);
            m_markParents.Add(node);
        }
    }
}

void CharacterSearch::TraceBack(qint64 nEnd, qint64 nDecided, std::vector<Piece>& path) const
{
    const size_t e = slot(nEnd);
    int state = START_STATE;
    double best = m_startScore[e];
    if (m_longScore[e] > best) {
        best = m_longScore[e];
        state = LONG_STATE;
    }
    for (int node : m_liveMarks) {
        if (m_marks.Score(node, nEnd) > best) {
            best = m_marks.Score(node, nEnd);
            state = MARK_STATES + node;
        }
    }
    for (int node : m_liveGaps) {
        if (m_gaps.Score(node, nEnd) > best) {
            best = m_gaps.Score(node, nEnd);
            state = GAP_STATES + node;
        }
    }

    // Walk the best path back to what was decided already.
    qint64 boundary = nEnd;
    while (boundary > nDecided) {
        const size_t b = slot(boundary);
        qint64 length = 0;
        SegmentKind kind = SegmentKind::CharacterGap;
        int previous = LONG_STATE;
        if (state < GAP_STATES) {
            const int node = state - MARK_STATES;
            length = m_marks.Length(node, boundary);
            kind = (node & 1) ? SegmentKind::Dash : SegmentKind::Dot;
            previous = node / 2 == 1 ? START_STATE : GAP_STATES + node / 2;
        } else if (state < START_STATE) {
            const int node = state - GAP_STATES;
            length = m_gaps.Length(node, boundary);
            kind = SegmentKind::ElementGap;
            previous = MARK_STATES + node;
        } else if (state == START_STATE) {
            length = m_startLength[b];
            previous = m_startFrom[b] != 0 ? MARK_STATES + m_startFrom[b] : LONG_STATE;
        } else {
            length = LONGEST_GAP;
            previous = m_longFrom[b] != 0 ? MARK_STATES + m_longFrom[b] : LONG_STATE;
        }
        if (length == 0 && state != START_STATE)
            length = 1; // cannot happen on a path that was reached; never loop
        const qint64 start = std::max(boundary - length, nDecided);
        if (start < boundary)
            path.push_back({state < GAP_STATES, kind, start, boundary});
        state = previous;
        boundary = start;
    }
}

} // namespace cw
