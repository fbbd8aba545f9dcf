#pragma once

#include "tools/cwdemodulator/fadefit.h"
#include "tools/cwdemodulator/leveltrend.h"
#include "tools/cwdemodulator/unheardmarkwatch.h"
#include "tools/morsedsp/ringbuffer.h"

#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

namespace cw {

class CwSegmenter;
class LevelSwingWatch;
class LocalMarkLevel;

/// Feeds the segmenter while a transmission is tracked, following a level that moves (a fade,
/// a receiver's AGC pumping after a crash). A steady signal goes to the segmenter as it comes;
/// once the envelope tracker's mark level swung, each sample waits while the level around it
/// is judged, and goes on weighed against that level. The demodulator drives it.
///
/// Life: create per transmission, Watch() and Push() per sample, Finish() at its end.
class LevelFollower
{
public:
    /// A sample on its way to the segmenter, with what the decided marks said when it came.
    struct Input
    {
        std::complex<float> value;     ///< in phase and quadrature, or the mark's own sample
        float fQuadrature = 0.0f;      ///< against the phase around it: noise alone
        bool bOwnPhase = false;        ///< weighed on its own phase (the tone's phase moves)
        float fTrackedLevel = 0.0f;    ///< the envelope tracker's mark level
        float fClassifiedLevel = 0.0f; ///< the classifier's mark level
        double dUnit = 0.0;            ///< the element length, in samples
        float fToneShare = 1.0f;       ///< of the tone the crash blanker left in the sample
    };

    /// What the demodulator knows of the moment a sample is watched or pushed.
    struct Moment
    {
        float fTrackedLevel = 0.0f;   ///< the envelope tracker's mark level
        double dUnit = 0.0;           ///< the element length, in samples
        int nEnvelopeLength = 1;      ///< samples the matched filter averages
        bool bNeighbourHeard = false; ///< a stronger neighbour keyed outside the channel of late
        float fEnvelope = 0.0f;       ///< the matched filter's magnitude
        bool bTrackerKeyDown = false; ///< the tracker's key is down, or an edge is pending
    };

    /// @p segmenter receives the samples; @p dSampleRate is the baseband rate, and the matched
    /// filter averages @p nEnvelopeLength samples.
    LevelFollower(CwSegmenter& segmenter, double dSampleRate, int nEnvelopeLength);
    ~LevelFollower();

    // Reception
    /// Watches the tracker's level, and starts following once it swung; a larger swing, or a
    /// mark clear of the noise that the tracker took for silence, shows a level that moves,
    /// followed then as from the start.
    void Watch(const Moment& now);
    /// Starts following at once: the acquisition saw the level move in the seconds it held.
    /// @p fittedFadePeaks: the held marks' peaks a fade was fitted to, at held sample
    /// positions that come @p nPeakDelay samples later here (the channel filter's delay).
    void FollowFromStart(const Moment& now,
                         const std::vector<FadeFit::MarkPeak>& fittedFadePeaks = {},
                         std::int64_t nPeakDelay = 0);
    /// Hands @p input on, or holds it while the level around it is judged from @p fMagnitude
    /// (the matched filter's). @p bJudged: the level has seen the last sample, and keeps its
    /// judgement from there.
    void Push(const Input& input, float fMagnitude, const Moment& now, bool bJudged = false);
    /// Hands the samples still held on, weighed with the last judgement.
    void Finish(const Moment& now);

    bool IsFollowing() const { return m_pLevel != nullptr; }
    /// Samples held while following; 0 before.
    int Delay() const;

private:
    /// Whether marks of @p fLevel stand clear enough of the noise, and of a neighbour's
    /// leakage, for their level to be followed.
    bool clearToFollow(float fLevel, const Moment& now) const;
    void startFollowing(const Moment& now);
    /// Whether the level followed swung far enough, its marks clear of the noise, to be a
    /// level that moves.
    bool followedLevelSwung(const Moment& now) const;
    /// From here the level is known to move, as if the held seconds had shown it.
    void knowToMove();
    void pushHeld(const Input& judged, const Moment& now);
    /// The level the segmenter weighs @p judged against; one call per judged sample.
    float amplitude(const Input& judged, const Moment& now);
    /// The level followed around the judged sample, for a level known to move; over a slow
    /// fade lifted and smoothed, one call per judged sample.
    float movingLevel();
    /// @p fFollowed weighed with the level a fast fade's fit gives, where the fit gives one.
    float weighedWithFit(float fFollowed) const;
    /// Hands @p input to the segmenter, weighed at @p fAmplitude, as far as the crash blanker
    /// left the tone in it.
    void pushToSegmenter(const Input& input, float fAmplitude);

    CwSegmenter& m_segmenter;
    double m_dSampleRate;
    std::unique_ptr<LevelSwingWatch> m_pSwing;
    UnheardMarkWatch m_unheard; ///< marks clear of the noise under the tracker's threshold
    /// The level followed, watched the same way once it is followed.
    std::unique_ptr<LevelSwingWatch> m_pFollowedSwing;
    /// Made once the level swung; until then the samples go to the segmenter as they come.
    std::unique_ptr<LocalMarkLevel> m_pLevel;
    /// The samples held while the level around them is judged: the level's delay + 1.
    dsp::RingBuffer<Input> m_delay;
    bool m_bKnownToMove = false; ///< the held seconds or a large swing showed the level moving
    /// The large swing showed it, not the held seconds: the fade is slower than they last.
    bool m_bSlowFade = false;
    bool m_bCrashHeard = false; ///< the crash blanker took most of the tone out of a sample
    bool m_bBlankerCut = false; ///< the crash blanker took part of a sample, held or not
    LevelTrend m_slowFadeLevel; ///< smooths the level followed over a slow fade
};

} // namespace cw
