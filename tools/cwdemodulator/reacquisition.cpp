#include "tools/cwdemodulator/reacquisition.h"

#include "tools/cwdemodulator/speedacquisition.h"

#include <algorithm>

namespace cw {

namespace {

/// Element lengths within this ratio of each other are one speed, for a re-acquisition.
constexpr double SAME_SPEED_RATIO = 1.5;

} // namespace

Reacquisition::Reacquisition(double dSampleRate) : m_dSampleRate(dSampleRate)
{
    // Room for the seconds kept and those dropped until the run is compacted, taken once
    // rather than grown sample by sample.
    m_recent.Reserve(
        2 * size_t((SpeedAcquisition::MIN_SEC + SpeedAcquisition::INTERVAL_SEC) * dSampleRate));
}

void Reacquisition::Start(size_t nHeld)
{
    m_recent.Clear();
    m_nFreshLeft = nHeld + size_t(HOLD_SEC * m_dSampleRate);
    m_bFirstReading = !m_bReacquiring;
    m_bReacquiring = false;
    m_bSecondReadingDue = false;
    m_bLevelDoubted = false;
}

void Reacquisition::Push(const std::complex<float>& sample)
{
    // As many seconds as an acquisition needs, trimmed by whole seconds from the reading's
    // start, so that the cost per sample stays a push; all of a fresh reading.
    const size_t kept = size_t(SpeedAcquisition::MIN_SEC * m_dSampleRate);
    const size_t interval = size_t(SpeedAcquisition::INTERVAL_SEC * m_dSampleRate);
    m_recent.Push(sample);
    if (m_nFreshLeft > 0) {
        if (--m_nFreshLeft == 0)
            m_bSecondReadingDue = m_bFirstReading;
    } else if (m_recent.size() >= kept + interval) {
        m_recent.DropOldest((m_recent.size() - kept) / interval * interval);
    }
}

void Reacquisition::Begin(std::int64_t nNext, double dUnit, std::int64_t nGivenOut,
                          SpeedAcquisition& acquisition)
{
    m_nRereadFrom = holdKept(nNext, acquisition);
    m_nReacquiredAt = std::max(m_nReacquiredAt, nNext);
    m_recent.Clear();
    m_nFreshLeft = 0;
    m_dUnitBefore = dUnit;
    m_nGivenOutBefore = nGivenOut;
    m_bReacquiring = true;
    m_bSecondReadingDue = false;
    m_bLevelDoubted = false;
    m_pendingAnew = Anew::No;
}

void Reacquisition::BeginAnew(std::int64_t nNext, Anew why, SpeedAcquisition& acquisition)
{
    Begin(nNext, 0.0, -1, acquisition);
    m_pendingAnew = why;
}

bool Reacquisition::TakeSecondReading()
{
    const bool due = m_bSecondReadingDue;
    m_bSecondReadingDue = false;
    return due;
}

void Reacquisition::Lend(std::int64_t nNext, SpeedAcquisition& acquisition) const
{
    holdKept(nNext, acquisition);
}

std::int64_t Reacquisition::holdKept(std::int64_t nNext, SpeedAcquisition& acquisition) const
{
    // Never from before the last time: a reading that fits no better again moves on. The
    // timing may be lost again while the samples of the last time are replayed, before the
    // point it began from: then nothing older is taken.
    const std::int64_t start =
        std::min(nNext, std::max(nNext - std::int64_t(m_recent.size()), m_nReacquiredAt));
    const size_t count = size_t(nNext - start);
    acquisition.Restart(start);
    acquisition.Hold(m_recent.data() + m_recent.size() - count, count);
    return start;
}

bool Reacquisition::Settle(double dUnit)
{
    // A re-acquisition that finds about the speed it left was set off by noise (marks merged
    // near the floor), not by a change of speed: what was given out of the replayed seconds
    // stands, and the replay adds only what follows it. At a new speed the replayed seconds
    // are read again, as the old reading of them was wrong; so are they where that reading's
    // level was doubted.
    m_settledAnew = m_pendingAnew;
    m_pendingAnew = Anew::No;
    if (m_settledAnew != Anew::No)
        return true;
    if (m_nGivenOutBefore < 0)
        return false;
    const double ratio = dUnit / m_dUnitBefore;
    const bool sameSpeed = ratio > 1.0 / SAME_SPEED_RATIO && ratio < SAME_SPEED_RATIO;
    if (sameSpeed)
        m_nReplayedThrough = m_nGivenOutBefore;
    m_nGivenOutBefore = -1;
    return !sameSpeed;
}

} // namespace cw
