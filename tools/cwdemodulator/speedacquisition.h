#pragma once

#include "tools/cwdemodulator/carrierreference.h"
#include "tools/cwdemodulator/cwspeedestimator.h"
#include "tools/cwdemodulator/elementlengthtrials.h"
#include "tools/cwdemodulator/fadefit.h"
#include "tools/cwdemodulator/heldfilter.h"
#include "tools/cwdemodulator/neighbourleakage.h"

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

namespace cw {

class CwSegmenter;
class LocalMarkLevel;

/// Learns each transmission before any of it is decided: holds its first seconds of baseband
/// back, and once enough is held, tries every second to learn the speed (CwSpeedEstimator),
/// the tone (CarrierReference) and the noise from them. A pipeline of named steps: filter the
/// held samples, time them, tell a neighbour's leakage, learn the tone, refine the timing in
/// phase. What finds nothing in the oldest second lets it go.
///
/// Life: Restart() at each transmission, Push() per sample and Attempt() when it says so;
/// once found, TakeHeld() hands the samples held on to be decoded.
class SpeedAcquisition
{
public:
    /// Seconds held at the least before an attempt, and between attempts.
    static constexpr double MIN_SEC = 3.0;
    static constexpr double INTERVAL_SEC = 1.0;

    /// What an attempt learned.
    struct Learned
    {
        CarrierReference::Tone tone = CarrierReference::Tone::None; ///< None: nothing found
        CwSpeedEstimator::Result timing;
        float fNoiseVariance = 0.0f; ///< of the in-phase part
        int nHalfWidth = 0;          ///< of the phase projection around each sample
        bool bLevelSwung = false;    ///< the marks' level moved within the held seconds
        bool bLevelMaySwing = false; ///< or may have, unseen (HeldLevelSwing::MaySwing())
        /// Enough of the held seconds' marks and gaps are element-long at the reading found
        /// that it is not a multiple too fast: what it decides can be given out at once.
        bool bClear = false;
        /// The marks' peaks a fade was fitted to, by held sample; empty if none was.
        std::vector<FadeFit::MarkPeak> fittedFadePeaks;
    };

    /// Element lengths (samples) between @p dMinUnit and @p dMaxUnit, decided with the
    /// alphabet's @p characterCodes. @p bLean: fewer trials, for many signals at once (the
    /// timing in phase is searched only near the first estimate, a slower reading that falls
    /// far behind at its first length is not tried around it, and an unsteady tone's samples
    /// are projected for the first estimate alone).
    SpeedAcquisition(double dSampleRate, double dMinUnit, double dMaxUnit,
                     const std::vector<std::string>& characterCodes, bool bLean = false);

    /// Holds nothing and counts the next sample as baseband index @p nStart.
    void Restart(std::int64_t nStart);
    /// Holds @p nCount samples that came before, without attempting.
    void Hold(const std::complex<float>* pSamples, size_t nCount);
    /// Holds the next sample; true when an attempt is due.
    bool Push(std::complex<float> sample);
    /// Tries to learn the transmission from the samples held. The tone is learned into
    /// @p carrier; the decisions' priors of @p decisions take part in the timing's trials.
    /// @p bFinal: the input ended, fewer marks do.
    Learned Attempt(bool bFinal, CarrierReference& carrier, CwSegmenter& decisions);
    /// Whether ReadsSlowerApart() is worth holding samples for: not when lean (for many
    /// signals at once, reading every transmission twice cost the skimmer a quarter of its
    /// time).
    bool ReadsApart() const { return !m_bLean; }
    /// Whether the samples held, read apart from any tracking (the tone and the priors go to a
    /// carrier and a segmenter of its own), give a clear reading (Learned::bClear) at least
    /// 1.5 times slower than @p dTrackedUnit that also explains them clearly better than a
    /// reading at @p dTrackedUnit. Nothing is held after.
    bool ReadsSlowerApart(double dTrackedUnit);
    /// The samples held, handed over; nothing is held after.
    std::vector<std::complex<float>> TakeHeld();

    /// Baseband index of the first sample held.
    std::int64_t Start() const { return m_nStart; }
    bool IsEmpty() const { return m_held.empty(); }
    size_t HeldCount() const { return m_held.size(); }
    /// The gaps (samples) that ended characters among the held samples.
    const std::vector<std::int64_t>& CharacterGaps() const { return m_trials.CharacterGaps(); }

private:
    void filterHeld();
    const std::vector<std::complex<float>>& filtered() const { return m_heldFilter.Filtered(); }
    /// The held samples and their filtered copy, as the leakage questions read them.
    NeighbourLeakage::Held heldView() const;
    CwSpeedEstimator::Result estimateHeld(int nMarks);
    bool heldIsLeakage(const CwSpeedEstimator::Result& result);
    /// What the channel filter keeps out of the held samples, measured at the first question.
    const NeighbourLeakage::Outside& outside();
    void dropOldest();
    void refineInPhase(Learned& learned, int nMarks, const CarrierReference& carrier,
                       CwSegmenter& decisions);
    /// The timing of the samples projected in phase, searched near @p dNear samples an element
    /// (anywhere at 0).
    CwSpeedEstimator::Result timingInPhaseNear(double dNear, int nMarks);
    /// Whether the slower reading taken in phase explains the held samples, projected over
    /// its elements, clearly better than the @p first reading.
    bool slowerHoldsAgainst(const Learned& learned, const CwSpeedEstimator::Result& first,
                            CwSegmenter& decisions) const;
    void keepFirstReading(Learned& learned, const CwSpeedEstimator::Result& first, int nMarks,
                          const CarrierReference& carrier);
    static bool isOtherReading(double dUnit, double dOtherUnit);
    /// Whether the held marks' level swung, judged on envelopes @p dUnit long, and the peaks
    /// a fade was fitted to (Learned::bLevelSwung, Learned::fittedFadePeaks).
    void judgeLevelSwing(Learned& learned, double dUnit) const;
    /// Whether the held samples as last decided tell that the reading at @p dUnit is clear
    /// (Learned::bClear).
    bool readsClearly(double dUnit) const;
    void readSlowerOnItsOwnProjection(Learned& learned, const CarrierReference& carrier,
                                      CwSegmenter& decisions);
    /// Projects the held samples on their phase around each sample over an element of
    /// @p dUnit, as the tracking will, and measures their noise so.
    void projectFor(Learned& learned, double dUnit, const CarrierReference& carrier);
    void projectLocally(int nHalfWidth, const CarrierReference& carrier);
    float quadratureNoise(const CarrierReference& carrier) const;
    /// Follows the mark level around each held sample (m_levels), as the tracking will once it
    /// knows the level moves.
    void followHeldLevel(double dUnit, float fMarkLevel);
    /// The held in-phase samples as the trials read them: at one level, or at the one
    /// followed around each sample where the level moved.
    ElementLengthTrials::Held trialHeld(const Learned& learned) const;

    double m_dSampleRate;
    bool m_bLean;
    CwSpeedEstimator m_estimator;
    ElementLengthTrials m_trials;
    std::vector<std::complex<float>> m_held;      ///< baseband held back while learning
    HeldFilter m_heldFilter;                      ///< it through the channel filter
    std::vector<std::complex<float>> m_derotated; ///< that with the offset removed
    std::vector<std::complex<float>> m_inPhase;   ///< its in-phase parts, once learned
    std::vector<float> m_levels;                  ///< the mark level around each of them
    std::int64_t m_nStart = 0;                    ///< baseband index of m_held[0]
    NeighbourLeakage::Outside m_outside;          ///< of the held samples as last filtered
    bool m_bOutsideMeasured = false;
    size_t m_nSinceAttempt = 0;
};

} // namespace cw
