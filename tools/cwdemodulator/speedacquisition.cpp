#include "tools/cwdemodulator/speedacquisition.h"

#include "tools/cwdemodulator/cwsegmenter.h"
#include "tools/cwdemodulator/envelopedetector.h"
#include "tools/cwdemodulator/heldlevelswing.h"
#include "tools/cwdemodulator/localmarklevel.h"
#include "tools/cwdemodulator/localphaseprojector.h"
#include "tools/cwdemodulator/neighbourleakage.h"

#include <cmath>

namespace cw {

namespace {

constexpr double MAX_SEC = 8.0; ///< held at the most: then the oldest second goes
constexpr int MARKS = 6;        ///< marks the timing must see
constexpr int FINAL_MARKS = 2;  ///< the same once the input ended
/// Share of the mark level a reading with the samples limited to it must keep to be ours.
constexpr float LIMITED_MARK_SHARE = 0.5f;
constexpr size_t NOISE_WINDOW = 8; ///< samples summed to measure the noise
/// Readings of an unsteady tone tried again on samples projected over their own elements:
/// two and three times the element length kept.
constexpr double SLOWER_FACTORS[] = {2.0, 3.0};
/// Ratio of element lengths beyond which two readings are different multiples of one.
constexpr double OTHER_READING_RATIO = 1.5;
/// A reading is clear from this many segments of the held samples (marks and gaps) on, when
/// this share of them is element-long: a reading two or three times too fast has hardly any.
constexpr int CLEAR_SEGMENTS = 10;
constexpr double CLEAR_SHORT_SHARE = 0.4;

} // namespace

SpeedAcquisition::SpeedAcquisition(double dSampleRate, double dMinUnit, double dMaxUnit,
                                   const std::vector<std::string>& characterCodes, bool bLean)
    : m_dSampleRate(dSampleRate), m_bLean(bLean), m_estimator(dMinUnit, dMaxUnit),
      m_trials(dMinUnit, dMaxUnit, characterCodes, MARKS, bLean), m_heldFilter(dSampleRate)
{
    m_estimator.SearchCoarsely(bLean);
    m_held.reserve(size_t(MAX_SEC * m_dSampleRate) + 1);
}

void SpeedAcquisition::Restart(std::int64_t nStart)
{
    m_held.clear();
    m_heldFilter.Forget();
    m_nStart = nStart;
    m_nSinceAttempt = 0;
}

void SpeedAcquisition::Hold(const std::complex<float>* pSamples, size_t nCount)
{
    m_held.insert(m_held.end(), pSamples, pSamples + nCount);
}

bool SpeedAcquisition::Push(std::complex<float> sample)
{
    const size_t minimum = size_t(MIN_SEC * m_dSampleRate);
    const size_t interval = size_t(INTERVAL_SEC * m_dSampleRate);
    m_held.push_back(sample);
    if (++m_nSinceAttempt < interval || m_held.size() < minimum)
        return false;
    m_nSinceAttempt = 0;
    return true;
}

SpeedAcquisition::Learned SpeedAcquisition::Attempt(bool bFinal, CarrierReference& carrier,
                                                    CwSegmenter& decisions)
{
    const int marks = bFinal ? FINAL_MARKS : MARKS;
    filterHeld();
    Learned learned;
    learned.timing = estimateHeld(marks);
    const CwSpeedEstimator::Result& timing = learned.timing;
    if (timing.bFound && !heldIsLeakage(timing))
        learned.tone = carrier.Learn(filtered().data(), filtered().size(),
                                     EnvelopeDetector::LengthFor(timing.dUnit),
                                     0.5f * (timing.fMarkLevel + timing.fSpaceLevel));
    if (learned.tone == CarrierReference::Tone::None) {
        if (!bFinal)
            dropOldest();
        return learned;
    }
    refineInPhase(learned, marks, carrier, decisions);
    return learned;
}

bool SpeedAcquisition::ReadsSlowerApart(double dTrackedUnit)
{
    CarrierReference carrier(m_dSampleRate);
    CwSegmenter segmenter(m_trials.CharacterCodes());
    const Learned learned = Attempt(false, carrier, segmenter);
    const double unit = learned.timing.dUnit;
    // A clear reading only (Learned::bClear), as for giving out symbols at once, and one that
    // beats the reading tracked on the same samples: a 40 WPM text at -10 dB fitted 16.7 WPM
    // clearly on its first 5 s, but not better than 40.
    const bool slower = learned.tone != CarrierReference::Tone::None && learned.bClear &&
                        unit >= OTHER_READING_RATIO * dTrackedUnit &&
                        m_trials.ClearlyLikelierSlower(trialHeld(learned), dTrackedUnit, unit,
                                                       learned.timing.fMarkLevel, segmenter)
                                .dUnit > 0.0;
    Restart(m_nStart);
    return slower;
}

std::vector<std::complex<float>> SpeedAcquisition::TakeHeld()
{
    std::vector<std::complex<float>> held;
    held.swap(m_held);
    m_held.reserve(held.capacity());
    m_heldFilter.Forget();
    return held;
}

void SpeedAcquisition::filterHeld()
{
    // The held samples through the channel filter, aligned with them (the filter's delay
    // taken out), so that neighbours do not disturb the learning either.
    m_heldFilter.Filter(m_held.data(), m_held.size(), m_nStart);
    m_bOutsideMeasured = false;
}

NeighbourLeakage::Held SpeedAcquisition::heldView() const
{
    return {m_held.data(), filtered().data(), filtered().size(), m_dSampleRate,
            m_heldFilter.Delay()};
}

const NeighbourLeakage::Outside& SpeedAcquisition::outside()
{
    // Both the timing's and the leakage's question read it of the same held samples.
    if (!m_bOutsideMeasured) {
        m_outside = NeighbourLeakage::MeasureOutside(heldView());
        m_bOutsideMeasured = true;
    }
    return m_outside;
}

CwSpeedEstimator::Result SpeedAcquisition::estimateHeld(int nMarks)
{
    // A stronger neighbour's keying clicks reach into the channel at each of its edges as
    // bursts well over our marks: they lengthen marks and bridge gaps (keyed in step with
    // the wanted signal at 35 WPM, 60 or 13 WPM fitted better than 35). With such a
    // neighbour, the timing is read again with every sample limited to the mark level
    // found, here and in phase. Leakage alone keeps no marks near that level once its
    // bursts are limited: then the first reading stands, for the leakage check to judge.
    m_estimator.LimitLevel(0.0f);
    const CwSpeedEstimator::Result result =
        m_estimator.Estimate(filtered().data(), filtered().size(), nMarks);
    if (!NeighbourLeakage::StrongerNeighbourKeys(outside(), result.fMarkLevel))
        return result;
    m_estimator.LimitLevel(result.fMarkLevel);
    const CwSpeedEstimator::Result limited =
        m_estimator.Estimate(filtered().data(), filtered().size(), nMarks);
    if (limited.fMarkLevel >= LIMITED_MARK_SHARE * result.fMarkLevel)
        return limited;
    m_estimator.LimitLevel(0.0f);
    return result;
}

bool SpeedAcquisition::heldIsLeakage(const CwSpeedEstimator::Result& result)
{
    // A stronger neighbour's keying leaks into the channel at each of its edges: such marks
    // are no signal of ours, whatever their timing looks like.
    return NeighbourLeakage::Explains(
        heldView(), outside(), EnvelopeDetector::LengthFor(result.dUnit),
        0.5f * (result.fMarkLevel + result.fSpaceLevel), result.fMarkLevel);
}

void SpeedAcquisition::dropOldest()
{
    // Nothing decodable in the oldest second: let it go.
    const size_t maximum = size_t(MAX_SEC * m_dSampleRate);
    const size_t interval = size_t(INTERVAL_SEC * m_dSampleRate);
    if (m_held.size() + interval > maximum) {
        m_held.erase(m_held.begin(), m_held.begin() + std::ptrdiff_t(interval));
        m_nStart += std::int64_t(interval);
    }
}

void SpeedAcquisition::refineInPhase(Learned& learned, int nMarks, const CarrierReference& carrier,
                                     CwSegmenter& decisions)
{
    // In phase, the noise is half as strong: estimate the timing again from that. A tone
    // whose phase does not stand still is projected on its phase around each sample.
    CwSpeedEstimator::Result& result = learned.timing;
    const bool ownPhase = learned.tone == CarrierReference::Tone::Unsteady;
    const double projectedFor = result.dUnit;
    if (ownPhase) {
        projectFor(learned, result.dUnit, carrier);
    } else {
        learned.nHalfWidth = EnvelopeDetector::LengthFor(result.dUnit) / 2;
        carrier.ProjectLearned(filtered().data(), filtered().size(), m_inPhase);
        learned.fNoiseVariance = carrier.NoiseVariance();
    }
    const CwSpeedEstimator::Result inPhase =
        timingInPhaseNear(m_bLean ? result.dUnit : 0.0, nMarks);
    const CwSpeedEstimator::Result first = result;
    if (inPhase.bFound)
        result = inPhase;
    // Read in phase at another multiple of the element length, an unsteady tone's samples are
    // projected over that length instead (see readSlowerOnItsOwnProjection()).
    const bool judgeProjection = ownPhase && !m_bLean;
    const bool otherReading = !m_bLean && isOtherReading(result.dUnit, projectedFor);
    if (otherReading && judgeProjection)
        projectFor(learned, result.dUnit, carrier);
    // A slower reading in phase stands only if it explains the held samples clearly better
    // than the first. Under a fast fade (2 Hz at 25 WPM) a steady tone's faded marks fitted
    // twice the element length in phase, and the whole text was read from dashes alone.
    if (otherReading && result.dUnit > projectedFor &&
        !slowerHoldsAgainst(learned, first, decisions)) {
        if (ownPhase)
            keepFirstReading(learned, first, nMarks, carrier);
        else
            result = first; // timed in phase near it, the slower reading came back
    }
    // A level that moved within the held seconds is followed from the first sample decoded,
    // and by the trials: at one level, the faded marks of the first seconds looked like gaps
    // and pieces of marks, and a reading three times too fast could win.
    judgeLevelSwing(learned, result.dUnit);
    m_levels.clear();
    if (learned.bLevelSwung)
        followHeldLevel(result.dUnit, result.fMarkLevel);
    const double estimate = result.dUnit;
    result.dUnit =
        m_trials.Likeliest(trialHeld(learned), result.dUnit, result.fMarkLevel, decisions);
    if (judgeProjection && !isOtherReading(result.dUnit, estimate)) {
        // On samples projected so, the likelihood leans towards shorter elements (see
        // readSlowerOnItsOwnProjection()) within a reading too: a length a few percent
        // shorter than the in-phase estimate came out likelier (ebook2cw at 20 WPM, -10 dB:
        // 56 against 60 samples), and the first characters were decided at it.
        result.dUnit = estimate;
        readSlowerOnItsOwnProjection(learned, carrier, decisions);
    }
    // The swing is judged on envelopes an element long, and a fade the in-phase estimate's
    // envelopes hid may show at the length the trials decided (2 Hz at 15 WPM: not at 101
    // samples, at 89 clearly); unfollowed, its bottoms broke the whole text into E's and T's.
    if (!learned.bLevelSwung && result.dUnit != estimate)
        judgeLevelSwing(learned, result.dUnit);
    learned.bClear = readsClearly(result.dUnit);
}

void SpeedAcquisition::judgeLevelSwing(Learned& learned, double dUnit) const
{
    const HeldLevelSwing swing(m_inPhase, dUnit, learned.fNoiseVariance, m_dSampleRate);
    learned.bLevelSwung = swing.Swung();
    learned.bLevelMaySwing = swing.MaySwing();
    learned.fittedFadePeaks = swing.FittedFadePeaks();
}

bool SpeedAcquisition::readsClearly(double dUnit) const
{
    // Read a multiple too fast (the first seconds of a fading text at 15 WPM read at 45), a
    // text's dots come out as dashes and the gaps within its characters as character gaps:
    // hardly any segment is element-long. Of some 5000 readings of fading, noisy and clean
    // recordings, the four read again at another speed later had 0.04 to 0.25 of their
    // segments element-long, every other 0.30 or more. A text of dashes alone has few too;
    // it waits, as does a reading kept at another multiple of the one the share was last
    // decided at (the estimate, or the slower reading kept).
    if (isOtherReading(dUnit, m_trials.DecidedUnit()))
        return false;
    return m_trials.DecidedSegments() >= CLEAR_SEGMENTS &&
           m_trials.ShortShare() >= CLEAR_SHORT_SHARE;
}

CwSpeedEstimator::Result SpeedAcquisition::timingInPhaseNear(double dNear, int nMarks)
{
    m_estimator.SearchNear(dNear);
    const CwSpeedEstimator::Result inPhase =
        m_estimator.Estimate(m_inPhase.data(), m_inPhase.size(), nMarks, true);
    m_estimator.SearchNear(0.0);
    return inPhase;
}

bool SpeedAcquisition::slowerHoldsAgainst(const Learned& learned,
                                          const CwSpeedEstimator::Result& first,
                                          CwSegmenter& decisions) const
{
    // A slower reading in phase must explain the samples projected over its own elements
    // clearly better than the first reading does, as slower readings are judged below: a
    // 20 WPM tone at -10 dB read in phase at 9.5 WPM (its dashes as dots) lost nearly every
    // character of its text.
    const CwSpeedEstimator::Result& slower = learned.timing;
    return m_trials
               .ClearlyLikelierSlower({m_inPhase, learned.fNoiseVariance}, first.dUnit,
                                      slower.dUnit, slower.fMarkLevel, decisions)
               .dUnit > 0.0;
}

void SpeedAcquisition::keepFirstReading(Learned& learned, const CwSpeedEstimator::Result& first,
                                        int nMarks, const CarrierReference& carrier)
{
    // Back to the first reading's projection, and its timing in phase taken near it.
    CwSpeedEstimator::Result& result = learned.timing;
    result = first;
    projectFor(learned, first.dUnit, carrier);
    const CwSpeedEstimator::Result inPhase = timingInPhaseNear(first.dUnit, nMarks);
    if (inPhase.bFound)
        result = inPhase;
}

bool SpeedAcquisition::isOtherReading(double dUnit, double dOtherUnit)
{
    return std::abs(std::log(dUnit / dOtherUnit)) > std::log(OTHER_READING_RATIO);
}

void SpeedAcquisition::readSlowerOnItsOwnProjection(Learned& learned,
                                                    const CarrierReference& carrier,
                                                    CwSegmenter& decisions)
{
    // Projected on the phase around each sample over a window about an element long, noise
    // in the gaps leans towards the window's phase, and the noise measured on the quadrature
    // part comes out low (the window follows the noise too): the shorter the window, the more
    // noise looks like short marks, and a reading too fast explains them best. At -10 dB,
    // noise read at 60 WPM fitted a 20 WPM signal (its dots as dashes) better than 20 WPM
    // did on samples projected for 60. A slower reading is judged again on samples projected
    // over its own element length, against the reading kept on the same samples.
    CwSpeedEstimator::Result& result = learned.timing;
    ElementLengthTrials::Slower best;
    double bestProjectedFor = 0.0;
    for (double factor : SLOWER_FACTORS) {
        projectLocally(EnvelopeDetector::LengthFor(result.dUnit * factor) / 2, carrier);
        const ElementLengthTrials::Slower slower =
            m_trials.ClearlyLikelierSlower({m_inPhase, quadratureNoise(carrier)}, result.dUnit,
                                           result.dUnit * factor, result.fMarkLevel, decisions);
        if (slower.dUnit > 0.0 && (best.dUnit <= 0.0 || slower.dGain > best.dGain)) {
            best = slower;
            bestProjectedFor = result.dUnit * factor;
        }
    }
    if (best.dUnit <= 0.0)
        return;
    // The tracking projects as the reading taken was judged, and measures its noise so.
    projectFor(learned, bestProjectedFor, carrier);
    result.dUnit = best.dUnit;
    m_trials.FindCharacterGaps(trialHeld(learned), result.dUnit, result.fMarkLevel, decisions);
}

void SpeedAcquisition::projectFor(Learned& learned, double dUnit, const CarrierReference& carrier)
{
    learned.nHalfWidth = EnvelopeDetector::LengthFor(dUnit) / 2;
    projectLocally(learned.nHalfWidth, carrier);
    learned.fNoiseVariance = quadratureNoise(carrier);
}

void SpeedAcquisition::projectLocally(int nHalfWidth, const CarrierReference& carrier)
{
    // As the tracking will see them: derotated, then projected on their surroundings (in
    // phase as the real part, in quadrature as the imaginary).
    carrier.DerotateLearned(filtered().data(), filtered().size(), m_derotated);
    LocalPhaseProjector projector(nHalfWidth);
    m_inPhase.clear();
    m_inPhase.reserve(filtered().size());
    const int delay = projector.Delay();
    for (size_t i = 0; i < filtered().size() + size_t(delay); ++i) {
        projector.Push(i < filtered().size() ? m_derotated[i] : std::complex<float>());
        if (i >= size_t(delay))
            m_inPhase.push_back(projector.Projected());
    }
}

void SpeedAcquisition::followHeldLevel(double dUnit, float fMarkLevel)
{
    // The level judged from the element-matched envelope, as the level follower judges it
    // while tracking; the last samples keep the last judgement.
    LocalMarkLevel level(LocalMarkLevel::Reaches::For(dUnit, m_dSampleRate), fMarkLevel, true);
    const size_t count = m_inPhase.size();
    const size_t length = size_t(EnvelopeDetector::LengthFor(dUnit));
    const size_t delay = size_t(level.Delay());
    m_levels.assign(count, fMarkLevel);
    std::complex<double> sum;
    for (size_t n = 0; n < count; ++n) {
        sum += std::complex<double>(m_inPhase[n]);
        if (n >= length)
            sum -= std::complex<double>(m_inPhase[n - length]);
        level.Push(float(std::abs(sum) / double(length)));
        if (n >= delay)
            m_levels[n - delay] = level.Level();
    }
    for (size_t n = count > delay ? count - delay : 0; n < count; ++n)
        m_levels[n] = level.Level();
}

ElementLengthTrials::Held SpeedAcquisition::trialHeld(const Learned& learned) const
{
    if (m_levels.empty())
        return {m_inPhase, learned.fNoiseVariance};
    return {m_inPhase, learned.fNoiseVariance, m_levels};
}

float SpeedAcquisition::quadratureNoise(const CarrierReference& carrier) const
{
    // A tone whose phase moves has signal in any fixed quadrature: the noise is measured on
    // the quadrature part around each sample instead, as sums over a few samples see it (the
    // same measure the carrier reference makes of a steady tone). Measured on the fixed
    // quadrature, marks inflated it, and the decisions then trusted the length priors over
    // the samples: slower readings won and weak elements were lost.
    double sum = 0.0;
    double window = 0.0;
    size_t windows = 0;
    for (size_t i = 0; i < m_inPhase.size(); ++i) {
        window += double(m_inPhase[i].imag());
        if ((i + 1) % NOISE_WINDOW == 0) {
            sum += window * window / double(NOISE_WINDOW);
            window = 0.0;
            ++windows;
        }
    }
    return windows > 0 ? float(sum / double(windows)) : carrier.NoiseVariance();
}

} // namespace cw
