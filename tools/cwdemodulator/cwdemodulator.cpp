#include "tools/cwdemodulator/cwdemodulator.h"

#include "tools/cwdemodulator/agcrecovery.h"
#include "tools/cwdemodulator/basebandconverter.h"
#include "tools/cwdemodulator/carrierreference.h"
#include "tools/cwdemodulator/channelfilter.h"
#include "tools/cwdemodulator/cwsegmenter.h"
#include "tools/cwdemodulator/cwspeedestimator.h"
#include "tools/cwdemodulator/cwtimingtracker.h"
#include "tools/cwdemodulator/damagedsamplefilter.h"
#include "tools/cwdemodulator/envelopedetector.h"
#include "tools/cwdemodulator/impulseblanker.h"
#include "tools/cwdemodulator/levelfollower.h"
#include "tools/cwdemodulator/localphaseprojector.h"
#include "tools/cwdemodulator/neighbourleakage.h"
#include "tools/cwdemodulator/pitchdetector.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <deque>
#include <limits>

namespace cw {

namespace {

constexpr double PITCH_HISTORY_SEC = 2.5; ///< audio kept while the pitch is searched
/// A peak this clear is still taken when the input ends before a clearly better one.
constexpr double WEAK_PEAK_RATIO = 4.0;
constexpr double ACQUISITION_MIN_SEC = 3.0;
constexpr double ACQUISITION_INTERVAL_SEC = 1.0;
constexpr double ACQUISITION_MAX_SEC = 8.0;
constexpr int ACQUISITION_MARKS = 6;
constexpr int FINAL_ACQUISITION_MARKS = 2;
/// The matched filter is resized when the element length moved this far from it.
constexpr double LENGTH_TOLERANCE = 0.12;
constexpr double SECONDS_PER_UNIT_AT_1_WPM = 1.2;
constexpr double LONE_GAP_UNITS = 2.0; ///< silence around a character
constexpr double LONE_DOT_UNITS = 2.0; ///< a mark shorter than this is a dot
constexpr double LONE_DOT_LEVEL = 0.6; ///< share of the mark level a lone dot must reach
/// Silence on both sides, longer than a word gap, that sets a dot apart from any text.
constexpr double ISOLATED_GAP_UNITS = 10.0;
/// Share of the mark level a dot set apart must reach while a stronger neighbour keys.
constexpr double ISOLATED_DOT_LEVEL = 0.8;
/// Marks and gaps shorter than this (elements) show that a reading has element-long ones.
constexpr double SHORT_ELEMENT_UNITS = 2.0;
constexpr double SLOWER_READING_MARGIN = 6.0; ///< log likelihood, see likeliestUnit()
constexpr double OUT_OF_RANGE = -1e300;       ///< score of a reading outside the speed range
constexpr double NOT_TRIED = -2e300;          ///< below any score: a stretch not tried
/// Key-down samples the agreement with the tone's phase is averaged over, and the mean
/// cosine of the phase error under which the tone no longer counts as steady.
constexpr double COHERENCE_MEMORY = 400.0;
constexpr float COHERENCE_LOST = 0.7f;
constexpr float KEY_DOWN_SHARE = 0.8f; ///< share of the mark level a key-down average reaches
constexpr size_t NOISE_WINDOW = 8;     ///< samples summed to measure the noise
/// While tracking, the last seconds are checked this often for marks that only a stronger
/// neighbour's leakage explains: then the wanted signal has ended.
constexpr double LEAKAGE_WINDOW_SEC = 3.0;
constexpr double LEAKAGE_INTERVAL_SEC = 0.5;
constexpr float LEAKAGE_STRONGER = 10.0f; ///< power over our marks for a neighbour to matter
/// Power outside the channel over the noise's (per part and sample) that only a strong
/// neighbour reaches.
constexpr float NEIGHBOUR_OVER_NOISE = 300.0f;

/// Of the envelope tracker's last marks, this many far too long for the element length
/// tracked say the speed changed beyond what the tracking follows.
constexpr unsigned TIMING_MARKS_WATCHED = 8;
constexpr int TIMING_MARKS_TOO_LONG = 3;
/// Element lengths within this ratio of each other are one speed, for a re-acquisition.
constexpr double SAME_SPEED_RATIO = 1.5;
/// Share of the mark level a reading with the samples limited to it must keep to be ours.
constexpr float LIMITED_MARK_SHARE = 0.5f;

/// The matched filter spans a little less than an element, so that hand-sent elements and
/// gaps shorter than the nominal unit still stand out.
constexpr double FILTER_SHARE = 0.85;

int filterLength(double dUnit)
{
    return std::max(1, int(std::lround(FILTER_SHARE * dUnit)));
}

/// A segmenter per thread for the acquisition's trial decisions, with the priors of @p own.
/// Trials on noise reach every node of the code tree, and each segmenter's rows are megabytes
/// filled on first use: a skimmer's channels share these instead of each filling its own.
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

/// Everything the demodulator holds: the blocks of the pipeline, what the acquisition keeps
/// back, and the symbols decided and not yet taken.
class CWDEMODULATOR_NO_EXPORT CwDemodulator::Private
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

    /// Hands the codes of one of the two timing trackers on.
    class Route : public CwTimingTracker::IListener
    {
    public:
        Route(Private* pOwner, bool bFromSegments)
            : m_pOwner(pOwner), m_bFromSegments(bFromSegments)
        {
        }
        void OnSymbol(int nCode, qint64 nPosition) override
        {
            m_pOwner->deliver(nCode, nPosition, m_bFromSegments);
        }

    private:
        Private* m_pOwner;
        bool m_bFromSegments;
    };

    void deliver(int nCode, std::int64_t nPosition, bool bFromSegments);
    void watchTiming(int nCode);
    void drainSegments(bool bEnd = false);
    bool isLoneWeakDot(double dGapAfterUnits) const;
    void finishTransmission();
    void endSegments();
    LevelFollower::Input segmenterInput() const;
    LevelFollower::Moment levelMoment() const;
    void watchCoherence(std::complex<float> average);
    void projectLocally(const std::vector<std::complex<float>>& samples,
                        std::vector<std::complex<float>>& out);
    void lockPitch(double dPitch);
    void convert(const float* pSamples, size_t nCount);
    void feed(const std::complex<float>* pSamples, size_t nCount);
    void tryAcquire(bool bFinal);
    void dropOldestHeld();
    void refineInPhase(CwSpeedEstimator::Result& result, int nMarks);
    void startTracking(const CwSpeedEstimator::Result& result);
    void replayHeld();
    void keepReplayFromRepeating(double dUnit);
    void filterHeld();
    CwSpeedEstimator::Result estimateHeld(int nMarks);
    bool heldIsLeakage(const CwSpeedEstimator::Result& result) const;
    float quadratureNoise(const std::vector<std::complex<float>>& projected) const;
    bool lacksShortElements(double dUnit, float fAmplitude);
    double likeliestUnit(double dUnit, float fAmplitude);
    /// Log likelihood of the held in-phase samples read at element length @p dUnit.
    double trialScore(CwSegmenter& segmenter, double dUnit, float fAmplitude) const;
    void track(std::complex<float> sample);
    bool hearsOnlyLeakage(std::complex<float> input, std::complex<float> channel);
    void keepRecent(std::complex<float> sample);
    void endLine();
    void reacquireRecent();

    Settings m_settings;
    double m_dPitch = 0.0;
    Phase m_phase = Phase::SearchingPitch;
    std::int64_t m_nInput = 0;
    double m_dBasebandRate = 0.0;
    int m_nDecimation = 1;
    double m_dMinUnit = 1.0;
    double m_dMaxUnit = 1.0;

    std::unique_ptr<PitchDetector> m_pPitchDetector;
    /// The latest audio while the pitch is searched: grows to its capacity, then wraps, so
    /// that a short input does not pay for seconds of memory.
    std::vector<float> m_pitchRing;
    size_t m_nPitchRingCapacity = 0;
    size_t m_nPitchRingStart = 0;
    size_t m_nPitchRingSize = 0;
    std::int64_t m_nConverterOrigin = 0; ///< input sample the first converted sample was

    DamagedSampleFilter m_damagedSamples;
    std::unique_ptr<ImpulseBlanker> m_pBlanker;  ///< from the pitch on: it notches the tone
    std::unique_ptr<AgcRecovery> m_pAgcRecovery; ///< behind it: the gain cut after a crash
    std::unique_ptr<BasebandConverter> m_pConverter;
    std::vector<std::complex<float>> m_baseband;
    std::int64_t m_nBaseband = 0; ///< baseband samples produced so far

    std::unique_ptr<CwSpeedEstimator> m_pEstimator;
    std::vector<std::complex<float>> m_acquisition; ///< baseband held back while learning
    std::vector<std::complex<float>> m_inPhase;     ///< its in-phase parts, once learned
    std::vector<std::complex<float>> m_filtered;    ///< it through the channel filter
    std::vector<std::complex<float>> m_derotated;   ///< that with the offset removed
    std::int64_t m_nAcquisitionStart = 0;           ///< baseband index of m_acquisition[0]
    std::vector<std::int64_t> m_heldCharacterGaps;  ///< samples, as decided among the held
    int m_nHeldFilterDelay = 0;                     ///< of the filter m_filtered went through
    size_t m_nSinceAttempt = 0;

    std::unique_ptr<CarrierReference> m_pCarrier;
    std::unique_ptr<ChannelFilter> m_pChannel;
    bool m_bCoherent = false;      ///< the tone is steady: decide on its in-phase part
    float m_fNoiseVariance = 0.0f; ///< of the in-phase part, as learned from the held samples
    float m_fCoherence = 1.0f;     ///< mean cosine of the key-down phase error
    std::unique_ptr<LocalPhaseProjector> m_pLocalPhase;
    std::unique_ptr<LevelFollower> m_pFollower; ///< feeds the segmenter
    std::unique_ptr<EnvelopeDetector> m_pEnvelope;
    // The envelope tracker decides marks by thresholds, and follows level, speed and phase.
    // For a steady tone its decisions are only a guide: the segmenter decides the marks and
    // gaps by maximum likelihood and the classifier turns them into codes.
    Route m_trackerRoute{this, false};
    Route m_segmentRoute{this, true};
    std::unique_ptr<CwTimingTracker> m_pTracker;
    std::unique_ptr<CwSegmenter> m_pSegmenter;
    std::unique_ptr<CwTimingTracker> m_pClassifier;
    CwSegmenter::Segment m_pendingMark{}; ///< waits for the gap after it
    bool m_bMarkPending = false;
    double m_dGapBefore = 0.0; ///< units of silence before the pending mark
    double m_dTrackedUnit = 0.0;
    std::vector<std::complex<float>> m_recentInput;    ///< derotated baseband while tracking
    std::vector<std::complex<float>> m_recentChannel;  ///< the same through the channel filter
    std::vector<std::complex<float>> m_recentBaseband; ///< the last seconds as they came in
    float m_fOutsidePeak = 0.0f;   ///< strongest power outside the channel since the last check
    bool m_bNeighbourKeys = false; ///< the last check heard something that strong outside
    /// Where a neighbour stronger than our marks was last heard outside the channel.
    std::int64_t m_nStrongNeighbourAt = std::numeric_limits<std::int64_t>::min() / 2;
    /// Marks decided from here on (filtered position) are a neighbour's leakage.
    std::int64_t m_nLeakageFrom = std::numeric_limits<std::int64_t>::max();
    bool m_bTooLongPending = false;   ///< the envelope tracker's next dash is far too long
    unsigned m_uTooLongMarks = 0;     ///< a bit per recent mark of it, newest lowest: too long
    bool m_bTimingLost = false;       ///< those marks no longer fit the timing
    std::int64_t m_nReacquiredAt = 0; ///< baseband index the last re-acquisition began from
    /// While a re-acquisition is pending: the tracked element length and the last symbol
    /// position given out before it.
    double m_dUnitBeforeReacquiring = 0.0;
    std::int64_t m_nGivenOutBeforeReacquiring = -1;
    /// Symbols up to this position were given out already: the replay does not repeat them.
    std::int64_t m_nReplayedThrough = -1;

    std::deque<CwSymbol> m_symbols;
    std::int64_t m_nLastSymbolPosition = 0;
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
    return d->m_pConverter != nullptr;
}

double CwDemodulator::Pitch() const
{
    return d->m_dPitch;
}

double CwDemodulator::Wpm() const
{
    return d->Wpm();
}

bool CwDemodulator::IsCoherent() const
{
    return d->m_bCoherent;
}

std::int64_t CwDemodulator::SamplesProcessed() const
{
    return d->m_nInput;
}

std::int64_t CwDemodulator::HeldFrom() const
{
    if (d->m_phase != Private::Phase::AcquiringSpeed)
        return -1;
    return std::max<std::int64_t>(0, d->m_nConverterOrigin +
                                         d->m_nAcquisitionStart * d->m_nDecimation -
                                         d->m_pConverter->DelayInputSamples());
}

CwDemodulator::Private::Private(const Settings& settings) : m_settings(settings)
{
    m_nDecimation = BasebandConverter::DecimationFor(settings.dSampleRate);
    m_dBasebandRate = settings.dSampleRate / m_nDecimation;
    const double maxWpm = std::max(settings.dMinWpm, settings.dMaxWpm);
    m_dMinUnit = SECONDS_PER_UNIT_AT_1_WPM / maxWpm * m_dBasebandRate;
    m_dMaxUnit = SECONDS_PER_UNIT_AT_1_WPM / std::max(1.0, settings.dMinWpm) * m_dBasebandRate;

    CwTimingTracker::Settings trackerSettings;
    trackerSettings.dMinUnit = m_dMinUnit;
    trackerSettings.dMaxUnit = m_dMaxUnit;
    trackerSettings.dLineSilence = settings.dLineSilenceSec * m_dBasebandRate;
    m_pTracker = std::make_unique<CwTimingTracker>(trackerSettings, &m_trackerRoute);
    m_pClassifier = std::make_unique<CwTimingTracker>(trackerSettings, &m_segmentRoute);
    m_pSegmenter = std::make_unique<CwSegmenter>(settings.characterCodes);
    m_pEnvelope = std::make_unique<EnvelopeDetector>(int(std::ceil(m_dMaxUnit)));
    m_pEstimator = std::make_unique<CwSpeedEstimator>(m_dMinUnit, m_dMaxUnit);
    m_pCarrier = std::make_unique<CarrierReference>(m_dBasebandRate);
    m_pChannel = std::make_unique<ChannelFilter>(m_dBasebandRate);
    m_acquisition.reserve(size_t(ACQUISITION_MAX_SEC * m_dBasebandRate) + 1);

    if (settings.dPitchHz > 0.0) {
        lockPitch(settings.dPitchHz);
    } else {
        m_pPitchDetector = std::make_unique<PitchDetector>(
            settings.dSampleRate, settings.dMinPitchHz,
            std::min(settings.dMaxPitchHz, settings.dSampleRate * 0.45));
        m_nPitchRingCapacity = size_t(PITCH_HISTORY_SEC * settings.dSampleRate);
    }
}

double CwDemodulator::Private::Wpm() const
{
    if (m_dTrackedUnit <= 0.0)
        return 0.0;
    return SECONDS_PER_UNIT_AT_1_WPM / (m_dTrackedUnit / m_dBasebandRate);
}

void CwDemodulator::Private::Process(const float* pSamples, size_t nCount)
{
    pSamples = m_damagedSamples.Push(pSamples, nCount);

    while (nCount > 0 && m_phase == Phase::SearchingPitch) {
        // Feed the pitch search up to its next decision point, keeping the recent audio.
        const size_t hop = m_pPitchDetector->HopSize();
        const size_t take = std::min(nCount, hop - size_t(m_nInput % std::int64_t(hop)));
        m_pPitchDetector->Add(pSamples, take);
        for (size_t i = 0; i < take; ++i) {
            const size_t capacity = m_nPitchRingCapacity;
            if (m_nPitchRingSize < capacity) {
                m_pitchRing.push_back(pSamples[i]);
                ++m_nPitchRingSize;
            } else {
                m_pitchRing[m_nPitchRingStart] = pSamples[i];
                m_nPitchRingStart = (m_nPitchRingStart + 1) % capacity;
            }
        }
        m_nInput += std::int64_t(take);
        pSamples += take;
        nCount -= take;
        if (m_nInput % std::int64_t(hop) == 0 && m_pPitchDetector->HasPitch())
            lockPitch(m_pPitchDetector->Pitch());
    }
    if (nCount > 0) {
        m_nInput += std::int64_t(nCount);
        convert(pSamples, nCount);
    }
}

void CwDemodulator::Private::Finish()
{
    if (m_phase == Phase::SearchingPitch && m_pPitchDetector->Pitch() > 0.0 &&
        m_pPitchDetector->PeakRatio() >= WEAK_PEAK_RATIO)
        lockPitch(m_pPitchDetector->Pitch());
    if (m_phase == Phase::AcquiringSpeed)
        tryAcquire(true);
    if (m_phase == Phase::Tracking)
        finishTransmission();
}

void CwDemodulator::Private::finishTransmission()
{
    m_pTracker->Finish();
    // The filter, the projection and the level run behind the input: let the last samples
    // through. The silence pushed after them is no sample to judge a level or a gain from.
    const int filterDelay = m_pChannel->Delay();
    const int judged = filterDelay + m_pLocalPhase->Delay();
    const bool following = m_pFollower->IsFollowing();
    for (int i = 0; i < judged; ++i) {
        const std::complex<float> corrected =
            i < filterDelay ? m_pChannel->Push(std::complex<float>()) : std::complex<float>();
        m_pLocalPhase->Push(corrected);
        const float magnitude =
            following ? std::sqrt(std::norm(m_pEnvelope->PushAverage(corrected))) : 0.0f;
        m_pFollower->Push(segmenterInput(), magnitude, levelMoment());
    }
    m_pFollower->Finish(levelMoment());
    endSegments();
}

void CwDemodulator::Private::endSegments()
{
    m_pSegmenter->Finish();
    drainSegments(true);
    m_pClassifier->Finish();
}

void CwDemodulator::Private::drainSegments(bool bEnd)
{
    // A lone dot between two long silences is an "E", or noise that crossed over: near the
    // noise floor the second is common, so such a dot must also be about as strong as the
    // other marks. Each mark waits for the gap after it to be known.
    CwSegmenter::Segment segment;
    while (m_pSegmenter->TakeSegment(segment)) {
        const double unit = m_pClassifier->Unit();
        if (segment.bOn && segment.nStart >= m_nLeakageFrom)
            continue;
        if (segment.bOn) {
            if (m_bMarkPending)
                m_pClassifier->PushSegment(m_pendingMark);
            m_pendingMark = segment;
            m_bMarkPending = true;
            continue;
        }
        if (m_bMarkPending) {
            m_bMarkPending = false;
            if (!isLoneWeakDot(double(segment.nLength) / unit)) {
                m_pClassifier->PushSegment(m_pendingMark);
            }
        }
        m_dGapBefore = double(segment.nLength) / unit;
        m_pClassifier->PushSegment(segment);
    }
    if (bEnd && m_bMarkPending) {
        m_bMarkPending = false;
        if (!isLoneWeakDot(LONE_GAP_UNITS))
            m_pClassifier->PushSegment(m_pendingMark);
    }
}

bool CwDemodulator::Private::isLoneWeakDot(double dGapAfterUnits) const
{
    const double unit = m_pClassifier->Unit();
    // A stronger neighbour's key clicks leak in as dots set apart by long silences, a little
    // weaker than our marks (after the wanted signal ended, or in its pauses): such a dot
    // must be nearly as strong as our marks.
    const float markLevel = m_pClassifier->MarkLevel();
    const bool neighbourKeys =
        m_bNeighbourKeys || m_fOutsidePeak >= LEAKAGE_STRONGER * markLevel * markLevel;
    const bool isolated =
        neighbourKeys && m_dGapBefore >= ISOLATED_GAP_UNITS && dGapAfterUnits >= ISOLATED_GAP_UNITS;
    const double level = isolated ? ISOLATED_DOT_LEVEL : LONE_DOT_LEVEL;
    return m_dGapBefore >= LONE_GAP_UNITS && dGapAfterUnits >= LONE_GAP_UNITS &&
           double(m_pendingMark.nLength) < LONE_DOT_UNITS * unit &&
           m_pendingMark.fLevel < level * markLevel;
}

bool CwDemodulator::Private::TakeSymbol(CwSymbol& symbol)
{
    if (m_symbols.empty())
        return false;
    symbol = m_symbols.front();
    m_symbols.pop_front();
    return true;
}

void CwDemodulator::Private::lockPitch(double dPitch)
{
    m_dPitch = dPitch;
    m_pConverter = std::make_unique<BasebandConverter>(m_settings.dSampleRate, dPitch);
    m_pBlanker = std::make_unique<ImpulseBlanker>(m_settings.dSampleRate, dPitch);
    m_pAgcRecovery = std::make_unique<AgcRecovery>(m_settings.dSampleRate, dPitch);
    m_phase = Phase::AcquiringSpeed;
    m_nConverterOrigin = m_nInput - std::int64_t(m_nPitchRingSize);
    // Replay the audio held during the search, oldest first.
    const size_t capacity = m_nPitchRingCapacity;
    const size_t firstPart = std::min(m_nPitchRingSize, capacity - m_nPitchRingStart);
    if (m_nPitchRingSize > 0) {
        convert(m_pitchRing.data() + m_nPitchRingStart, firstPart);
        convert(m_pitchRing.data(), m_nPitchRingSize - firstPart);
    }
    m_pitchRing = std::vector<float>();
    m_nPitchRingSize = 0;
    m_pPitchDetector.reset();
}

void CwDemodulator::Private::convert(const float* pSamples, size_t nCount)
{
    m_baseband.clear();
    const float* blanked = m_pBlanker->Push(pSamples, nCount);
    m_pConverter->Process(m_pAgcRecovery->Push(blanked, nCount), nCount, m_baseband);
    m_nBaseband += std::int64_t(m_baseband.size());
    feed(m_baseband.data(), m_baseband.size());
}

void CwDemodulator::Private::feed(const std::complex<float>* pSamples, size_t nCount)
{
    const size_t minimum = size_t(ACQUISITION_MIN_SEC * m_dBasebandRate);
    const size_t interval = size_t(ACQUISITION_INTERVAL_SEC * m_dBasebandRate);
    for (size_t i = 0; i < nCount; ++i) {
        if (m_phase == Phase::Tracking) {
            track(pSamples[i]);
            continue;
        }
        m_acquisition.push_back(pSamples[i]);
        if (++m_nSinceAttempt >= interval && m_acquisition.size() >= minimum) {
            m_nSinceAttempt = 0;
            tryAcquire(false);
        }
    }
}

void CwDemodulator::Private::filterHeld()
{
    // The held samples through the channel filter, aligned with them (the filter's delay
    // taken out), so that neighbours do not disturb the learning either.
    ChannelFilter filter(m_dBasebandRate);
    const size_t delay = size_t(filter.Delay());
    m_filtered.clear();
    m_filtered.reserve(m_acquisition.size());
    m_nHeldFilterDelay = filter.Delay();
    for (size_t i = 0; i < m_acquisition.size() + delay; ++i) {
        const std::complex<float> out =
            filter.Push(i < m_acquisition.size() ? m_acquisition[i] : std::complex<float>());
        if (i >= delay)
            m_filtered.push_back(out);
    }
}

void CwDemodulator::Private::tryAcquire(bool bFinal)
{
    // A pipeline of named steps: filter the held samples, time them, learn the tone, refine
    // the timing in phase, start every block of the tracking, replay the held samples.
    const int marks = bFinal ? FINAL_ACQUISITION_MARKS : ACQUISITION_MARKS;
    filterHeld();
    CwSpeedEstimator::Result result = estimateHeld(marks);
    CarrierReference::Tone tone = CarrierReference::Tone::None;
    if (result.bFound && !heldIsLeakage(result))
        tone = m_pCarrier->Learn(m_filtered.data(), m_filtered.size(), filterLength(result.dUnit),
                                 0.5f * (result.fMarkLevel + result.fSpaceLevel));
    if (tone == CarrierReference::Tone::None) {
        if (!bFinal)
            dropOldestHeld();
        return;
    }
    m_bCoherent = tone == CarrierReference::Tone::Steady;
    refineInPhase(result, marks);
    keepReplayFromRepeating(result.dUnit);
    startTracking(result);
    replayHeld();
    if (bFinal && m_phase == Phase::AcquiringSpeed && !m_acquisition.empty())
        tryAcquire(true);
}

CwSpeedEstimator::Result CwDemodulator::Private::estimateHeld(int nMarks)
{
    // A stronger neighbour's keying clicks reach into the channel at each of its edges as
    // bursts well over our marks: they lengthen marks and bridge gaps (keyed in step with
    // the wanted signal at 35 WPM, 60 or 13 WPM fitted better than 35). With such a
    // neighbour, the timing is read again with every sample limited to the mark level
    // found, here and in phase. Leakage alone keeps no marks near that level once its
    // bursts are limited: then the first reading stands, for the leakage check to judge.
    m_pEstimator->LimitLevel(0.0f);
    const CwSpeedEstimator::Result result =
        m_pEstimator->Estimate(m_filtered.data(), m_filtered.size(), nMarks);
    const NeighbourLeakage::Held held{m_acquisition.data(), m_filtered.data(), m_filtered.size(),
                                      m_dBasebandRate, m_nHeldFilterDelay};
    if (!NeighbourLeakage::StrongerNeighbourKeys(held, result.fMarkLevel))
        return result;
    m_pEstimator->LimitLevel(result.fMarkLevel);
    const CwSpeedEstimator::Result limited =
        m_pEstimator->Estimate(m_filtered.data(), m_filtered.size(), nMarks);
    if (limited.fMarkLevel >= LIMITED_MARK_SHARE * result.fMarkLevel)
        return limited;
    m_pEstimator->LimitLevel(0.0f);
    return result;
}

bool CwDemodulator::Private::heldIsLeakage(const CwSpeedEstimator::Result& result) const
{
    // A stronger neighbour's keying leaks into the channel at each of its edges: such marks
    // are no signal of ours, whatever their timing looks like.
    const NeighbourLeakage::Held held{m_acquisition.data(), m_filtered.data(), m_filtered.size(),
                                      m_dBasebandRate, m_nHeldFilterDelay};
    return NeighbourLeakage::Explains(held, filterLength(result.dUnit),
                                      0.5f * (result.fMarkLevel + result.fSpaceLevel),
                                      result.fMarkLevel);
}

void CwDemodulator::Private::dropOldestHeld()
{
    // Nothing decodable in the oldest second: let it go.
    const size_t maximum = size_t(ACQUISITION_MAX_SEC * m_dBasebandRate);
    const size_t interval = size_t(ACQUISITION_INTERVAL_SEC * m_dBasebandRate);
    if (m_acquisition.size() + interval > maximum) {
        m_acquisition.erase(m_acquisition.begin(),
                            m_acquisition.begin() + std::ptrdiff_t(interval));
        m_nAcquisitionStart += std::int64_t(interval);
    }
}

void CwDemodulator::Private::refineInPhase(CwSpeedEstimator::Result& result, int nMarks)
{
    // In phase, the noise is half as strong: estimate the timing again from that. A tone
    // whose phase does not stand still is projected on its phase around each sample.
    m_pLocalPhase = std::make_unique<LocalPhaseProjector>(filterLength(result.dUnit) / 2);
    if (m_bCoherent) {
        m_pCarrier->ProjectLearned(m_filtered.data(), m_filtered.size(), m_inPhase);
        m_fNoiseVariance = m_pCarrier->NoiseVariance();
    } else {
        projectLocally(m_filtered, m_inPhase);
        m_fNoiseVariance = quadratureNoise(m_inPhase);
    }
    const CwSpeedEstimator::Result inPhase =
        m_pEstimator->Estimate(m_inPhase.data(), m_inPhase.size(), nMarks, true);
    if (inPhase.bFound)
        result = inPhase;
    result.dUnit = likeliestUnit(result.dUnit, result.fMarkLevel);
}

void CwDemodulator::Private::startTracking(const CwSpeedEstimator::Result& result)
{
    m_fCoherence = 1.0f;
    m_dTrackedUnit = result.dUnit;
    m_pChannel = std::make_unique<ChannelFilter>(
        m_dBasebandRate, ChannelFilter::PassFor(result.dUnit / m_dBasebandRate));
    m_pEnvelope->Reset();
    m_pEnvelope->SetLength(filterLength(result.dUnit));
    // In phase, the noise averages to zero; in magnitude, to the space level found.
    // Each step behind the channel filter and the projection sees the samples later.
    const std::int64_t filtered = m_nAcquisitionStart - m_pChannel->Delay();
    m_pTracker->Start(result.dUnit, result.fMarkLevel, m_bCoherent ? 0.0f : result.fSpaceLevel,
                      filtered, m_bCoherent);
    m_pFollower = std::make_unique<LevelFollower>(*m_pSegmenter, m_dBasebandRate);
    m_pSegmenter->Reset(filtered - m_pLocalPhase->Delay(), m_fNoiseVariance);
    m_bMarkPending = false;
    m_dGapBefore = LONE_GAP_UNITS;
    m_pClassifier->Start(result.dUnit, result.fMarkLevel, 0.0f, filtered, true);
    std::vector<double> gaps;
    for (std::int64_t gap : m_heldCharacterGaps)
        gaps.push_back(double(gap) / result.dUnit);
    m_pClassifier->PresetCharacterGaps(gaps);
    m_recentInput.clear();
    m_recentChannel.clear();
    m_fOutsidePeak = 0.0f;
    m_nStrongNeighbourAt = std::numeric_limits<std::int64_t>::min() / 2;
    m_bNeighbourKeys = false;
    m_nLeakageFrom = std::numeric_limits<std::int64_t>::max();
    m_bTooLongPending = false;
    m_uTooLongMarks = 0;
    m_bTimingLost = false;
    m_recentBaseband.clear();
    m_phase = Phase::Tracking;
}

void CwDemodulator::Private::replayHeld()
{
    // The held samples are decoded now, so that the first character comes out right.
    std::vector<std::complex<float>> held;
    held.swap(m_acquisition);
    m_acquisition.reserve(held.capacity());
    feed(held.data(), held.size());
}

void CwDemodulator::Private::projectLocally(const std::vector<std::complex<float>>& samples,
                                            std::vector<std::complex<float>>& out)
{
    // As track() will see them: derotated, then projected on their surroundings (in phase as
    // the real part, in quadrature as the imaginary).
    m_pCarrier->DerotateLearned(samples.data(), samples.size(), m_derotated);
    LocalPhaseProjector projector(m_pLocalPhase->Delay());
    out.clear();
    out.reserve(samples.size());
    const int delay = projector.Delay();
    for (size_t i = 0; i < samples.size() + size_t(delay); ++i) {
        projector.Push(i < samples.size() ? m_derotated[i] : std::complex<float>());
        if (i >= size_t(delay))
            out.push_back(projector.Projected());
    }
}

float CwDemodulator::Private::quadratureNoise(
    const std::vector<std::complex<float>>& projected) const
{
    // A tone whose phase moves has signal in any fixed quadrature: the noise is measured on
    // the quadrature part around each sample instead, as sums over a few samples see it (the
    // same measure the carrier reference makes of a steady tone). Measured on the fixed
    // quadrature, marks inflated it, and the decisions then trusted the length priors over
    // the samples: slower readings won and weak elements were lost.
    double sum = 0.0;
    double window = 0.0;
    size_t windows = 0;
    for (size_t i = 0; i < projected.size(); ++i) {
        window += double(projected[i].imag());
        if ((i + 1) % NOISE_WINDOW == 0) {
            sum += window * window / double(NOISE_WINDOW);
            window = 0.0;
            ++windows;
        }
    }
    return windows > 0 ? float(sum / double(windows)) : m_pCarrier->NoiseVariance();
}

bool CwDemodulator::Private::lacksShortElements(double dUnit, float fAmplitude)
{
    // Decides the held samples at this element length and looks for marks and gaps shorter
    // than two elements among enough marks to be sure. The segment the end of the held
    // samples cuts short does not count.
    // The gaps that end characters are kept for judging word gaps (Farnsworth spacing).
    CwSegmenter& segmenter = trialSegmenter(*m_pSegmenter, m_settings.characterCodes);
    segmenter.Reset(0, m_fNoiseVariance);
    const size_t held = m_inPhase.size();
    int marks = 0;
    bool shortSeen = false;
    m_heldCharacterGaps.clear();
    auto takeSegments = [&] {
        for (CwSegmenter::Segment segment; segmenter.TakeSegment(segment);) {
            const bool cut = double(segment.nStart + segment.nLength) + dUnit > double(held);
            marks += segment.bOn ? 1 : 0;
            shortSeen =
                shortSeen || (!cut && double(segment.nLength) < SHORT_ELEMENT_UNITS * dUnit);
            if (!cut && marks > 0 && segment.kind == CwSegmenter::Kind::CharacterGap)
                m_heldCharacterGaps.push_back(segment.nLength);
        }
    };
    for (const std::complex<float>& sample : m_inPhase) {
        segmenter.PushInPhase(sample.real(), fAmplitude, dUnit);
        takeSegments();
    }
    segmenter.Finish();
    takeSegments();
    m_pSegmenter->CopyPriorsFrom(segmenter);
    return marks >= ACQUISITION_MARKS && !shortSeen;
}

double CwDemodulator::Private::trialScore(CwSegmenter& segmenter, double dUnit,
                                          float fAmplitude) const
{
    if (dUnit > m_dMaxUnit || dUnit < m_dMinUnit)
        return OUT_OF_RANGE;
    segmenter.Reset(0, m_fNoiseVariance, true);
    for (const std::complex<float>& sample : m_inPhase)
        segmenter.PushInPhase(sample.real(), fAmplitude, dUnit);
    segmenter.Finish();
    return segmenter.BestScore();
}

double CwDemodulator::Private::likeliestUnit(double dUnit, float fAmplitude)
{
    // Noise breaks long marks into short ones, and timing alone cannot tell "TTT" from "EEE"
    // at three times the speed, so the timing estimate can come out a whole multiple too
    // fast. The likelihood of the held samples under the slower readings settles it. (Only
    // slower ones: a faster reading fits noise better and would always look likelier.)
    // A clean slow signal goes wrong the other way: a finer reading fits its edges better, so
    // its dots read as dashes of a third the length. No Morse text does without element-long
    // marks and gaps, so a reading that has none is not taken.
    const bool onlyLongElements = lacksShortElements(dUnit, fAmplitude);
    CwSegmenter& segmenter = trialSegmenter(*m_pSegmenter, m_settings.characterCodes);
    double best = dUnit;
    double bestScore = OUT_OF_RANGE;
    for (double factor : {1.0, 2.0, 3.0}) {
        if (onlyLongElements && factor == 1.0)
            continue;
        // The timing estimate of a reading that was not its own is rough: try around it,
        // climbing from the middle of the stretches towards the likelier side only.
        const double stretches[] = {0.88, 0.94, 1.0, 1.06, 1.13};
        double scores[] = {NOT_TRIED, NOT_TRIED, NOT_TRIED, NOT_TRIED, NOT_TRIED};
        auto tryStretch = [&](size_t n) {
            scores[n] = trialScore(segmenter, dUnit * factor * stretches[n], fAmplitude);
        };
        for (size_t n : {1, 2, 3})
            tryStretch(n);
        const bool noneInRange = std::max({scores[1], scores[2], scores[3]}) <= OUT_OF_RANGE;
        if (noneInRange || (scores[1] > scores[2] && scores[1] >= scores[3]))
            tryStretch(0);
        if (noneInRange || (scores[3] > scores[2] && scores[3] > scores[1]))
            tryStretch(4);
        double factorBest = dUnit * factor;
        double factorScore = OUT_OF_RANGE;
        for (size_t n : {2, 0, 1, 3, 4}) {
            if (scores[n] > factorScore) {
                factorScore = scores[n];
                factorBest = dUnit * factor * stretches[n];
            }
        }
        // A slower reading has to be clearly likelier: it needs fewer segments, each of which
        // costs its prior, so near the noise it can win by a little without being right.
        if (factorScore > bestScore + (factor > 1.0 ? SLOWER_READING_MARGIN : 0.0)) {
            bestScore = factorScore;
            best = factorBest;
        }
    }
    m_pSegmenter->CopyPriorsFrom(segmenter);
    return best;
}

void CwDemodulator::Private::track(std::complex<float> sample)
{
    const std::complex<float> derotated = m_pCarrier->Derotate(sample);
    const std::complex<float> corrected = m_pChannel->Push(derotated);
    const std::complex<float> average = m_pEnvelope->PushAverage(corrected);
    m_pLocalPhase->Push(corrected);
    // The segments are the better record of the timing: the envelope tracker follows the
    // classifier's element length, and marks when the key is down for the carrier loops.
    m_pTracker->SetUnit(m_pClassifier->Unit());
    if (m_bCoherent) {
        m_pTracker->Push(m_pCarrier->Project(average));
        watchCoherence(average);
    } else {
        m_pTracker->Push(std::sqrt(std::norm(average)));
    }
    if (!m_pTracker->IsKeyDown())
        m_pCarrier->KeyUp();
    else if (m_bCoherent)
        m_pCarrier->Update(average);
    else
        m_pCarrier->FollowFrequency(average);
    const LevelFollower::Moment now = levelMoment();
    m_pFollower->Watch(now);
    m_pFollower->Push(segmenterInput(),
                      m_pFollower->IsFollowing() ? std::sqrt(std::norm(average)) : 0.0f, now);
    drainSegments();
    const double unit = m_pClassifier->Unit();
    m_dTrackedUnit = unit;
    const int length = filterLength(unit);
    if (std::abs(double(length) / m_pEnvelope->Length() - 1.0) > LENGTH_TOLERANCE)
        m_pEnvelope->SetLength(length);
    keepRecent(sample);
    if (m_pTracker->LineEnded() || hearsOnlyLeakage(derotated, corrected))
        endLine();
    else if (m_bTimingLost)
        reacquireRecent();
}

void CwDemodulator::Private::endLine()
{
    // Silence, or only a neighbour's leakage: the next transmission may come at another
    // speed and level.
    m_pFollower->Finish(levelMoment());
    endSegments();
    m_phase = Phase::AcquiringSpeed;
    m_acquisition.clear();
    m_nAcquisitionStart = m_pTracker->Position() + m_pChannel->Delay();
    m_nSinceAttempt = 0;
}

void CwDemodulator::Private::keepRecent(std::complex<float> sample)
{
    // Trimmed a second at a time, so that the cost per sample stays a push.
    const size_t kept = size_t(ACQUISITION_MIN_SEC * m_dBasebandRate);
    const size_t interval = size_t(ACQUISITION_INTERVAL_SEC * m_dBasebandRate);
    m_recentBaseband.push_back(sample);
    if (m_recentBaseband.size() >= kept + interval)
        m_recentBaseband.erase(m_recentBaseband.begin(),
                               m_recentBaseband.begin() + std::ptrdiff_t(interval));
}

void CwDemodulator::Private::reacquireRecent()
{
    // The timing stopped fitting (a change of speed beyond what the tracking follows): the
    // speed is acquired afresh from the last seconds, which are decoded again at it.
    // Never from before the last time: a reading that fits no better again moves on.
    // The timing may be lost again while the samples of the last time are replayed, before
    // the point it began from: then nothing older is taken.
    const std::int64_t next = m_pTracker->Position() + m_pChannel->Delay();
    const std::int64_t start =
        std::min(next, std::max(next - std::int64_t(m_recentBaseband.size()), m_nReacquiredAt));
    endLine();
    m_acquisition.assign(m_recentBaseband.end() - std::ptrdiff_t(next - start),
                         m_recentBaseband.end());
    m_nAcquisitionStart = start;
    m_nReacquiredAt = std::max(m_nReacquiredAt, next);
    m_recentBaseband.clear();
    m_dUnitBeforeReacquiring = m_dTrackedUnit;
    m_nGivenOutBeforeReacquiring = m_nLastSymbolPosition;
}

void CwDemodulator::Private::keepReplayFromRepeating(double dUnit)
{
    // A re-acquisition that finds about the speed it left was set off by noise (marks merged
    // near the floor), not by a change of speed: what was given out of the replayed seconds
    // stands, and the replay adds only what follows it. At a new speed the replayed seconds
    // are read again, as the old reading of them was wrong.
    if (m_nGivenOutBeforeReacquiring < 0)
        return;
    const double ratio = dUnit / m_dUnitBeforeReacquiring;
    if (ratio > 1.0 / SAME_SPEED_RATIO && ratio < SAME_SPEED_RATIO)
        m_nReplayedThrough = m_nGivenOutBeforeReacquiring;
    m_nGivenOutBeforeReacquiring = -1;
}

bool CwDemodulator::Private::hearsOnlyLeakage(std::complex<float> input,
                                              std::complex<float> channel)
{
    // The wanted signal has ended when all that is heard of late is a stronger neighbour's
    // leakage: the timing tracker would take it for weak marks and never see the silence.
    // The full check runs only while something that strong is outside the channel.
    const size_t delay = size_t(m_pChannel->Delay());
    m_recentInput.push_back(input);
    m_recentChannel.push_back(channel);
    if (m_recentInput.size() > delay) {
        const float outside = std::norm(m_recentInput[m_recentInput.size() - 1 - delay] - channel);
        m_fOutsidePeak = std::max(m_fOutsidePeak, outside);
        const float level = m_pClassifier->MarkLevel();
        if (outside >= NEIGHBOUR_OVER_NOISE * m_pSegmenter->NoiseVariance() &&
            outside >= LEAKAGE_STRONGER * level * level)
            m_nStrongNeighbourAt = m_pTracker->Position();
    }
    const size_t window = size_t(LEAKAGE_WINDOW_SEC * m_dBasebandRate);
    const size_t interval = size_t(LEAKAGE_INTERVAL_SEC * m_dBasebandRate);
    if (m_recentChannel.size() < window + delay + interval)
        return false;
    m_recentInput.erase(m_recentInput.begin(), m_recentInput.begin() + std::ptrdiff_t(interval));
    m_recentChannel.erase(m_recentChannel.begin(),
                          m_recentChannel.begin() + std::ptrdiff_t(interval));
    const float level = m_pClassifier->MarkLevel();
    const bool strongNeighbour = m_fOutsidePeak >= LEAKAGE_STRONGER * level * level;
    m_fOutsidePeak = 0.0f;
    m_bNeighbourKeys = strongNeighbour;
    if (!strongNeighbour)
        return false;
    // The input before the filter's delay lines up with the filter's output.
    const NeighbourLeakage::Held held{m_recentInput.data(), m_recentChannel.data() + delay, window,
                                      m_dBasebandRate, int(delay)};
    if (!NeighbourLeakage::Explains(held, m_pEnvelope->Length(), 0.5f * level, level))
        return false;
    m_nLeakageFrom = m_pTracker->Position() - std::int64_t(window);
    return true;
}

LevelFollower::Input CwDemodulator::Private::segmenterInput() const
{
    // A steady tone is projected on its tracked phase; any other is weighed mark by mark on
    // the mark's own phase (the quadrature part around each sample measures the noise).
    const std::complex<float> centre = m_pLocalPhase->Centre();
    LevelFollower::Input input;
    if (m_bCoherent) {
        input.fQuadrature = m_pCarrier->Quadrature(centre);
        input.value = {m_pCarrier->Project(centre), input.fQuadrature};
    } else {
        input.value = centre;
        input.fQuadrature = m_pLocalPhase->Projected().imag();
        input.bOwnPhase = true;
    }
    input.fTrackedLevel = m_pTracker->MarkLevel();
    input.fClassifiedLevel = m_pClassifier->MarkLevel();
    input.dUnit = m_pClassifier->Unit();
    return input;
}

LevelFollower::Moment CwDemodulator::Private::levelMoment() const
{
    LevelFollower::Moment now;
    now.fTrackedLevel = m_pTracker->MarkLevel();
    now.dUnit = m_pClassifier->Unit();
    now.nEnvelopeLength = m_pEnvelope->Length();
    now.bNeighbourHeard = m_pTracker->Position() - m_nStrongNeighbourAt <
                          std::int64_t(LEAKAGE_WINDOW_SEC * m_dBasebandRate);
    return now;
}

void CwDemodulator::Private::watchCoherence(std::complex<float> average)
{
    // Coherence is a gain, not a condition: when the tracked phase stops fitting the marks
    // (drift faster than the loops follow, a phase that starts wandering), decide on the
    // phase around each sample instead, until the next transmission is acquired.
    // Key-down is judged on the magnitude: a wrong phase hides the marks from the tracker.
    const float magnitude = std::sqrt(std::norm(average));
    if (magnitude <= KEY_DOWN_SHARE * m_pTracker->MarkLevel())
        return;
    const float agreement = m_pCarrier->Project(average) / magnitude;
    m_fCoherence += float((agreement - m_fCoherence) / COHERENCE_MEMORY);
    if (m_fCoherence < COHERENCE_LOST)
        m_bCoherent = false;
}

void CwDemodulator::Private::watchTiming(int nCode)
{
    // The envelope tracker reads marks at the tracked element length. When the speed drops
    // far below what the tracking follows (35 WPM, then 8 WPM within a line), its dashes come
    // out far too long again and again. (A rise as far shows as marks running on without a
    // character end, but so does noise near the floor: ebook2cw at -10 dB lost 1.2 points.)
    if (nCode == morse::SYMBOL_DASH_TOO_LONG)
        m_bTooLongPending = true;
    if (nCode != morse::SYMBOL_DOT && nCode != morse::SYMBOL_DASH)
        return;
    m_uTooLongMarks = (m_uTooLongMarks << 1) | (m_bTooLongPending ? 1u : 0u);
    m_bTooLongPending = false;
    const unsigned watched = m_uTooLongMarks & ((1u << TIMING_MARKS_WATCHED) - 1u);
    int tooLong = 0;
    for (unsigned bits = watched; bits != 0; bits &= bits - 1)
        ++tooLong;
    m_bTimingLost = tooLong >= TIMING_MARKS_TOO_LONG;
}

void CwDemodulator::Private::deliver(int nCode, std::int64_t nPosition, bool bFromSegments)
{
    // The segments decide; the envelope tracker only guides them.
    if (!bFromSegments) {
        watchTiming(nCode);
        return;
    }
    // The envelope at baseband index t covers the samples up to t; an edge crossing half
    // height there happened at the middle of the averaging window. Segments have no delay.
    const double delay = bFromSegments ? 0.0 : 0.5 * double(m_pEnvelope->Length() - 1);
    const double centre = double(nPosition) - delay;
    std::int64_t position = m_nConverterOrigin +
                            std::int64_t(std::llround(centre * m_nDecimation)) + m_nDecimation - 1 -
                            m_pConverter->DelayInputSamples();
    if (position <= m_nReplayedThrough)
        return;
    position = std::max({position, m_nLastSymbolPosition, std::int64_t(0)});
    m_nLastSymbolPosition = position;
    m_symbols.push_back({nCode, position});
}

} // namespace cw
