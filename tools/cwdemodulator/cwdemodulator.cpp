#include "tools/cwdemodulator/cwdemodulator.h"

#include "tools/cwdemodulator/basebandconverter.h"
#include "tools/cwdemodulator/basebandfrontend.h"
#include "tools/cwdemodulator/carrierreference.h"
#include "tools/cwdemodulator/channelfilter.h"
#include "tools/cwdemodulator/coherencewatch.h"
#include "tools/cwdemodulator/cwsegmenter.h"
#include "tools/cwdemodulator/cwspeedestimator.h"
#include "tools/cwdemodulator/cwtimingtracker.h"
#include "tools/cwdemodulator/decisionchain.h"
#include "tools/cwdemodulator/envelopedetector.h"
#include "tools/cwdemodulator/leakagewatch.h"
#include "tools/cwdemodulator/levelfollower.h"
#include "tools/cwdemodulator/localphaseprojector.h"
#include "tools/cwdemodulator/losttimingwatch.h"
#include "tools/cwdemodulator/reacquisition.h"
#include "tools/cwdemodulator/speedacquisition.h"
#include "tools/cwdemodulator/symbolqueue.h"
#include "tools/cwdemodulator/toneshare.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace cw {

namespace {

/// The matched filter is resized when the element length moved this far from it.
constexpr double LENGTH_TOLERANCE = 0.12;
constexpr double SECONDS_PER_UNIT_AT_1_WPM = 1.2;
/// Seconds after a stronger neighbour was heard outside the channel in which it may still
/// leak in.
constexpr double LEAKAGE_WINDOW_SEC = LeakageWatch::WINDOW_SEC;

} // namespace

/// The demodulator's pipeline: the front end, then the acquisition of each transmission or
/// its tracking chain, whose decisions pass the watches that end a line or acquire anew on
/// their way to the symbols given out. Listens to the classifier's codes.
class CWDEMODULATOR_NO_EXPORT CwDemodulator::Private : public CwTimingTracker::IListener
{
public:
    explicit Private(const Settings& settings);

    void Process(const float* pSamples, size_t nCount);
    void Finish();
    bool TakeSymbol(CwSymbol& symbol);
    double Wpm() const;

    enum class Phase
    {
        SearchingPitch,
        AcquiringSpeed,
        Tracking,
    };

    void OnSymbol(int nCode, qint64 nPosition) override;
    /// Whether the level the decisions weigh the marks against follows a level that moves.
    bool isLevelFollowed() const;
    /// Whether the transmission went silent long enough to end its line.
    bool lineEnded() const;
    void finishTransmission();
    LevelFollower::Input segmenterInput() const;
    /// Learns what the crashes left of the samples, baseband sample @p nIndex coming in.
    void pushToneShare(std::int64_t nIndex);
    LevelFollower::Moment levelMoment() const;
    /// Baseband index of the next sample into the tracking: the tracker's position, which the
    /// channel filter delays.
    std::int64_t nextIndex() const { return m_pTracker->Position() + m_pChannel->Delay(); }
    CoherenceWatch::Levels coherenceLevels() const;
    void takeBaseband(const std::vector<std::complex<float>>& baseband);
    void feed(const std::complex<float>* pSamples, size_t nCount);
    void tryAcquire(bool bFinal);
    /// Starts every block of the tracking at @p result; @p bHoldBack: the symbols wait until
    /// the reading proved itself; @p bLevelDoubted: the held seconds' level may move unseen
    /// (Reacquisition::DoubtLevel()).
    void startTracking(const CwSpeedEstimator::Result& result, bool bHoldBack, bool bLevelDoubted);
    void replayHeld();
    void track(std::complex<float> sample);
    LeakageWatch::Now leakageNow() const;
    void endLine();
    void reacquireRecent();
    /// Reads a doubted reading's seconds anew (Reacquisition::BeginAnew()), for @p why.
    void readAnew(Reacquisition::Anew why);
    /// Whether a tone's first reading stands: the seconds kept, read again apart from the
    /// tracking, read no clearly slower.
    bool firstReadingHolds();
    /// A first reading of a tone weighed on its own phase: read again apart once proven.
    bool isReadAgainWhenProven() const;

    Phase m_phase = Phase::SearchingPitch;
    BasebandFrontEnd m_frontEnd;
    double m_dBasebandRate;

    std::unique_ptr<SpeedAcquisition> m_pAcquisition;

    std::unique_ptr<CarrierReference> m_pCarrier;
    std::unique_ptr<ChannelFilter> m_pChannel;
    /// What the crashes left of each sample; Last(): of the one handed to the level follower.
    std::unique_ptr<ToneShare> m_pToneShare;
    CoherenceWatch m_coherence;    ///< whether to decide on the tone's in-phase part
    float m_fNoiseVariance = 0.0f; ///< of the in-phase part, as learned from the held samples
    std::unique_ptr<LocalPhaseProjector> m_pLocalPhase;
    std::unique_ptr<LevelFollower> m_pFollower; ///< feeds the segmenter
    std::unique_ptr<EnvelopeDetector> m_pEnvelope;
    // The envelope tracker decides marks by thresholds, and follows level, speed and phase.
    // For a steady tone its decisions are only a guide: the segmenter decides the marks and
    // gaps by maximum likelihood and the classifier turns them into codes.
    LostTimingWatch m_timing; ///< hears the envelope tracker's codes and the decided ones
    std::unique_ptr<CwTimingTracker> m_pTracker;
    std::unique_ptr<DecisionChain> m_pDecisions; ///< segmenter, lone dots, classifier
    double m_dTrackedUnit = 0.0;
    LeakageWatch m_leakage;
    Reacquisition m_reacquisition;

    SymbolQueue m_symbols;
};

bool CwDemodulator::IsUsableSampleRate(double dSampleRate)
{
    return dSampleRate >= 4000.0 && dSampleRate <= 768000.0;
}

CwDemodulator::CwDemodulator(const Settings& settings) : d(std::make_unique<Private>(settings)) {}

CwDemodulator::~CwDemodulator() = default;

void CwDemodulator::Process(const float* pSamples, size_t nCount)
{
    d->Process(pSamples, nCount);
}

void CwDemodulator::Finish()
{
    d->Finish();
}

bool CwDemodulator::TakeSymbol(CwSymbol& symbol)
{
    return d->TakeSymbol(symbol);
}

bool CwDemodulator::HasPitch() const
{
    return d->m_frontEnd.HasPitch();
}

double CwDemodulator::Pitch() const
{
    return d->m_frontEnd.Pitch();
}

double CwDemodulator::Wpm() const
{
    return d->Wpm();
}

bool CwDemodulator::IsCoherent() const
{
    return d->m_coherence.IsCoherent();
}

std::int64_t CwDemodulator::SamplesProcessed() const
{
    return d->m_frontEnd.SamplesProcessed();
}

std::int64_t CwDemodulator::HeldFrom() const
{
    if (d->m_phase != Private::Phase::AcquiringSpeed)
        return -1;
    const std::int64_t held =
        std::max<std::int64_t>(0, d->m_frontEnd.InputPosition(d->m_pAcquisition->Start()));
    const std::int64_t symbols = d->m_symbols.FirstHeldPosition();
    return symbols >= 0 ? std::min(held, symbols) : held;
}

CwDemodulator::Private::Private(const Settings& settings)
    : m_frontEnd(
          settings.dSampleRate, settings.dPitchHz, settings.dMinPitchHz, settings.dMaxPitchHz,
          settings.dBasebandRate > 0.0 ? settings.dBasebandRate : BasebandConverter::BASEBAND_RATE),
      m_dBasebandRate(settings.dSampleRate / m_frontEnd.Decimation()), m_leakage(m_dBasebandRate),
      m_reacquisition(m_dBasebandRate)
{
    const double maxWpm = std::max(settings.dMinWpm, settings.dMaxWpm);
    const double minUnit = SECONDS_PER_UNIT_AT_1_WPM / maxWpm * m_dBasebandRate;
    const double maxUnit =
        SECONDS_PER_UNIT_AT_1_WPM / std::max(1.0, settings.dMinWpm) * m_dBasebandRate;

    CwTimingTracker::Settings trackerSettings;
    trackerSettings.dMinUnit = minUnit;
    trackerSettings.dMaxUnit = maxUnit;
    trackerSettings.dLineSilence = settings.dLineSilenceSec * m_dBasebandRate;
    m_pTracker = std::make_unique<CwTimingTracker>(trackerSettings, &m_timing);
    m_pDecisions = std::make_unique<DecisionChain>(
        trackerSettings, settings.characterCodes,
        settings.nDecisionStepsPerElement > 0 ? settings.nDecisionStepsPerElement
                                              : CwSegmenter::BLOCKS_PER_UNIT,
        settings.dLeastLikelyLength < 0.0 ? settings.dLeastLikelyLength
                                          : CwSegmenter::LEAST_LIKELY_LENGTH,
        this);
    m_pEnvelope = std::make_unique<EnvelopeDetector>(int(std::ceil(maxUnit)));
    m_pAcquisition = std::make_unique<SpeedAcquisition>(
        m_dBasebandRate, minUnit, maxUnit, settings.characterCodes, settings.bLeanAcquisition);
    m_pCarrier = std::make_unique<CarrierReference>(m_dBasebandRate);
    m_pChannel = std::make_unique<ChannelFilter>(m_dBasebandRate);
    if (m_frontEnd.HasPitch())
        m_phase = Phase::AcquiringSpeed;
}

double CwDemodulator::Private::Wpm() const
{
    if (m_dTrackedUnit <= 0.0)
        return 0.0;
    return SECONDS_PER_UNIT_AT_1_WPM / (m_dTrackedUnit / m_dBasebandRate);
}

void CwDemodulator::Private::Process(const float* pSamples, size_t nCount)
{
    takeBaseband(m_frontEnd.Push(pSamples, nCount));
}

void CwDemodulator::Private::Finish()
{
    takeBaseband(m_frontEnd.Finish());
    if (m_phase == Phase::AcquiringSpeed)
        tryAcquire(true);
    if (m_phase == Phase::Tracking)
        finishTransmission();
    m_symbols.Release();
}

void CwDemodulator::Private::finishTransmission()
{
    m_pTracker->Finish();
    // The filter, the projection and the level run behind the input: let the last samples
    // through. The silence pushed after them is no sample to judge a level or a gain from.
    const int filterDelay = m_pChannel->Delay();
    const int judged = filterDelay + m_pLocalPhase->Delay();
    const bool following = m_pFollower->IsFollowing();
    const std::int64_t next = nextIndex();
    for (int i = 0; i < judged; ++i) {
        const std::complex<float> corrected =
            i < filterDelay ? m_pChannel->Push(std::complex<float>()) : std::complex<float>();
        m_pLocalPhase->Push(corrected);
        pushToneShare(next + i);
        const float magnitude =
            following ? std::sqrt(std::norm(m_pEnvelope->PushAverage(corrected))) : 0.0f;
        m_pFollower->Push(segmenterInput(), magnitude, levelMoment());
    }
    m_pFollower->Finish(levelMoment());
    m_pDecisions->Finish(isLevelFollowed(), m_leakage);
}

bool CwDemodulator::Private::isLevelFollowed() const
{
    return m_pFollower && m_pFollower->IsFollowing();
}

bool CwDemodulator::Private::lineEnded() const
{
    // At the bottom of a slow fade the envelope tracker's marks drown seconds before the
    // segmenter's, which weighs them against the level followed: the line goes on while the
    // segmenter still decides marks. (A tone restarting at each element, its envelope the
    // magnitude, lost the line at every bottom of a fade of 0.1 Hz, and each acquisition
    // afresh there cost the characters around it.) The segments lag the tracker by the
    // projection's and the follower's delays, which lengthen the silence asked a little.
    if (!m_pTracker->LineEnded())
        return false;
    const double sinceMark = double(m_pTracker->Position() - m_pDecisions->LastMarkEnd());
    return !isLevelFollowed() || sinceMark >= m_pTracker->LineSilence();
}

bool CwDemodulator::Private::TakeSymbol(CwSymbol& symbol)
{
    return m_symbols.Take(symbol);
}

void CwDemodulator::Private::takeBaseband(const std::vector<std::complex<float>>& baseband)
{
    // The first baseband samples come once the tone is found.
    if (m_phase == Phase::SearchingPitch && m_frontEnd.HasPitch())
        m_phase = Phase::AcquiringSpeed;
    feed(baseband.data(), baseband.size());
}

void CwDemodulator::Private::feed(const std::complex<float>* pSamples, size_t nCount)
{
    for (size_t i = 0; i < nCount; ++i) {
        if (m_phase == Phase::Tracking)
            track(pSamples[i]);
        else if (m_pAcquisition->Push(pSamples[i]))
            tryAcquire(false);
    }
}

void CwDemodulator::Private::tryAcquire(bool bFinal)
{
    // Learn the speed, the tone and the noise from the held samples, start every block of
    // the tracking, replay the held samples.
    const SpeedAcquisition::Learned learned =
        m_pAcquisition->Attempt(bFinal, *m_pCarrier, m_pDecisions->Segmenter());
    if (learned.tone == CarrierReference::Tone::None)
        return;
    m_coherence.Start(learned.tone == CarrierReference::Tone::Steady);
    m_fNoiseVariance = learned.fNoiseVariance;
    m_pLocalPhase = std::make_unique<LocalPhaseProjector>(learned.nHalfWidth);
    // The symbols held back of a reading that stopped fitting make way for the new reading
    // of those seconds; at the speed it left, they stand.
    if (m_reacquisition.Settle(learned.timing.dUnit))
        m_symbols.DropFrom(m_frontEnd.InputPosition(m_reacquisition.RereadFrom()));
    else
        m_symbols.Release();
    const bool followFromStart =
        m_reacquisition.SettledAnew() == Reacquisition::Anew::LevelMoved || learned.bLevelSwung;
    startTracking(learned.timing, !learned.bClear, learned.bLevelMaySwing && !followFromStart);
    if (followFromStart)
        m_pFollower->FollowFromStart(levelMoment(), learned.fittedFadePeaks, m_pChannel->Delay());
    replayHeld();
    if (bFinal && m_phase == Phase::AcquiringSpeed && !m_pAcquisition->IsEmpty())
        tryAcquire(true);
}

void CwDemodulator::Private::startTracking(const CwSpeedEstimator::Result& result, bool bHoldBack,
                                           bool bLevelDoubted)
{
    m_dTrackedUnit = result.dUnit;
    const double pass = ChannelFilter::PassFor(result.dUnit / m_dBasebandRate);
    m_pChannel = std::make_unique<ChannelFilter>(m_dBasebandRate, pass);
    m_pToneShare = std::make_unique<ToneShare>(m_dBasebandRate, pass);
    m_pEnvelope->Reset();
    m_pEnvelope->SetLength(EnvelopeDetector::LengthFor(result.dUnit));
    // In phase, the noise averages to zero; in magnitude, to the space level found.
    // Each step behind the channel filter and the projection sees the samples later.
    const std::int64_t filtered = m_pAcquisition->Start() - m_pChannel->Delay();
    const bool coherent = m_coherence.IsCoherent();
    m_pTracker->Start(result.dUnit, result.fMarkLevel, coherent ? 0.0f : result.fSpaceLevel,
                      filtered, coherent);
    m_pFollower = std::make_unique<LevelFollower>(m_pDecisions->Segmenter(), m_dBasebandRate,
                                                  m_pEnvelope->Length());
    m_pDecisions->Start(filtered - m_pLocalPhase->Delay(), m_fNoiseVariance, result.dUnit,
                        result.fMarkLevel, filtered, m_pAcquisition->CharacterGaps());
    if (!coherent && m_pCarrier->HasRestartGrid())
        m_pDecisions->Segmenter().SetRestartGrid(dsp::TWO_PI * m_pCarrier->TurnAgainstGridHz() /
                                                 m_dBasebandRate);
    m_leakage.Reset(m_pChannel->Delay());
    m_timing.Reset();
    // A fresh reading may prove wrong within its first seconds, and the symbols of these wait
    // until it proved itself: one that is not clear (too fast a speed whose marks stop
    // fitting); a first reading to be read again once proven (firstReadingHolds()), whose
    // symbols would otherwise stay in front of the text read again; one whose level may move
    // unseen, read anew once found moving or proven. A clear one's are given out as they are
    // decided; it is still read again from its start should it stop fitting.
    m_reacquisition.Start(m_pAcquisition->HeldCount());
    if (bLevelDoubted)
        m_reacquisition.DoubtLevel();
    if (bHoldBack || isReadAgainWhenProven() || bLevelDoubted)
        m_symbols.HoldBack();
    else
        m_symbols.Release();
    m_phase = Phase::Tracking;
}

void CwDemodulator::Private::replayHeld()
{
    // The held samples are decoded now, so that the first character comes out right.
    const std::vector<std::complex<float>> held = m_pAcquisition->TakeHeld();
    feed(held.data(), held.size());
}

void CwDemodulator::Private::track(std::complex<float> sample)
{
    // The steps below take their samples by reference. GCC keeps a std::complex<float> as its
    // two parts, and one passed by value is put back together by storing the parts apart and
    // loading both at once, which waits for the stores to be written out: per sample and
    // channel, more time than the steps' own work. Through a reference each part is read as
    // it was stored.
    const std::complex<float> derotated = m_pCarrier->Derotate(sample);
    pushToneShare(nextIndex());
    std::complex<float> corrected;
    m_pChannel->Push(derotated, corrected);
    const std::complex<float> average = m_pEnvelope->PushAverage(corrected);
    m_pLocalPhase->Push(corrected);
    // The segments are the better record of the timing: the envelope tracker follows the
    // classifier's element length, and marks when the key is down for the carrier loops.
    m_pTracker->SetUnit(m_pDecisions->Unit());
    // The envelope's magnitude: what the tracker reads of an unsteady tone, and what the level
    // follower watches of any.
    const float magnitude = std::sqrt(std::norm(average));
    if (m_coherence.IsCoherent()) {
        m_pTracker->Push(m_pCarrier->Project(average));
        m_coherence.Push(average, coherenceLevels(), *m_pCarrier);
    } else {
        m_pTracker->Push(magnitude);
    }
    if (!m_pTracker->IsKeyDown())
        m_pCarrier->KeyUp();
    else if (m_coherence.IsCoherent())
        m_pCarrier->Update(average);
    else if (!m_pCarrier->HasRestartGrid())
        m_pCarrier->FollowFrequency(average);
    LevelFollower::Moment now = levelMoment();
    now.fEnvelope = magnitude;
    now.bTrackerKeyDown = m_pTracker->IsKeyDown() || m_pTracker->HasPendingEdge();
    m_pFollower->Watch(now);
    m_pFollower->Push(segmenterInput(), m_pFollower->IsFollowing() ? now.fEnvelope : 0.0f, now);
    m_pDecisions->Drain(isLevelFollowed(), m_leakage);
    const double unit = m_pDecisions->Unit();
    m_dTrackedUnit = unit;
    m_pEnvelope->FollowUnit(unit, LENGTH_TOLERANCE);
    m_reacquisition.Push(sample);
    if (lineEnded() || m_leakage.Push(derotated, corrected, leakageNow())) {
        // The next acquisition reads nothing of this line again.
        endLine();
        m_symbols.Release();
    } else if (m_timing.Lost() || (m_reacquisition.TakeSecondReading() && !firstReadingHolds())) {
        reacquireRecent();
    } else if (m_reacquisition.IsLevelDoubted() && m_pFollower->IsFollowing()) {
        // A fast fade whose bottoms drowned in the held seconds showed no swing there, and the
        // first seconds replayed at one level came out as fragments (`TOWER` read `TTIEAEN`)
        // until the follower found the level moving, seconds later.
        readAnew(Reacquisition::Anew::LevelMoved);
    } else if (m_reacquisition.IsDoubtedReadingProven()) {
        // Or not even then: `COLD 4 81 FER 1733` came out `TNTI EI TI IT ETI EAD IIE T
        // ANTTNESAEW`, the level found moving 13 s in. All the seconds kept show such a fade
        // where the held ones did not.
        readAnew(Reacquisition::Anew::Proven);
    } else if (!m_reacquisition.IsFresh()) {
        m_symbols.Release();
    }
}

void CwDemodulator::Private::endLine()
{
    // Silence, or only a neighbour's leakage: the next transmission may come at another
    // speed and level.
    m_pFollower->Finish(levelMoment());
    m_pDecisions->Finish(isLevelFollowed(), m_leakage);
    m_phase = Phase::AcquiringSpeed;
    m_pAcquisition->Restart(nextIndex());
}

void CwDemodulator::Private::reacquireRecent()
{
    // The timing stopped fitting (a change of speed beyond what the tracking follows, or a
    // fresh reading that was wrong): the speed is acquired afresh from the last seconds, all
    // of a fresh reading, which are decoded again at it.
    const std::int64_t next = nextIndex();
    endLine();
    m_reacquisition.Begin(next, m_dTrackedUnit, m_symbols.LastPosition(), *m_pAcquisition);
}

void CwDemodulator::Private::readAnew(Reacquisition::Anew why)
{
    const std::int64_t next = nextIndex();
    endLine();
    m_reacquisition.BeginAnew(next, why, *m_pAcquisition);
}

bool CwDemodulator::Private::isReadAgainWhenProven() const
{
    return m_reacquisition.IsFirstReading() && !m_coherence.IsCoherent() &&
           m_pAcquisition->ReadsApart();
}

bool CwDemodulator::Private::firstReadingHolds()
{
    // A transmission's first reading is learned from its first seconds alone. Projected on
    // their own phase over windows an element long, noise near the floor looks like short
    // marks, and a reading two or three times too fast can explain them best (as can a text of
    // nearly all dots, its dots read as dashes). Its marks fit it, so the timing is never lost
    // (a reading too slow is: its marks come out nearly all dots), and a 15 WPM text at
    // -12 dB, read at 48 WPM from its first 3 s, came out as E's and T's to its end. Once the
    // reading is proven, the seconds kept (5 s or more) are read again apart from the tracking,
    // which goes on untouched unless they read clearly slower: re-acquired at about the same
    // speed, the character in progress was cut in two. A tone decided in phase has no such
    // lean; read again, a 35 WPM text at -12 dB fitted 12.3 WPM on its first 5 s.
    if (!isReadAgainWhenProven())
        return true;
    m_reacquisition.Lend(nextIndex(), *m_pAcquisition);
    return !m_pAcquisition->ReadsSlowerApart(m_dTrackedUnit);
}

void CwDemodulator::Private::pushToneShare(std::int64_t nIndex)
{
    // The sample the projection hands on is as far behind the channel filter's output as the
    // share asked for is behind the baseband sample @p nIndex: a crash is known by then, also
    // when the input comes in other blocks.
    const std::int64_t asked = nIndex - m_pLocalPhase->Delay();
    m_pToneShare->Push(m_frontEnd.LostShare(asked, nIndex));
}

LeakageWatch::Now CwDemodulator::Private::leakageNow() const
{
    return {m_pTracker->Position(), m_pDecisions->MarkLevel(),
            m_pDecisions->Segmenter().NoiseVariance(), m_pEnvelope->Length()};
}

LevelFollower::Input CwDemodulator::Private::segmenterInput() const
{
    // A steady tone is projected on its tracked phase; any other is weighed mark by mark on
    // the mark's own phase (the quadrature part around each sample measures the noise).
    const std::complex<float> centre = m_pLocalPhase->Centre();
    LevelFollower::Input input;
    if (m_coherence.IsCoherent()) {
        input.fQuadrature = m_pCarrier->Quadrature(centre);
        input.value = {m_pCarrier->Project(centre), input.fQuadrature};
    } else {
        input.value = centre;
        input.fQuadrature = m_pLocalPhase->ProjectedQuadrature();
        input.bOwnPhase = true;
    }
    input.fTrackedLevel = m_pTracker->MarkLevel();
    input.fClassifiedLevel = m_pDecisions->MarkLevel();
    input.dUnit = m_pDecisions->Unit();
    input.fToneShare = m_pToneShare->Last();
    return input;
}

CoherenceWatch::Levels CwDemodulator::Private::coherenceLevels() const
{
    // The matched filter averages the channel's noise over its length; a crash reaches the
    // average through the channel filter on both sides and the average's own length.
    const std::int64_t now = nextIndex();
    const int reach = 2 * m_pChannel->Delay() + m_pEnvelope->Length();
    CoherenceWatch::Levels levels;
    levels.fMark = m_pTracker->MarkLevel();
    levels.fNoiseVariance =
        m_pDecisions->Segmenter().NoiseVariance() / float(m_pEnvelope->Length());
    levels.bCrashNear = m_frontEnd.LostWithin(now - reach, now, now);
    return levels;
}

LevelFollower::Moment CwDemodulator::Private::levelMoment() const
{
    LevelFollower::Moment now;
    now.fTrackedLevel = m_pTracker->MarkLevel();
    now.dUnit = m_pDecisions->Unit();
    now.nEnvelopeLength = m_pEnvelope->Length();
    now.bNeighbourHeard = m_pTracker->Position() - m_leakage.StrongNeighbourAt() <
                          std::int64_t(LEAKAGE_WINDOW_SEC * m_dBasebandRate);
    return now;
}

void CwDemodulator::Private::OnSymbol(int nCode, qint64 nPosition)
{
    m_timing.OnDecidedSymbol(nCode);
    // The segments decide (the envelope tracker only guides them), and have no delay.
    // A symbol is placed at the last input sample of the baseband sample it was decided at.
    const std::int64_t position = m_frontEnd.InputPosition(nPosition) + m_frontEnd.Decimation() - 1;
    if (position > m_reacquisition.ReplayedThrough())
        m_symbols.Push(nCode, position);
}

} // namespace cw
