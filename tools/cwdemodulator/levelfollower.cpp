#include "tools/cwdemodulator/levelfollower.h"

#include "tools/cwdemodulator/cwsegmenter.h"
#include "tools/cwdemodulator/levelswingwatch.h"
#include "tools/cwdemodulator/leveltrend.h"
#include "tools/cwdemodulator/localmarklevel.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

/// The level around each sample is followed only where the marks stand this far (power over
/// an element) over the noise: nearer the noise floor, the strongest envelopes it is read
/// from are noise as often as marks, and the decided marks' level is the better guide
/// (tried 50 to 400; at 50 the noise floor at 40 WPM, -6 dB, doubles, at 200 the fading
/// at 15-25 WPM is a third worse).
constexpr float CLEAR_OVER_NOISE = 100.0f;
/// The same for marks weighed on their own phase, whose decided level the noise lifts
/// (ebook2cw at 30 WPM, -6 dB: 1.9 % at 100 against 0.5 % at 200, as without the level).
constexpr float OWN_PHASE_CLEAR_OVER_NOISE = 200.0f;
/// The level around a sample is followed only when it fell this far under the envelope
/// tracker's: a steady signal is weighed as it was before, which also keeps the segmenter's
/// search as narrow (a lower amplitude widens it).
constexpr float FADED_SHARE = 0.6f;
/// The level is followed around each sample only once the envelope tracker's mark level swung
/// by this factor within the last seconds, at a strength noise cannot explain: a steady
/// signal is weighed as it comes, without the wait the follower needs (the decisions that
/// teach the element length and levels would come that much later). The tracker learns only
/// from the marks it decided, so it sees a fade of 20 dB as a swing of a few: at 2.0 the
/// follower came too late for most fades, at 1.2 the noise floor of ebook2cw at -10 dB moved,
/// and at 1.3 the level noise of steady ebook2cw signals at 0 dB and 47-49 WPM set it off.
constexpr float SWING_FACTOR = 1.4f;
/// Once followed, a swing this large is a level that moves, as if the held seconds had shown
/// it: a slow fade (0.1 Hz, whose held seconds look steady) then sets the level at its bottom
/// however low the classifier's level fell, and weak marks there count (fading 20 dB at 0.1 Hz,
/// +6 dB, 15 / 25 / 35 WPM: 4.9 / 11.6 / 8.4 % before, 2.5 / 9.2 / 8.7 % at 1.7 to 2.5, 3.0 /
/// 9.2 / 9.0 at 3). Swings of the level at the noise floor stay under it: set at the swing
/// that starts the following, ebook2cw at -6 dB and 30 / 40 WPM lost 2 %.
constexpr float MOVING_SWING_FACTOR = 2.0f;
/// The level followed around a sample, the lower of the strongest envelopes on its two sides,
/// reads about a fifth under the marks' own over a slow fade (the lower side often holds only
/// a mark's edge); raised by this much where the fade is slow and its period beyond the fit's,
/// it comes near them. A fast fade needs the lower side as it is, to follow the level down
/// (fading 20 dB, +6 dB, 10 texts, `--seed 1 / 2 / 3`, 15 / 25 / 35 WPM summed: 0.05 and 0.1 Hz
/// 47 and 33 % at 1.15, 51 and 35 at 1.1, 46 and 37 at 1.25, 58 and 41 at 1; applied to faster
/// fades too, 2 Hz 77 -> 84 % at 1.15).
constexpr float SLOW_FADE_LIFT = 1.15f;
/// Over such a slow fade the level followed jumps from mark to mark by a fifth either way
/// (which mark the lower side holds), most near the bottom, where the marks stand nearest the
/// noise; it is smoothed over this time constant, with its trend carried ahead so that the
/// smoothing does not lag the fade (fading 20 dB, +6 dB, 10 texts, `--seed 1 / 2 / 3`,
/// 15 / 25 / 35 WPM summed, without the reach below: 0.05 Hz 46.9 -> 40.4 %, 0.1 Hz 33.4 ->
/// 32.9; 40.9 and 33.4 at 0.2 s, 39.9 and 32.7 at 0.35 s, 44.3 and 34.7 at 0.15 s; a plain
/// average of 0.1 s 41.3 and 35.5, lagging a fade of 0.1 Hz at 35 WPM).
constexpr double SLOW_FADE_SMOOTHING_SEC = 0.3;
/// The smoothed level stays within this factor of the level followed either way: where the
/// level steps rather than fades (a receiver's gain coming back after a crash), the trend
/// carried ahead overshoots the step (the AGC rows lost a character at 15 and 25 WPM
/// without it; fading 0.05 and 0.1 Hz summed as above 38.9 and 32.1 % at 1.25, 40.8 and 32.4
/// at 1.2, 39.9 and 32.4 at 1.35, 39.4 and 32.6 at 1.5).
constexpr float SMOOTHED_REACH = 1.25f;
/// Once the crash blanker left less than this share of the tone in a sample, a crash was
/// heard, and the level that moves is a receiver's gain cut and its recovery, whose steps
/// the smoothing would blur: the level followed is given as it is (at 0.1 the AGC row's
/// 30 WPM test text read two characters wrong; at 0.2 blanked samples at 0.05 Hz turned the
/// smoothing off there, 35 WPM `--seed 3` 7.7 -> 8.5 %).
constexpr float CRASH_TONE_SHARE = 0.15f;
/// The fit's amplitude overstates the tone's as the peaks it is fitted to do (the noise riding
/// on them, and at the bottoms only the peaks clear of the noise fitted); it is taken at this
/// share of it (fading 20 dB, +6 dB, 10 texts, `--seed 1 / 2 / 3`, 15 / 25 / 35 WPM summed,
/// 1 and 2 Hz: 29.0 and 27.9 % at 0.9, 32.9 and 27.7 at 1, 29.8 and 31.1 at 0.8).
constexpr float FITTED_SHARE = 0.9f;
/// The level followed is not believed under this share of the fit's level: near a fast fade's
/// tops it often reads a mark's edge (2 Hz: a quarter of the samples at under 0.35 of the tone's),
/// where the fit reads 0.9 to 0.95 of it (1 and 2 Hz summed as above: 28.2 and 25.8 % at 0.7,
/// 28.8 and 26.1 at 0.65, 28.0 and 26.3 at 0.75, 29.0 and 25.5 at 0.8).
constexpr float FOLLOWED_FLOOR_SHARE = 0.7f;
/// That floor holds only where the fit explains this share of its peaks' spread: a weaker fit
/// found over a slow fade lifted the level over it (0.1 Hz, 15 WPM, `--seed 2`: 5.42 -> 5.67 %
/// with the floor everywhere, 5.42 from 0.7 up).
constexpr float FLOOR_FIT_STRENGTH = 0.8f;
/// The level followed swings this far where the level moves: it reads the marks around each
/// sample, where the tracker learns only from the marks it decided, so that at a fade's bottom
/// it may see none and keep its level (a tone restarting at each element, its envelope a
/// magnitude, at 0.1 Hz: the tracker's level held at 0.12 while the marks fell to 0.03).
constexpr float FOLLOWED_SWING_FACTOR = 4.0f;
/// And only where its highest stands this far over the noise (power over an element): near the
/// noise floor the level followed swings that far by itself (ebook2cw at -6 dB, 40 WPM: 118).
constexpr float FOLLOWED_CLEAR_OVER_NOISE = 150.0f;
/// A mark the tracker took for silence tells a level that moves where its envelope stands
/// this far over the noise (power over an element).
constexpr float UNHEARD_CLEAR_OVER_NOISE = 100.0f;
constexpr double SWING_STEP_SEC = 0.05; ///< a swinging level is read this often
constexpr double SWING_SPAN_SEC = 2.0;  ///< over this span

/// A watch of a mark level's swing, read every SWING_STEP_SEC over SWING_SPAN_SEC.
std::unique_ptr<LevelSwingWatch> swingWatch(double dSampleRate)
{
    return std::make_unique<LevelSwingWatch>(int(std::lround(SWING_STEP_SEC * dSampleRate)),
                                             int(std::lround(SWING_SPAN_SEC / SWING_STEP_SEC)));
}

} // namespace

LevelFollower::LevelFollower(CwSegmenter& segmenter, double dSampleRate, int nEnvelopeLength)
    : m_segmenter(segmenter), m_dSampleRate(dSampleRate), m_pSwing(swingWatch(dSampleRate)),
      m_unheard(nEnvelopeLength), m_slowFadeLevel(SLOW_FADE_SMOOTHING_SEC * dSampleRate)
{
}

LevelFollower::~LevelFollower() = default;

int LevelFollower::Delay() const
{
    return m_pLevel ? m_pLevel->Delay() : 0;
}

void LevelFollower::Watch(const Moment& now)
{
    // The swing must start from marks well clear of the noise (near the noise floor the
    // tracker's level wanders by itself), and not come from a stronger neighbour's leakage.
    if (m_bKnownToMove)
        return;
    // Marks far over the noise that the tracker takes for silence fell under the threshold of
    // the level it learned: the level moves (a slow fade's first bottom, before the tracker's
    // level swung).
    m_unheard.Push(now.fEnvelope, now.bTrackerKeyDown,
                   std::sqrt(UNHEARD_CLEAR_OVER_NOISE * m_segmenter.NoiseVariance() /
                             float(now.nEnvelopeLength)));
    if (m_unheard.Heard() && clearToFollow(now.fTrackedLevel, now)) {
        if (!m_pLevel)
            startFollowing(now);
        knowToMove();
        return;
    }
    // Once followed, the level followed tells too; where the blanker cut into the samples, a
    // swing is as likely a receiver's gain, which the tracker's level is left to tell.
    if (m_pLevel && !m_bBlankerCut && m_pFollowedSwing->Push(m_pLevel->Level()) &&
        followedLevelSwung(now)) {
        knowToMove();
        return;
    }
    if (!m_pSwing->Push(now.fTrackedLevel))
        return;
    const float factor = m_pLevel ? MOVING_SWING_FACTOR : SWING_FACTOR;
    if (m_pSwing->Highest() < factor * m_pSwing->Lowest() ||
        !clearToFollow(m_pSwing->Highest(), now))
        return;
    if (!m_pLevel) {
        startFollowing(now);
        return;
    }
    knowToMove();
}

bool LevelFollower::followedLevelSwung(const Moment& now) const
{
    const float highest = m_pFollowedSwing->Highest();
    return highest >= FOLLOWED_SWING_FACTOR * m_pFollowedSwing->Lowest() &&
           highest * highest * float(now.nEnvelopeLength) >=
               FOLLOWED_CLEAR_OVER_NOISE * m_segmenter.NoiseVariance() &&
           !now.bNeighbourHeard;
}

void LevelFollower::knowToMove()
{
    m_bKnownToMove = true;
    m_bSlowFade = true;
    m_pLevel->SetKnownToMove();
}

void LevelFollower::FollowFromStart(const Moment& now,
                                    const std::vector<FadeFit::MarkPeak>& fittedFadePeaks,
                                    std::int64_t nPeakDelay)
{
    if (!m_pLevel && clearToFollow(now.fTrackedLevel, now)) {
        m_bKnownToMove = true;
        startFollowing(now);
        m_pLevel->StartFitFrom(fittedFadePeaks, nPeakDelay);
    }
}

bool LevelFollower::clearToFollow(float fLevel, const Moment& now) const
{
    return fLevel * fLevel * float(now.nEnvelopeLength) >=
               CLEAR_OVER_NOISE * m_segmenter.NoiseVariance() &&
           !now.bNeighbourHeard;
}

void LevelFollower::startFollowing(const Moment& now)
{
    // From here the samples wait while the level around them is judged.
    m_pLevel = std::make_unique<LocalMarkLevel>(
        LocalMarkLevel::Reaches::For(now.dUnit, m_dSampleRate), now.fTrackedLevel, m_bKnownToMove);
    m_delay.Reset(size_t(m_pLevel->Delay()) + 1);
    m_pFollowedSwing = swingWatch(m_dSampleRate);
}

void LevelFollower::Push(const Input& input, float fMagnitude, const Moment& now, bool bJudged)
{
    if (input.fToneShare < 1.0f)
        m_bBlankerCut = true;
    // Until the level swung, a steady level: the lower of the tracker's and the classifier's
    // mark levels (the classifier's is steadier but arrives late).
    if (!m_pLevel) {
        const float amplitude = std::min(input.fTrackedLevel, input.fClassifiedLevel);
        pushToSegmenter(input, amplitude);
        return;
    }
    if (!bJudged)
        m_pLevel->Push(fMagnitude);
    m_delay.Push(input);
    if (!m_delay.full())
        return; // the first samples wait for the level to be judged
    pushHeld(m_delay.Oldest(), now);
}

void LevelFollower::Finish(const Moment& now)
{
    if (!m_pLevel)
        return;
    // The oldest held sample, once the delay is full, was handed on already.
    const size_t pending = std::min(m_delay.size(), size_t(m_pLevel->Delay()));
    for (size_t i = 0; i < pending; ++i)
        pushHeld(m_delay.FromNewest(pending - 1 - i), now);
    m_delay.Clear();
}

void LevelFollower::pushHeld(const Input& judged, const Moment& now)
{
    // From a crash on, a level that moves is a receiver's gain rather than a fade.
    if (judged.fToneShare < CRASH_TONE_SHARE)
        m_bCrashHeard = true;
    // The segmenter weighs the sample against the level of the marks around it.
    pushToSegmenter(judged, amplitude(judged, now));
}

void LevelFollower::pushToSegmenter(const Input& input, float fAmplitude)
{
    if (input.bOwnPhase) {
        m_segmenter.PushOwnPhase(input.value, input.fQuadrature, fAmplitude, input.dUnit);
        return;
    }
    // Where a crash left a share s of the tone, a mark would bring s times its level: the
    // sample x is weighed against that as s x + a (1 - s^2) / 2 weighs against the level a.
    // A sample lost whole says nothing either way.
    float inPhase = input.value.real();
    const float share = input.fToneShare;
    if (share < 1.0f)
        inPhase = share * inPhase + 0.5f * fAmplitude * (1.0f - share * share);
    m_segmenter.Push(inPhase, input.value.imag(), fAmplitude, input.dUnit);
}

float LevelFollower::movingLevel()
{
    const float level = m_pLevel->Level();
    if (!m_bSlowFade)
        return weighedWithFit(level);
    if (m_pLevel->FadePeriodFound())
        return level;
    const float lifted = SLOW_FADE_LIFT * level;
    if (m_bCrashHeard)
        return lifted;
    return std::clamp(m_slowFadeLevel.Push(lifted), lifted / SMOOTHED_REACH,
                      lifted * SMOOTHED_REACH);
}

float LevelFollower::weighedWithFit(float fFollowed) const
{
    // The level followed reads the lower side's strongest envelope, near a fast fade's tops
    // often only a mark's edge (at 15 WPM half the tone's at the median), and the fit is a
    // coarse shape between its peaks: each errs its own way, and their geometric mean is
    // nearer the tone than either. The level followed errs low far more than high, so it is
    // held up to a floor under the fit's.
    const float fitted = FITTED_SHARE * m_pLevel->FittedAmplitude();
    if (fitted <= 0.0f)
        return fFollowed;
    const bool fitHolds = m_pLevel->FitStrength() >= FLOOR_FIT_STRENGTH;
    const float followed =
        fitHolds ? std::max(fFollowed, FOLLOWED_FLOOR_SHARE * fitted) : fFollowed;
    return std::sqrt(fitted * followed);
}

float LevelFollower::amplitude(const Input& judged, const Moment& now)
{
    // A level known to move is the one followed around the sample, as it is: the classifier's
    // level lags a fade by seconds (on the way up half the tone's level, so that noise reads
    // as marks) and the tracker's stays over the bottoms (1.2 to 1.5 times the tone's at a
    // slow fade), and taking either there lost most of what a fade of 0.1 Hz cost.
    if ((m_bKnownToMove || m_pLevel->KnownToMove()) && !now.bNeighbourHeard)
        return movingLevel();
    // Otherwise the classifier's level is steadier but arrives late: the lower of it and the
    // level followed around the sample is taken, since an amplitude too high makes marks look
    // like gaps, while one a little low costs little. The level around the sample is followed
    // where it fell well under the envelope tracker's, which only learns from the marks it
    // decided; not near the noise floor, nor near a stronger neighbour (whose leakage is no
    // fade of ours): there the tracker's is.
    const float classified = judged.fClassifiedLevel;
    const bool clear = classified * classified * float(now.nEnvelopeLength) >=
                       (judged.bOwnPhase ? OWN_PHASE_CLEAR_OVER_NOISE : CLEAR_OVER_NOISE) *
                           m_segmenter.NoiseVariance();
    const float local = m_pLevel->Level();
    const bool fading = local < FADED_SHARE * judged.fTrackedLevel;
    const float followed = now.bNeighbourHeard || !clear || !fading ? judged.fTrackedLevel : local;
    return std::min(followed, classified);
}

} // namespace cw
