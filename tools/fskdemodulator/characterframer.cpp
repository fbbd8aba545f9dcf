#include "tools/fskdemodulator/characterframer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fsk {

namespace {

constexpr int DATA_BITS = 5;
constexpr int STOP_BIT = DATA_BITS + 1;
/// How far a transition may lie from its expected place and still steer the timing (bits).
constexpr double TRANSITION_WINDOW = 0.4;
/// The share of a transition's timing error taken into the character's phase: large while the
/// timing is new, falling as characters keep arriving on their grid, since one transition in
/// noise is off by a tenth of a bit or more and only many of them together place the grid.
constexpr double ACQUIRE_GAIN = 0.3;
constexpr double TRACK_GAIN = 0.04;
/// The bit length follows this share of the phase gain; it may drift this far from the
/// nominal one.
constexpr double PERIOD_SHARE = 0.02;
constexpr double PERIOD_RANGE = 0.03;
/// After this many characters on the grid, a space stop bit is taken for a bit error and the
/// grid kept; each framing error halves the count.
constexpr int TRUSTED_GRID = 3;
/// After this many characters on the grid, the grid is confirmed: the characters framed
/// before it are framed again on it, and characters are given out as they are framed. Until
/// then they wait, for at most this many bits.
constexpr int CONFIRMED_GRID = 3;
constexpr double LOOK_BACK_BITS = 160.0;
/// Going back on the grid, this many characters in a row may come out broken (bit errors),
/// and each may lie this many refinement steps either side of the grid: enough for a sender's
/// bit a few per cent off, too little to follow the wrong pitch, half a bit a character off.
constexpr int MAX_GRID_MISSES = 1;
constexpr int GRID_STEPS = 3;
/// Another pitch replaces the grid's when it frames this many characters more going back.
constexpr size_t PITCH_LEAD = 2;
/// A transition this recent (bits) when a stop bit fails may be the next start bit.
constexpr double RESYNC_WINDOW = 0.85;
/// Lengths of a whole character (bits) with 1, 1.5 and 2 stop bits.
constexpr size_t STOP_LENGTHS = 3;
constexpr double CHARACTER_BITS[STOP_LENGTHS] = {7.0, 7.5, 8.0};
/// A start this close to the character grid (bits) is drawn onto it, taking the phase gain's
/// share of its own timing.
constexpr double GRID_WINDOW = 0.4;
/// Each character spacing seen is a vote that fades over some ten characters; without a
/// recent vote there is no grid.
constexpr double VOTE_MEMORY = 0.9;
constexpr double MIN_VOTE = 0.3;
/// How far (bits) the timing of a whole character may be moved when it is looked at again, in
/// how many steps each way, and how much a move of one bit off the grid costs (against the
/// typical decided value): little on a new grid, more with each character on it, up to a
/// most. One character's values in noise put its timing a tenth of a bit off or more, which
/// costs the next bits a fifth of their margin; the grid of many characters is surer.
constexpr double REFINE_RANGE = 0.35;
constexpr int REFINE_STEPS = 6;
/// Before the characters have a grid, a start taken from a noisy fall may also be more than a
/// third of a bit early: the timing of those first characters is looked for this many steps
/// later as well, and their stop bit decided that much later.
constexpr int FIRST_LATE_STEPS = 11;
constexpr double GRID_STIFFNESS_STEP = 4.0;
constexpr double GRID_STIFFNESS = 30.0;
/// On the grid, a start bit is taken when the value is space at its decision point or this
/// far (bits) either side of it.
constexpr double START_CHECK_SPREAD = 0.25;
/// How early (bits) a start bit may come after a character with one stop bit.
constexpr double EARLIEST_START = 0.25;
/// How far into space (against the typical decided value) a start bit must go.
constexpr float START_DEPTH = 0.3f;
/// The typical decided value is followed over about this many bits.
constexpr float SWING_BITS = 32.0f;

} // namespace

CharacterFramer::CharacterFramer(double dBitSamples, bool bRefineTiming)
    : m_dNominalBit(dBitSamples), m_bRefineTiming(bRefineTiming), m_dBit(dBitSamples),
      m_history(size_t(std::ceil((LOOK_BACK_BITS + STOP_BIT + 1.0 + REFINE_RANGE +
                                  FIRST_LATE_STEPS * REFINE_RANGE / REFINE_STEPS) *
                                 dBitSamples * (1.0 + PERIOD_RANGE))) +
                2)
{
}

int CharacterFramer::Push(float fValue)
{
    ++m_nSample;
    m_history[m_nHistoryNext] = fValue;
    if (++m_nHistoryNext == m_history.size())
        m_nHistoryNext = 0;
    const float previous = m_fPrevious;
    m_fPrevious = fValue;
    const bool crossed = (previous >= 0.0f) != (fValue >= 0.0f) && m_nSample > 0;
    double crossing = 0.0;
    if (crossed) {
        // Linear interpolation puts the transition between the two samples.
        crossing = double(m_nSample - 1) + double(previous) / double(previous - fValue);
        if (fValue < 0.0f)
            noteFall(crossing);
    }
    if (fValue > START_DEPTH * m_fSwing)
        m_bClearMark = true;
    if (!m_waiting.empty())
        releaseWaiting(double(m_nSample) - LOOK_BACK_BITS * m_dBit);
    if (!m_bInFrame && !lookForStart(fValue))
        return eNOTHING;
    if (crossed)
        followTransition(crossing);
    // The stop bit waits until the whole character can be looked at again (see refineTiming).
    const double due = m_dFrameStart + (m_nBitIndex + 0.5) * m_dBit +
                       (m_nBitIndex == STOP_BIT ? lateRange() * m_dBit : 0.0);
    if (double(m_nSample) < due)
        return eNOTHING;
    return decideBit(fValue);
}

void CharacterFramer::noteFall(double dCrossing)
{
    if (m_bClearMark)
        m_dFirstFall = dCrossing;
    m_bClearMark = false;
    m_dLastFall = dCrossing;
}

double CharacterFramer::fallMiddle() const
{
    // Noise near the zero crossing of a slow fall makes several crossings; the fall lies
    // between the first after the value was clearly mark and the last.
    return m_dFirstFall > m_dSearchFrom ? 0.5 * (m_dFirstFall + m_dLastFall) : m_dLastFall;
}

bool CharacterFramer::lookForStart(float fValue)
{
    if (m_nOnGrid > 0 && !awaitGrid())
        return m_bInFrame;
    // The start bit began at the latest fall before the value went clearly to space:
    // noise that dips below zero and comes back does not start a character.
    if (m_dLastFall > m_dSearchFrom && fValue < -START_DEPTH * m_fSwing)
        startOnGridOrCrossing(fallMiddle());
    return m_bInFrame;
}

double CharacterFramer::gain() const
{
    return std::max(TRACK_GAIN, ACQUIRE_GAIN / (1.0 + m_nOnGrid));
}

bool CharacterFramer::hasGrid() const
{
    return *std::max_element(m_votes, m_votes + STOP_LENGTHS) >= MIN_VOTE;
}

double CharacterFramer::gridStart() const
{
    return m_dPreviousStart + pitchBits() * m_dBit;
}

int CharacterFramer::lateSteps() const
{
    if (!m_bRefineTiming)
        return 0;
    return m_bFrameOnGrid || hasGrid() ? REFINE_STEPS : FIRST_LATE_STEPS;
}

double CharacterFramer::lateRange() const
{
    return std::max(lateSteps(), REFINE_STEPS) * REFINE_RANGE / REFINE_STEPS;
}

double CharacterFramer::pitchBits() const
{
    return CHARACTER_BITS[size_t(std::max_element(m_votes, m_votes + STOP_LENGTHS) - m_votes)];
}

bool CharacterFramer::isSpaceNear(double dSample) const
{
    for (const double offset : {-START_CHECK_SPREAD, 0.0, START_CHECK_SPREAD}) {
        if (valueAt(dSample + offset * m_dBit) < 0.0f)
            return true;
    }
    return false;
}

bool CharacterFramer::awaitGrid()
{
    // Characters sent back to back: the next start bit is where the grid puts it. A fall before
    // then is noise in the stop bit; if the start bit has not come by its decision point, the
    // sender paused and the start is searched afresh. The start bit is looked for a little
    // either side of that point: a grid a quarter bit off, or one noisy value there, must not
    // drop the grid, as a start searched afresh in back-to-back text lands on a data bit.
    const double predicted = gridStart();
    if (double(m_nSample) < predicted + (0.5 + START_CHECK_SPREAD) * m_dBit)
        return m_dLastFall > predicted - GRID_WINDOW * m_dBit;
    if (isSpaceNear(predicted + 0.5 * m_dBit)) {
        startFrame(predicted, true);
        m_dSpacingBits = pitchBits();
        return false;
    }
    m_nOnGrid = 0;
    return true;
}

void CharacterFramer::startFrame(double dCrossing, bool bOnGrid)
{
    m_bInFrame = true;
    m_bFrameOnGrid = bOnGrid;
    m_dSpacingBits = 0.0;
    m_nBitIndex = 0;
    m_dFrameStart = dCrossing;
}

void CharacterFramer::startOnGridOrCrossing(double dCrossing)
{
    // Characters sent back to back start on a grid of whole characters: learn its pitch
    // (7, 7.5 or 8 bits for 1, 1.5 or 2 stop bits) and draw a start near the grid onto it.
    const double expected = gridStart();
    if (!hasGrid() || std::abs(dCrossing - expected) >= GRID_WINDOW * m_dBit)
        startFrame(dCrossing, false);
    else
        startFrame(expected + gain() * (dCrossing - expected), true);
    m_dSpacingBits = (dCrossing - m_dPreviousStart) / m_dBit;
}

float CharacterFramer::valueAt(double dSample) const
{
    const int64_t sample = std::min(m_nSample, int64_t(std::lround(dSample)));
    // The newest value sits just before the next to write.
    const size_t back = size_t(
        std::min<int64_t>(m_nSample - std::max<int64_t>(0, sample), int64_t(m_history.size()) - 1));
    return m_history[(m_nHistoryNext + m_history.size() - 1 - back) % m_history.size()];
}

bool CharacterFramer::refineTiming()
{
    // One transition in noise is off by a tenth of a bit or more. With the whole character at
    // hand, the timing that puts its bits' decision points where the values are largest (start
    // space, data either way, stop mark) is taken; on the grid, moving away from the grid's
    // timing costs, the more the longer the grid has held.
    const int steps = m_bRefineTiming ? REFINE_STEPS : 0;
    const double stiffness = std::min(GRID_STIFFNESS, GRID_STIFFNESS_STEP * (1.0 + m_nOnGrid));
    m_dFrameStart =
        clearestStart(m_dFrameStart, steps, lateSteps(), m_bFrameOnGrid ? stiffness : 0.0);
    const Frame decided = frameAt(m_dFrameStart);
    m_frame.nCode = decided.nCode;
    m_frame.nLeastSureBit = decided.nLeastSureBit;
    m_frame.fLeastSureMargin = decided.fLeastSureMargin;
    return !decided.bFramingError;
}

double CharacterFramer::clearestStart(double dStart, int nEarlySteps, int nLateSteps,
                                      double dStiffness) const
{
    const double step = REFINE_RANGE * m_dBit / REFINE_STEPS;
    const double penalty = dStiffness * m_fSwing;
    double bestScore = -1e30;
    double bestShift = 0.0;
    for (int i = -nEarlySteps; i <= nLateSteps; ++i) {
        const double shift = i * step;
        const double first = dStart + shift + 0.5 * m_dBit;
        double score = -valueAt(first) + valueAt(first + STOP_BIT * m_dBit);
        for (int bit = 1; bit <= DATA_BITS; ++bit)
            score += std::abs(valueAt(first + bit * m_dBit));
        const double off = shift / m_dBit;
        score -= penalty * off * off;
        if (score > bestScore) {
            bestScore = score;
            bestShift = shift;
        }
    }
    return dStart + bestShift;
}

CharacterFramer::Frame CharacterFramer::frameAt(double dStart) const
{
    Frame frame;
    frame.dStartSample = dStart;
    const double first = dStart + 0.5 * m_dBit;
    float leastSure = 1e30f;
    for (int bit = 1; bit <= DATA_BITS; ++bit) {
        const float value = valueAt(first + bit * m_dBit);
        if (value >= 0.0f)
            frame.nCode |= 1u << (bit - 1);
        if (std::abs(value) < leastSure) {
            leastSure = std::abs(value);
            frame.nLeastSureBit = unsigned(bit - 1);
        }
    }
    frame.fLeastSureMargin = leastSure / std::max(m_fSwing, 1e-20f);
    frame.bFramingError = valueAt(first + STOP_BIT * m_dBit) < 0.0f;
    return frame;
}

bool CharacterFramer::isClearStart(float fValue) const
{
    const float depth = -START_DEPTH * m_fSwing;
    if (fValue <= depth)
        return true;
    // Before the characters have a grid (the first ones of a transmission), a start taken
    // from a noisy fall is often a third of a bit late, and its decision point then takes in
    // the next bit: a quarter bit earlier the start bit shows clearly. The character's timing
    // is refined before its bits are decided. Once a grid was there, a start off it must be
    // clear where it was found: back-to-back text has many falls that are no start.
    return m_bRefineTiming && !hasGrid() &&
           valueAt(m_dFrameStart + (0.5 - START_CHECK_SPREAD) * m_dBit) <= depth;
}

void CharacterFramer::voteSpacing()
{
    // Only a character that ended in a mark stop bit tells the spacing: a noise fall taken
    // for a start bit would teach a wrong one.
    for (size_t i = 0; i < STOP_LENGTHS; ++i) {
        m_votes[i] *= VOTE_MEMORY;
        if (std::abs(m_dSpacingBits - CHARACTER_BITS[i]) < GRID_WINDOW)
            m_votes[i] += 1.0;
    }
}

void CharacterFramer::followTransition(double dCrossing)
{
    const double bits = (dCrossing - m_dFrameStart) / m_dBit;
    const double nearest = std::round(bits);
    if (nearest < 1.0 || nearest > STOP_BIT || std::abs(bits - nearest) > TRANSITION_WINDOW)
        return;
    const double error = dCrossing - (m_dFrameStart + nearest * m_dBit);
    const double phaseGain = gain();
    m_dFrameStart += phaseGain * error;
    m_dBit += PERIOD_SHARE * phaseGain * error / nearest;
    m_dBit = std::clamp(m_dBit, m_dNominalBit * (1.0 - PERIOD_RANGE),
                        m_dNominalBit * (1.0 + PERIOD_RANGE));
}

int CharacterFramer::decideBit(float fValue)
{
    const bool mark = fValue >= 0.0f;
    m_bLastBitMark = mark;
    // A plain mean over the first bits, then a moving one.
    if (m_nDecided < unsigned(SWING_BITS))
        ++m_nDecided;
    m_fSwing += (std::abs(fValue) - m_fSwing) / float(m_nDecided);
    if (m_nBitIndex == 0) {
        // A start bit that is mark at its end was a noise dip: look again. Off the grid, where
        // nothing else confirms it, it must be clearly space. On a grid that held, a start
        // whose timing noisy transitions pulled late goes back to the grid's place if it shows
        // space there (deciding it again on every sample until a value came out space dragged
        // the typical decided value down to a third).
        if (m_bFrameOnGrid && mark && m_nOnGrid > 0 && isSpaceNear(gridStart() + 0.5 * m_dBit)) {
            m_dFrameStart = gridStart();
        } else if (m_bFrameOnGrid ? mark : !isClearStart(fValue)) {
            m_bInFrame = false;
            m_dSearchFrom = m_dFrameStart;
        }
        ++m_nBitIndex;
        return eBIT;
    }
    if (m_nBitIndex <= DATA_BITS) {
        ++m_nBitIndex;
        return eBIT;
    }
    // The stop bit is decided late, on the refined timing: no eBIT, as the filters have moved on.
    const bool stopMark = refineTiming();
    m_frame.bFramingError = !stopMark;
    m_frame.dStartSample = m_dFrameStart;
    if (m_bRefineTiming)
        m_waiting.push_back({m_frame, m_bFrameOnGrid});
    m_dPreviousStart = m_dFrameStart;
    m_bInFrame = false;
    m_dSearchFrom = double(m_nSample) - 0.5 * m_dBit;
    if (stopMark) {
        // The next start bit comes after at least one whole stop bit.
        m_dSearchFrom = m_dFrameStart + (CHARACTER_BITS[0] - EARLIEST_START) * m_dBit;
        voteSpacing();
        m_nOnGrid = m_bFrameOnGrid ? m_nOnGrid + 1 : 0;
    } else {
        // A framing error on a grid that many characters confirmed is a bit error: keep the
        // grid.
        const bool trusted = m_nOnGrid >= TRUSTED_GRID;
        m_nOnGrid = trusted ? m_nOnGrid / 2 : 0;
        if (!trusted && double(m_nSample) - m_dLastFall < RESYNC_WINDOW * m_dBit &&
            m_dLastFall > m_dFrameStart)
            startFrame(m_dLastFall, false);
    }
    if (m_bRefineTiming && m_nOnGrid >= CONFIRMED_GRID) {
        reframeBeforeGrid();
        releaseWaiting(std::numeric_limits<double>::infinity());
    }
    return eFRAME;
}

void CharacterFramer::Finish()
{
    releaseWaiting(std::numeric_limits<double>::infinity());
}

bool CharacterFramer::TakeFrame(Frame& frame)
{
    if (m_ready.empty())
        return false;
    frame = m_ready.front();
    m_ready.pop_front();
    return true;
}

void CharacterFramer::releaseWaiting(double dBefore)
{
    while (!m_waiting.empty() && m_waiting.front().frame.dStartSample < dBefore) {
        m_ready.push_back(m_waiting.front().frame);
        m_waiting.pop_front();
    }
}

void CharacterFramer::reframeBeforeGrid()
{
    // The characters before the grid was confirmed were framed from falls, which noise moves
    // by a bit or more at the start of a transmission. Sent back to back, they lie on the grid
    // too: they are framed again on it, going back from the first character on the grid until
    // the characters come out broken (the idle before the transmission, or a pause). A grid
    // whose pitch came from one noisy spacing breaks them soon: the pitch that frames most of
    // them is taken, and the grid goes on with it.
    size_t run = m_waiting.size();
    while (run > 0 && m_waiting[run - 1].bOnGrid)
        --run;
    if (run == 0 || run == m_waiting.size())
        return;
    const double anchor = m_waiting[run].frame.dStartSample;
    const double earliest = m_waiting.front().frame.dStartSample - 0.5 * m_dBit;
    const size_t voted = size_t(std::max_element(m_votes, m_votes + STOP_LENGTHS) - m_votes);
    std::deque<Waiting> framed = framedBack(anchor, earliest, CHARACTER_BITS[voted]);
    size_t best = voted;
    for (size_t i = 0; i < STOP_LENGTHS; ++i) {
        std::deque<Waiting> other = framedBack(anchor, earliest, CHARACTER_BITS[i]);
        if (other.size() >= framed.size() + PITCH_LEAD) {
            framed.swap(other);
            best = i;
        }
    }
    if (best != voted) {
        // The characters on the grid so far were framed on the wrong pitch: frame them again
        // on the right one, from the first, and go on from the last.
        m_votes[best] = m_votes[voted] + 1.0;
        const double pitch = CHARACTER_BITS[best] * m_dBit;
        const double stiffness = GRID_STIFFNESS_STEP * (1.0 + CONFIRMED_GRID);
        double start = anchor;
        for (size_t i = run + 1; i < m_waiting.size(); ++i) {
            start = clearestStart(start + pitch, GRID_STEPS, GRID_STEPS, stiffness);
            m_waiting[i].frame = frameAt(start);
        }
        m_dPreviousStart = start;
    }
    if (framed.empty())
        return;
    const double firstFramed = framed.front().frame.dStartSample - 0.5 * pitchBits() * m_dBit;
    size_t kept = 0;
    while (kept < run && m_waiting[kept].frame.dStartSample < firstFramed)
        ++kept;
    m_waiting.erase(m_waiting.begin() + long(kept), m_waiting.begin() + long(run));
    m_waiting.insert(m_waiting.begin() + long(kept), framed.begin(), framed.end());
}

std::deque<CharacterFramer::Waiting> CharacterFramer::framedBack(double dAnchor, double dEarliest,
                                                                 double dPitchBits) const
{
    const double pitch = dPitchBits * m_dBit;
    const double stiffness = GRID_STIFFNESS_STEP * (1.0 + CONFIRMED_GRID);
    std::deque<Waiting> framed;
    int misses = 0;
    for (double next = dAnchor - pitch; next >= dEarliest;) {
        const double start = clearestStart(next, GRID_STEPS, GRID_STEPS, stiffness);
        const Frame frame = frameAt(start);
        const bool startSpace = valueAt(start + 0.5 * m_dBit) < 0.0f;
        misses = startSpace && !frame.bFramingError ? 0 : misses + 1;
        if (misses > MAX_GRID_MISSES)
            break;
        framed.push_front({frame, true});
        next = start - pitch;
    }
    // A broken character at the far end begins nothing: the transmission began after it.
    while (!framed.empty() && (framed.front().frame.bFramingError ||
                               valueAt(framed.front().frame.dStartSample + 0.5 * m_dBit) >= 0.0f))
        framed.pop_front();
    return framed;
}

} // namespace fsk
