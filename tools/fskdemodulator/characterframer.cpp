#include "tools/fskdemodulator/characterframer.h"

#include <algorithm>
#include <cmath>

namespace fsk {

namespace {

constexpr int DATA_BITS = 5;
constexpr int STOP_BIT = DATA_BITS + 1;
/// How far a transition may lie from its expected place and still steer the timing (bits).
constexpr double TRANSITION_WINDOW = 0.4;
/// The share of a transition's timing error taken into the character's phase...
constexpr double PHASE_GAIN = 0.3;
/// ...and into the bit length, which may drift this far from the nominal one.
constexpr double PERIOD_GAIN = 0.02;
constexpr double PERIOD_RANGE = 0.03;
/// A transition this recent (bits) when a stop bit fails may be the next start bit.
constexpr double RESYNC_WINDOW = 0.5;
/// Lengths of a whole character (bits) with 1, 1.5 and 2 stop bits.
constexpr size_t STOP_LENGTHS = 3;
constexpr double CHARACTER_BITS[STOP_LENGTHS] = {7.0, 7.5, 8.0};
/// A start this close to the character grid (bits) is drawn onto it...
constexpr double GRID_WINDOW = 0.25;
/// ...taking this share of its own timing.
constexpr double GRID_GAIN = 0.3;
/// Each character spacing seen is a vote that fades over some ten characters.
constexpr double VOTE_MEMORY = 0.9;
/// How far into space (against the typical decided value) a start bit must go.
constexpr float START_DEPTH = 0.3f;
/// The typical decided value is followed over about this many bits.
constexpr float SWING_BITS = 32.0f;

} // namespace

CharacterFramer::CharacterFramer(double dBitSamples)
    : m_dNominalBit(dBitSamples), m_dBit(dBitSamples)
{
}

int CharacterFramer::Push(float fValue)
{
    ++m_nSample;
    const float previous = m_fPrevious;
    m_fPrevious = fValue;
    const bool crossed = (previous >= 0.0f) != (fValue >= 0.0f) && m_nSample > 0;
    double crossing = 0.0;
    if (crossed) {
        // Linear interpolation puts the transition between the two samples.
        crossing = double(m_nSample - 1) + double(previous) / double(previous - fValue);
        if (fValue < 0.0f)
            m_dLastFall = crossing;
    }
    if (!m_bInFrame) {
        // The start bit began at the latest fall before the value went clearly to space:
        // noise that dips below zero and comes back does not start a character.
        if (m_dLastFall > m_dSearchFrom && fValue < -START_DEPTH * m_fSwing)
            startFrame(expectedStart(m_dLastFall));
        return eNOTHING;
    }
    if (crossed)
        followTransition(crossing);
    const double due = m_dFrameStart + (m_nBitIndex + 0.5) * m_dBit;
    if (double(m_nSample) < due)
        return eNOTHING;
    return decideBit(fValue);
}

void CharacterFramer::startFrame(double dCrossing)
{
    m_bInFrame = true;
    m_nBitIndex = 0;
    m_nCode = 0;
    m_dFrameStart = dCrossing;
}

double CharacterFramer::expectedStart(double dCrossing)
{
    // Characters sent back to back start on a grid of whole characters: learn its pitch
    // (7, 7.5 or 8 bits for 1, 1.5 or 2 stop bits) and draw a start near the grid onto it.
    const double bits = (dCrossing - m_dPreviousStart) / m_dBit;
    for (size_t i = 0; i < STOP_LENGTHS; ++i) {
        m_votes[i] *= VOTE_MEMORY;
        if (std::abs(bits - CHARACTER_BITS[i]) < GRID_WINDOW)
            m_votes[i] += 1.0;
    }
    const size_t likeliest = size_t(std::max_element(m_votes, m_votes + STOP_LENGTHS) - m_votes);
    const double expected = m_dPreviousStart + CHARACTER_BITS[likeliest] * m_dBit;
    if (std::abs(dCrossing - expected) < GRID_WINDOW * m_dBit)
        return expected + GRID_GAIN * (dCrossing - expected);
    return dCrossing;
}

void CharacterFramer::followTransition(double dCrossing)
{
    const double bits = (dCrossing - m_dFrameStart) / m_dBit;
    const double nearest = std::round(bits);
    if (nearest < 1.0 || nearest > STOP_BIT || std::abs(bits - nearest) > TRANSITION_WINDOW)
        return;
    const double error = dCrossing - (m_dFrameStart + nearest * m_dBit);
    m_dFrameStart += PHASE_GAIN * error;
    m_dBit += PERIOD_GAIN * error / nearest;
    m_dBit = std::clamp(m_dBit, m_dNominalBit * (1.0 - PERIOD_RANGE),
                        m_dNominalBit * (1.0 + PERIOD_RANGE));
}

int CharacterFramer::decideBit(float fValue)
{
    const bool mark = fValue >= 0.0f;
    m_bLastBitMark = mark;
    m_fSwing += (std::abs(fValue) - m_fSwing) / SWING_BITS;
    if (m_nBitIndex == 0) {
        // A start bit that is mark at its end was a noise dip: look again.
        if (mark) {
            m_bInFrame = false;
            m_dSearchFrom = m_dFrameStart;
        }
        ++m_nBitIndex;
        return eBIT;
    }
    if (m_nBitIndex <= DATA_BITS) {
        if (mark)
            m_nCode |= 1u << (m_nBitIndex - 1);
        ++m_nBitIndex;
        return eBIT;
    }
    m_frame.nCode = m_nCode;
    m_frame.bFramingError = !mark;
    m_frame.dStartSample = m_dFrameStart;
    m_dPreviousStart = m_dFrameStart;
    m_bInFrame = false;
    m_dSearchFrom = double(m_nSample) - 0.5 * m_dBit;
    if (!mark && double(m_nSample) - m_dLastFall < RESYNC_WINDOW * m_dBit &&
        m_dLastFall > m_dFrameStart)
        startFrame(m_dLastFall);
    return eBIT | eFRAME;
}

} // namespace fsk
