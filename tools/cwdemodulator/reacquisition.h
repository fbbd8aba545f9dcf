#pragma once

#include "tools/morsedsp/slidingrun.h"

#include <complex>
#include <cstddef>
#include <cstdint>

namespace cw {

class SpeedAcquisition;

/// Acquires the speed afresh when the tracking lost the timing (a change of speed beyond what
/// it follows, or a first reading that was wrong): keeps the last seconds of baseband while a
/// transmission is tracked, hands them back to the acquisition, and tells whether the replay of
/// those seconds reads them anew or adds only what follows what was given out of them.
///
/// A reading is fresh until it was tracked for HOLD_SEC past the seconds it was learned from:
/// while it is, every sample of it is kept, so that a reading that stops fitting that soon is
/// read again from its start, and the symbols of a reading that is not clear at once
/// (SpeedAcquisition::Learned::bClear) are held back (SymbolQueue) until it is proven.
///
/// The first reading of a transmission is learned from its first seconds alone, and these can
/// mislead near the noise floor: once that reading is proven (TakeSecondReading()), the seconds
/// kept are read again apart from the tracking (Lend()), and a slower reading that explains
/// them clearly better re-acquires them, as when the timing is lost. The symbols of a first
/// reading that is to be read again so are held back until then too, and dropped with it.
///
/// A reading whose held seconds may hide a moving level (DoubtLevel()) holds its symbols back
/// while fresh too, and is read anew (BeginAnew()): with the level followed from its start
/// should the level be found moving by then, else once proven, from all the seconds kept (its
/// speed and its level were learned from the few marks the held seconds left clear).
///
/// Life: Start() per reading, Push() per sample tracked, Begin() when the timing is lost or a
/// second reading found another speed (BeginAnew() for a doubted reading), Settle() once the
/// acquisition found the speed; ReplayedThrough() speaks for the symbols to give out.
class Reacquisition
{
public:
    /// Why a reading's seconds are read anew (BeginAnew()).
    enum class Anew
    {
        No,        ///< they are not
        Proven,    ///< a reading whose level was doubted was proven
        LevelMoved ///< its level was found moving while fresh: followed from the start
    };

    /// Seconds a reading is tracked past its held seconds before it is proven.
    static constexpr double HOLD_SEC = 2.0;

    explicit Reacquisition(double dSampleRate);

    /// Forgets the samples kept: a reading begins, learned from @p nHeld samples that its
    /// tracking replays first.
    void Start(size_t nHeld);
    /// The next baseband sample tracked.
    void Push(const std::complex<float>& sample);
    /// The reading is not yet proven.
    bool IsFresh() const { return m_nFreshLeft > 0; }
    /// The reading tracked is the first of its transmission, not a re-acquisition.
    bool IsFirstReading() const { return m_bFirstReading; }
    /// Whether the first reading of a transmission has been proven and is to be read again
    /// from the seconds kept. True once per transmission: taking it clears it.
    bool TakeSecondReading();
    /// The timing was lost before baseband index @p nNext, at element length @p dUnit, with
    /// symbols queued up to input sample @p nGivenOut: the seconds kept go back to
    /// @p acquisition, never from before the last time.
    void Begin(std::int64_t nNext, double dUnit, std::int64_t nGivenOut,
               SpeedAcquisition& acquisition);
    /// The level of the reading's held seconds may move unseen: the reading is read anew
    /// should the level be found moving while it is fresh, or once it is proven. A reading
    /// anew is not doubted again.
    void DoubtLevel() { m_bLevelDoubted = m_settledAnew == Anew::No; }
    /// The reading's level is doubted and the reading is not yet proven.
    bool IsLevelDoubted() const { return m_bLevelDoubted && IsFresh(); }
    /// The reading's level was doubted, and the reading has been proven.
    bool IsDoubtedReadingProven() const { return m_bLevelDoubted && !IsFresh(); }
    /// As Begin(), for a doubted reading (@p why): the seconds kept are read anew at whatever
    /// speed the acquisition finds.
    void BeginAnew(std::int64_t nNext, Anew why, SpeedAcquisition& acquisition);
    /// Hands the seconds kept before baseband index @p nNext to @p acquisition, as Begin()
    /// does, without beginning a re-acquisition: to read them apart from the tracking.
    void Lend(std::int64_t nNext, SpeedAcquisition& acquisition) const;
    /// The acquisition found element length @p dUnit. True when the replayed seconds are read
    /// anew (the speed differs, or BeginAnew()): what was held back of them is to be dropped.
    bool Settle(double dUnit);
    /// Why the reading settled last reads its seconds anew.
    Anew SettledAnew() const { return m_settledAnew; }
    /// Baseband index the replayed seconds of the last re-acquisition begin at.
    std::int64_t RereadFrom() const { return m_nRereadFrom; }
    /// Symbols up to this input sample were given out already: the replay does not repeat
    /// them.
    std::int64_t ReplayedThrough() const { return m_nReplayedThrough; }

private:
    /// Holds the seconds kept before @p nNext in @p acquisition; the index they begin at.
    std::int64_t holdKept(std::int64_t nNext, SpeedAcquisition& acquisition) const;

    double m_dSampleRate;
    dsp::SlidingRun<std::complex<float>> m_recent; ///< the last seconds as they came in
    size_t m_nFreshLeft = 0;          ///< samples to track before the reading is proven
    bool m_bFirstReading = false;     ///< the reading tracked began its transmission
    bool m_bReacquiring = false;      ///< Begin() was called: the next reading is not a first
    bool m_bSecondReadingDue = false; ///< the first reading was proven, not yet read again
    bool m_bLevelDoubted = false;     ///< DoubtLevel() was called for the reading tracked
    Anew m_pendingAnew = Anew::No;    ///< BeginAnew()'s, not yet settled
    Anew m_settledAnew = Anew::No;    ///< the reading settled last
    std::int64_t m_nReacquiredAt = 0; ///< baseband index the last re-acquisition began from
    std::int64_t m_nRereadFrom = 0;   ///< and the index its replayed seconds begin at
    /// While a re-acquisition is pending: the element length tracked and the last symbol
    /// position queued before it.
    double m_dUnitBefore = 0.0;
    std::int64_t m_nGivenOutBefore = -1;
    std::int64_t m_nReplayedThrough = -1;
};

} // namespace cw
