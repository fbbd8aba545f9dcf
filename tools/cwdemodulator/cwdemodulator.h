#pragma once

#include "tools/cwdemodulator/cwdemodulator_export.h"
#include "tools/cwdemodulator/cwsegmenter.h"
#include "tools/cwdemodulator/cwspeedestimator.h"
#include "tools/cwdemodulator/cwsymbol.h"
#include "tools/cwdemodulator/cwtimingtracker.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace cw {

class BasebandConverter;
class CarrierReference;
class ChannelFilter;
class EnvelopeDetector;
class LocalPhaseProjector;
class PitchDetector;

/// A streaming CW demodulator: audio in, Morse symbol codes out. Finds the tone (or takes a
/// given pitch), brings it to baseband, looks ahead a few seconds to learn the speed and
/// levels of each transmission, then decides every dot, dash, character, word and line end
/// as soon as the signal allows. Memory stays bounded however long the input; the codes do
/// not depend on how the input is cut into blocks.
class CWDEMODULATOR_EXPORT CwDemodulator
{
public:
    struct Settings
    {
        double dSampleRate = 8000.0;
        double dPitchHz = 0.0; ///< 0 finds the pitch between the two limits below
        double dMinPitchHz = 200.0;
        double dMaxPitchHz = 1500.0;
        double dMinWpm = 5.0;
        double dMaxWpm = 60.0;
        double dLineSilenceSec = 3.0; ///< silence that ends a line
        /// Dots and dashes (".-") of the characters of the alphabet in use, which the
        /// decisions favour; empty for the built-in International alphabet.
        std::vector<std::string> characterCodes;
    };

    explicit CwDemodulator(const Settings& settings);
    ~CwDemodulator();
    CwDemodulator(const CwDemodulator&) = delete;
    CwDemodulator& operator=(const CwDemodulator&) = delete;

    /// Sample rates this demodulator can work at (the pitch range must fit below half of it).
    static bool IsUsableSampleRate(double dSampleRate);

    // Reception.
    /// Demodulates the next block of mono samples (full scale +-1).
    void Process(const float* pSamples, size_t nCount);
    /// The input ended: decides what is left and closes the character, word and line.
    void Finish();
    /// The oldest decided symbol not yet taken; false when none is waiting.
    bool TakeSymbol(CwSymbol& symbol);

    // What was found.
    bool HasPitch() const { return m_pConverter != nullptr; }
    /// The tone demodulated (Hz); 0 while none is known.
    double Pitch() const { return m_dPitch; }
    /// The latest speed estimate (words per minute); 0 before the first transmission.
    double Wpm() const;
    /// True while the tone is steady enough to be detected coherently.
    bool IsCoherent() const { return m_bCoherent; }
    /// Input samples consumed so far.
    std::int64_t SamplesProcessed() const { return m_nInput; }

private:
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
        Route(CwDemodulator* pOwner, bool bFromSegments)
            : m_pOwner(pOwner), m_bFromSegments(bFromSegments)
        {
        }
        void OnSymbol(int nCode, qint64 nPosition) override
        {
            m_pOwner->deliver(nCode, nPosition, m_bFromSegments);
        }

    private:
        CwDemodulator* m_pOwner;
        bool m_bFromSegments;
    };

    void deliver(int nCode, qint64 nPosition, bool bFromSegments);
    void drainSegments(bool bEnd = false);
    bool isLoneWeakDot(double dGapAfterUnits) const;
    void finishTransmission();
    void endSegments();
    void pushSegmenter();
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
    void filterHeld();
    double likeliestUnit(double dUnit, float fAmplitude);
    void track(std::complex<float> sample);

    Settings m_settings;
    double m_dPitch = 0.0;
    Phase m_phase = Phase::SearchingPitch;
    qint64 m_nInput = 0;
    double m_dBasebandRate = 0.0;
    int m_nDecimation = 1;
    double m_dMinUnit = 1.0;
    double m_dMaxUnit = 1.0;

    std::unique_ptr<PitchDetector> m_pPitchDetector;
    std::vector<float> m_pitchRing; ///< the latest audio while the pitch is searched
    size_t m_nPitchRingStart = 0;
    size_t m_nPitchRingSize = 0;
    qint64 m_nConverterOrigin = 0; ///< input sample the first converted sample was

    std::vector<float> m_clean; ///< input with non-finite samples replaced
    std::unique_ptr<BasebandConverter> m_pConverter;
    std::vector<std::complex<float>> m_baseband;
    qint64 m_nBaseband = 0; ///< baseband samples produced so far

    std::unique_ptr<CwSpeedEstimator> m_pEstimator;
    std::vector<std::complex<float>> m_acquisition; ///< baseband held back while learning
    std::vector<std::complex<float>> m_inPhase;     ///< its in-phase parts, once learned
    std::vector<std::complex<float>> m_filtered;    ///< it through the channel filter
    std::vector<std::complex<float>> m_derotated;   ///< that with the offset removed
    qint64 m_nAcquisitionStart = 0;                 ///< baseband index of m_acquisition[0]
    size_t m_nSinceAttempt = 0;

    std::unique_ptr<CarrierReference> m_pCarrier;
    std::unique_ptr<ChannelFilter> m_pChannel;
    bool m_bCoherent = false;  ///< the tone is steady: decide on its in-phase part
    float m_fCoherence = 1.0f; ///< mean cosine of the key-down phase error
    std::unique_ptr<LocalPhaseProjector> m_pLocalPhase;
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

    std::deque<CwSymbol> m_symbols;
    qint64 m_nLastSymbolPosition = 0;
};

} // namespace cw
