#include "tools/fskdemodulator/characterframer.h"

#include "tools/morsedsp/takefront.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>

namespace fsk {

namespace {

constexpr int DATA_BITS = 5;
constexpr int STOP_BIT = DATA_BITS + 1;
constexpr unsigned ALL_MARK = (1u << DATA_BITS) - 1;
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
/// Once the grid is confirmed, the characters framed before it are framed again on it, and
/// characters are given out as they are framed. Until then they wait, for at most this many
/// bits.
constexpr double LOOK_BACK_BITS = 160.0;
/// Going back on the grid, this many characters in a row may come out broken (bit errors),
/// and each may lie this many refinement steps either side of the grid: enough for a sender's
/// bit a few per cent off, too little to follow the wrong pitch, half a bit a character off.
constexpr int MAX_GRID_MISSES = 1;
constexpr int GRID_STEPS = 3;
/// Another pitch replaces the grid's when it frames this many characters more going back.
constexpr size_t PITCH_LEAD = 2;
/// After this many characters on the grid in a row, the grid holds against a start bit that
/// noise hid (it is framed all the same, and dropped if it shows no space at all: the sender
/// paused) and against a fall off the grid before the grid's start was looked at.
constexpr int HELD_GRID = 8;
/// A start bit hidden by noise is weakly mark at most; an idle line is clearly mark.
constexpr float HIDDEN_START = 0.5f;
/// A transition this recent (bits) when a stop bit fails may be the next start bit.
constexpr double RESYNC_WINDOW = 0.85;
/// A start this close to the character grid (bits) is drawn onto it, taking the phase gain's
/// share of its own timing.
constexpr double GRID_WINDOW = CharacterGrid::WINDOW_BITS;
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
    m_history.Push(fValue);
    const int64_t sample = m_history.NewestSample();
    const bool crossed = m_transitions.Push(sample, fValue, START_DEPTH * m_swing.Value());
    if (!m_waiting.empty())
        releaseWaiting(double(sample) - LOOK_BACK_BITS * m_dBit);
    if (!m_bInFrame && !lookForStart(fValue))
        return eNOTHING;
    if (crossed)
        followTransition(m_transitions.Crossing());
    // The stop bit waits until the whole character can be looked at again (see refineTiming).
    const double due = m_dFrameStart + (m_nBitIndex + 0.5) * m_dBit +
                       (m_nBitIndex == STOP_BIT ? lateRange() * m_dBit : 0.0);
    if (double(sample) < due)
        return eNOTHING;
    return decideBit(fValue);
}

bool CharacterFramer::lookForStart(float fValue)
{
    if (m_grid.CharactersOnGrid() > 0 && !awaitGrid())
        return m_bInFrame;
    // The start bit began at the latest fall before the value went clearly to space:
    // noise that dips below zero and comes back does not start a character.
    if (m_transitions.LastFall() > m_dSearchFrom && fValue < -START_DEPTH * m_swing.Value())
        startOnGridOrCrossing(m_transitions.FallMiddle(m_dSearchFrom));
    return m_bInFrame;
}

double CharacterFramer::gain() const
{
    return std::max(TRACK_GAIN, ACQUIRE_GAIN / (1.0 + m_grid.CharactersOnGrid()));
}

int CharacterFramer::lateSteps() const
{
    if (!m_bRefineTiming)
        return 0;
    return m_bFrameOnGrid || m_grid.HasPitch() ? REFINE_STEPS : FIRST_LATE_STEPS;
}

double CharacterFramer::lateRange() const
{
    return std::max(lateSteps(), REFINE_STEPS) * REFINE_RANGE / REFINE_STEPS;
}

bool CharacterFramer::isSpaceNear(double dSample) const
{
    for (const double offset : {-START_CHECK_SPREAD, 0.0, START_CHECK_SPREAD}) {
        if (m_history.ValueAt(dSample + offset * m_dBit) < 0.0f)
            return true;
    }
    return false;
}

bool CharacterFramer::isHeldGrid() const
{
    return m_grid.CharactersOnGrid() >= HELD_GRID;
}

bool CharacterFramer::isHiddenStart(double dStart) const
{
    return isHeldGrid() &&
           m_history.ValueAt(dStart + 0.5 * m_dBit) < HIDDEN_START * m_swing.Value();
}

bool CharacterFramer::awaitGrid()
{
    // Characters sent back to back: the next start bit is where the grid puts it. A fall before
    // then is noise in the stop bit; if the start bit has not come by its decision point, the
    // sender paused and the start is searched afresh. The start bit is looked for a little
    // either side of that point: a grid a quarter bit off, or one noisy value there, must not
    // drop the grid, as a start searched afresh in back-to-back text lands on a data bit. On a
    // grid that held, a start bit that noise made weakly mark all along is framed as well.
    const double predicted = m_grid.NextStart(m_dBit);
    if (double(m_history.NewestSample()) < predicted + (0.5 + START_CHECK_SPREAD) * m_dBit)
        return m_transitions.LastFall() > predicted - GRID_WINDOW * m_dBit;
    const bool seen = isSpaceNear(predicted + 0.5 * m_dBit);
    if (seen || isHiddenStart(predicted)) {
        startFrame(predicted, true);
        m_bUnseenStart = !seen;
        m_grid.StartOnGrid();
        return false;
    }
    m_grid.Lose();
    return true;
}

void CharacterFramer::startFrame(double dCrossing, bool bOnGrid)
{
    m_bInFrame = true;
    m_bFrameOnGrid = bOnGrid;
    m_bUnseenStart = false;
    m_grid.ForgetSpacing();
    m_nBitIndex = 0;
    m_dFrameStart = dCrossing;
}

void CharacterFramer::startOnGridOrCrossing(double dCrossing)
{
    // Characters sent back to back start on a grid of whole characters: learn its pitch
    // (7, 7.5 or 8 bits for 1, 1.5 or 2 stop bits) and draw a start near the grid onto it.
    const double expected = m_grid.NextStart(m_dBit);
    const bool offGrid = std::abs(dCrossing - expected) >= GRID_WINDOW * m_dBit;
    // On a grid that held, a fall off it is noise in a bit: the grid's own start is awaited.
    if (m_grid.HasPitch() && offGrid && isHeldGrid())
        return;
    if (!m_grid.HasPitch() || offGrid)
        startFrame(dCrossing, false);
    else
        startFrame(expected + gain() * (dCrossing - expected), true);
    m_grid.StartAt(dCrossing, m_dBit);
}

bool CharacterFramer::refineTiming()
{
    // One transition in noise is off by a tenth of a bit or more. With the whole character at
    // hand, the timing that puts its bits' decision points where the values are largest (start
    // space, data either way, stop mark) is taken; on the grid, moving away from the grid's
    // timing costs, the more the longer the grid has held.
    const int steps = m_bRefineTiming ? REFINE_STEPS : 0;
    const double stiffness =
        std::min(GRID_STIFFNESS, GRID_STIFFNESS_STEP * (1.0 + m_grid.CharactersOnGrid()));
    m_dFrameStart =
        clearestStart(m_dFrameStart, steps, lateSteps(), m_bFrameOnGrid ? stiffness : 0.0);
    const Frame decided = frameAt(m_dFrameStart);
    m_frame.nCode = decided.nCode;
    std::copy(std::begin(decided.afMargins), std::end(decided.afMargins),
              std::begin(m_frame.afMargins));
    return !decided.bFramingError;
}

double CharacterFramer::clearestStart(double dStart, int nEarlySteps, int nLateSteps,
                                      double dStiffness) const
{
    const double step = REFINE_RANGE * m_dBit / REFINE_STEPS;
    const double penalty = dStiffness * m_swing.Value();
    double bestScore = -1e30;
    double bestShift = 0.0;
    for (int i = -nEarlySteps; i <= nLateSteps; ++i) {
        const double shift = i * step;
        const double first = dStart + shift + 0.5 * m_dBit;
        double score = -m_history.ValueAt(first) + m_history.ValueAt(first + STOP_BIT * m_dBit);
        for (int bit = 1; bit <= DATA_BITS; ++bit)
            score += std::abs(m_history.ValueAt(first + bit * m_dBit));
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
    const float typical = std::max(m_swing.Value(), 1e-20f);
    for (int bit = 1; bit <= DATA_BITS; ++bit) {
        const float value = m_history.ValueAt(first + bit * m_dBit);
        if (value >= 0.0f)
            frame.nCode |= 1u << (bit - 1);
        frame.afMargins[bit - 1] = std::abs(value) / typical;
    }
    frame.bFramingError = m_history.ValueAt(first + STOP_BIT * m_dBit) < 0.0f;
    return frame;
}

bool CharacterFramer::isClearStart(float fValue) const
{
    const float depth = -START_DEPTH * m_swing.Value();
    if (fValue <= depth)
        return true;
    // Before the characters have a grid (the first ones of a transmission), a start taken
    // from a noisy fall is often a third of a bit late, and its decision point then takes in
    // the next bit: a quarter bit earlier the start bit shows clearly. The character's timing
    // is refined before its bits are decided. Once a grid was there, a start off it must be
    // clear where it was found: back-to-back text has many falls that are no start.
    return m_bRefineTiming && !m_grid.HasPitch() &&
           m_history.ValueAt(m_dFrameStart + (0.5 - START_CHECK_SPREAD) * m_dBit) <= depth;
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
    m_swing.Add(fValue);
    if (m_nBitIndex == 0) {
        // A start bit that is mark at its end was a noise dip: look again. Off the grid, where
        // nothing else confirms it, it must be clearly space. On a grid that held, a start
        // whose timing noisy transitions pulled late goes back to the grid's place if it shows
        // space there (deciding it again on every sample until a value came out space dragged
        // the typical decided value down to a third).
        if (m_bFrameOnGrid && mark && m_grid.CharactersOnGrid() > 0 &&
            isSpaceNear(m_grid.NextStart(m_dBit) + 0.5 * m_dBit)) {
            m_dFrameStart = m_grid.NextStart(m_dBit);
        } else if (m_bUnseenStart) {
            // Framed on a grid that held: its bits tell a character from a pause.
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
    if (m_bUnseenStart && m_frame.nCode == ALL_MARK) {
        // No start bit and nothing but mark: the sender paused.
        m_bInFrame = false;
        m_bUnseenStart = false;
        m_grid.Lose();
        m_dSearchFrom = m_dFrameStart;
        return eNOTHING;
    }
    m_frame.bFramingError = !stopMark;
    m_frame.dStartSample = m_dFrameStart;
    if (m_bRefineTiming)
        m_waiting.push_back({m_frame, m_bFrameOnGrid});
    m_bInFrame = false;
    m_dSearchFrom = double(m_history.NewestSample()) - 0.5 * m_dBit;
    if (stopMark) {
        // The next start bit comes after at least one whole stop bit.
        m_dSearchFrom =
            m_dFrameStart + (CharacterGrid::CHARACTER_BITS[0] - EARLIEST_START) * m_dBit;
        m_grid.EndInMark(m_dFrameStart, m_bFrameOnGrid);
    } else {
        // A framing error on a grid that many characters confirmed is a bit error: the grid
        // holds. Otherwise a recent fall may be the next start bit.
        const bool trusted = m_grid.EndInSpace(m_dFrameStart);
        if (!trusted &&
            double(m_history.NewestSample()) - m_transitions.LastFall() < RESYNC_WINDOW * m_dBit &&
            m_transitions.LastFall() > m_dFrameStart)
            startFrame(m_transitions.LastFall(), false);
    }
    if (m_bRefineTiming && m_grid.IsConfirmed()) {
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
    return dsp::takeFront(m_ready, frame);
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
    const size_t voted = m_grid.VotedLength();
    std::deque<Waiting> framed = framedBack(anchor, earliest, CharacterGrid::CHARACTER_BITS[voted]);
    size_t best = voted;
    for (size_t i = 0; i < CharacterGrid::STOP_LENGTHS; ++i) {
        std::deque<Waiting> other = framedBack(anchor, earliest, CharacterGrid::CHARACTER_BITS[i]);
        if (other.size() >= framed.size() + PITCH_LEAD) {
            framed.swap(other);
            best = i;
        }
    }
    if (best != voted) {
        // The characters on the grid so far were framed on the wrong pitch: frame them again
        // on the right one, from the first, and go on from the last.
        const double pitch = CharacterGrid::CHARACTER_BITS[best] * m_dBit;
        const double stiffness = GRID_STIFFNESS_STEP * (1.0 + CharacterGrid::CONFIRMED);
        double start = anchor;
        for (size_t i = run + 1; i < m_waiting.size(); ++i) {
            start = clearestStart(start + pitch, GRID_STEPS, GRID_STEPS, stiffness);
            m_waiting[i].frame = frameAt(start);
        }
        m_grid.MoveTo(best, start);
    }
    if (framed.empty())
        return;
    const double firstFramed =
        framed.front().frame.dStartSample - 0.5 * m_grid.PitchBits() * m_dBit;
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
    const double stiffness = GRID_STIFFNESS_STEP * (1.0 + CharacterGrid::CONFIRMED);
    std::deque<Waiting> framed;
    int misses = 0;
    for (double next = dAnchor - pitch; next >= dEarliest;) {
        const double start = clearestStart(next, GRID_STEPS, GRID_STEPS, stiffness);
        const Frame frame = frameAt(start);
        const bool startSpace = m_history.ValueAt(start + 0.5 * m_dBit) < 0.0f;
        misses = startSpace && !frame.bFramingError ? 0 : misses + 1;
        if (misses > MAX_GRID_MISSES)
            break;
        framed.push_front({frame, true});
        next = start - pitch;
    }
    // A broken character at the far end begins nothing: the transmission began after it.
    while (!framed.empty() &&
           (framed.front().frame.bFramingError ||
            m_history.ValueAt(framed.front().frame.dStartSample + 0.5 * m_dBit) >= 0.0f))
        framed.pop_front();
    return framed;
}

} // namespace fsk
