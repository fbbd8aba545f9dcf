#include "tools/cwdemodulator/carrierreference.h"

#include "tools/cwdemodulator/envelopedetector.h"

#include "tools/morsedsp/designcache.h"
#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/fouriertransform.h"
#include "tools/morsedsp/kaiserlowpass.h"
#include "tools/morsedsp/peakinterpolation.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace cw {

namespace {

constexpr double MAX_OFFSET_HZ = 12.0;    ///< the pitch search is closer than this
constexpr double RESOLUTION_HZ = 0.02;    ///< spectrum grid the offset is read from
constexpr double PHASE_MEMORY_SEC = 0.4;  ///< key-down time the phase is averaged over
constexpr double STEADY_COHERENCE = 0.45; ///< |sum| over sum of magnitudes for a steady tone
/// A steady tone's marks disagree in phase by no more than noise explains: the loss of
/// coherence across marks is at most this many times the loss between averages half an
/// element apart inside a mark, plus the margin below. Steady tones near the noise floor lose
/// up to 0.04, which the ratio covers. A generator that starts every element at phase zero
/// keeps its marks' starts in step with a spectral line beside its pitch, and each mark turns
/// against that line: at 9 WPM and 10 dB such a tone lost 0.045 across marks against 0.0004
/// nearby, and a margin of 0.05 took it for steady (its phase then walked off over a word gap,
/// and the E after it was read as silence).
constexpr double ACROSS_OVER_NEARBY_LOSS = 4.0;
constexpr double ACROSS_LOSS_MARGIN = 0.02;
constexpr size_t NOISE_WINDOW = 8; ///< samples summed to measure the noise
/// A steady tone's key-down phase turns by less than this (Hz) once its spectral line is
/// removed; more means the line was not the tone's (phase restarts, drift).
constexpr double STEADY_RESIDUAL_HZ = 3.0;
constexpr int FREQUENCY_BLOCK = 32;     ///< key-down samples per frequency correction
constexpr double FREQUENCY_GAIN = 0.25; ///< share of the measured error corrected at once
constexpr double MAX_TRACKED_HZ = 200.0;
/// Frequency correction (Hz) per key-down sample and radian of phase error: with the phase
/// average, a second-order loop that follows slow drift of a steady tone.
constexpr double PHASE_TO_FREQUENCY = 0.001;
/// A generator that starts every element at one phase on a fixed grid: the phases of at
/// least this many marks, each turned back by its start, agree so well (the squared mean
/// cosine times the marks) that the best of all the turns tried would rarely do so by
/// chance. By chance the best turn reaches about 6 (tones that drift, 15 WPM, 10 marks: up
/// to 6.4); ebook2cw's tones at −10 dB reach 13 to 15.
constexpr size_t GRID_MARKS_NEEDED = 10;
constexpr double GRID_AGREEMENT = 10.0;
constexpr double GRID_STEPS_PER_LINE = 4.0; ///< turns tried per resolvable spacing
/// A steady tone whose marks, each summed on its own phase, add up better turned at some
/// frequency than at none, by this much log likelihood and by this many hertz, is no steady
/// tone but one that restarts its phase on a grid near its line. Over the held seconds
/// ebook2cw's tones at −10 dB and 20 WPM gain 4 to 30 (0.5 to 1.7 Hz), steady tones at
/// most 3.2 (0.4 Hz). Marks told by no more averages than the shortest run are left out.
/// Measured per mark, the turn of the key-down averages fell to a quarter of the true one at
/// −10 dB: stretches of noise over the threshold, which barely turn, weighed as much.
constexpr double SIGNIFICANT_TURN_GAIN = 4.0;
constexpr double SIGNIFICANT_TURN_HZ = 0.5;
constexpr int SHORTEST_RUN = 4;
/// The turns tried inside the marks (Hz), and their spacing: marks one to three elements
/// long tell turns apart a few hertz apart, the spacing is refined between steps.
constexpr double MAX_MARK_TURN_HZ = 6.0;
constexpr double MARK_TURN_STEP_HZ = 0.1;
constexpr int COARSE_TURN_STEPS = 5; ///< steps between the turns tried first
/// Readings of an unsteady tone's offset after the first: see Learn().
constexpr int OFFSET_REFINEMENTS = 2;

/// The step k in [-nSteps, nSteps] where @p score is highest (the first such), and the score.
template <typename Score> std::pair<int, double> highestStep(int nSteps, Score score)
{
    int best = 0;
    double bestScore = -1.0;
    for (int k = -nSteps; k <= nSteps; ++k) {
        const double value = score(k);
        if (value > bestScore) {
            bestScore = value;
            best = k;
        }
    }
    return {best, bestScore};
}

/// @p a times @p b, written out: std::complex's check for infinities costs more than the
/// product, whose arithmetic (and so every bit) is the same.
inline std::complex<double> times(std::complex<double> a, std::complex<double> b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

/// The sum of @p nCount samples, each turned by @p step more than the one before (the first
/// not at all), its products written out as times() writes them.
std::complex<double> turnedSum(const std::complex<float>* pSamples, size_t nCount,
                               std::complex<double> step)
{
    const double cr = step.real();
    const double ci = step.imag();
    double rr = 1.0;
    double ri = 0.0;
    double sr = 0.0;
    double si = 0.0;
    for (size_t i = 0; i < nCount; ++i) {
        const double xr = pSamples[i].real();
        const double xi = pSamples[i].imag();
        sr += xr * rr - xi * ri;
        si += xr * ri + xi * rr;
        const double turned = rr * cr - ri * ci;
        ri = rr * ci + ri * cr;
        rr = turned;
    }
    return {sr, si};
}

/// The coarse transform's bins within MAX_OFFSET_HZ are taken at a rate this many times
/// lower (a power of 2), that still spans COARSE_RATE_OVER_REACH times the reach: the bins
/// beyond the reach are never read.
constexpr double COARSE_RATE_OVER_REACH = 5.0;
constexpr size_t MIN_COARSE_SIZE = 256; ///< points of the shortened coarse transform, at least

size_t coarseDecimation(double dSampleRate, size_t nCoarse)
{
    size_t decimation = 1;
    while (dSampleRate / double(2 * decimation) >= COARSE_RATE_OVER_REACH * MAX_OFFSET_HZ &&
           nCoarse / (2 * decimation) >= MIN_COARSE_SIZE)
        decimation *= 2;
    return decimation;
}

/// The low-pass ahead of keeping one sample in @p nDecimation: flat over the reach, 60 dB
/// down from where the lower rate folds back onto it.
std::shared_ptr<const std::vector<float>> coarseTaps(double dSampleRate, size_t nDecimation)
{
    static dsp::DesignCache<std::pair<double, size_t>> designs;
    return designs.Get({dSampleRate, nDecimation}, [dSampleRate, nDecimation] {
        const double rate = dSampleRate / double(nDecimation);
        const size_t length = dsp::kaiserLength((rate - 2.0 * MAX_OFFSET_HZ) / dSampleRate);
        const float cutoff = float(0.5 * rate / dSampleRate);
        return dsp::kaiserLowPass(length, cutoff);
    });
}

} // namespace

CarrierReference::CarrierReference(double dSampleRate) : m_dSampleRate(dSampleRate)
{
    m_fWeight = float(1.0 / (PHASE_MEMORY_SEC * dSampleRate));
}

CarrierReference::~CarrierReference() = default;

void CarrierReference::setOffset(double dOffsetHz)
{
    setFrequency(dOffsetHz);
    m_rotator = 1.0;
    m_nSinceNormalise = 0;
    m_previous = 0.0f;
    m_turn = 0.0;
    m_nTurnSamples = 0;
}

void CarrierReference::setFrequency(double dOffsetHz)
{
    m_dOffsetHz = std::clamp(dOffsetHz, -MAX_TRACKED_HZ, MAX_TRACKED_HZ);
    const double omega = -dsp::TWO_PI * m_dOffsetHz / m_dSampleRate;
    m_step = std::complex<double>(std::cos(omega), std::sin(omega));
}

const std::complex<float>* CarrierReference::coarseSpectrum(const std::complex<float>* pSamples,
                                                            size_t nCount, size_t& nCoarse) const
{
    // Only the bins within MAX_OFFSET_HZ are read. Where the rate is many times that reach,
    // the samples are low-passed and kept one in every few first: the transform on that
    // grid, as many times shorter, has the same bins there (up to the filter's ripple of a
    // thousandth, and its stop band 60 dB down for what folds onto them).
    const size_t decimation = coarseDecimation(m_dSampleRate, nCoarse);
    const size_t size = nCoarse / decimation;
    nCoarse = size;
    dsp::FourierTransform& transform = dsp::FourierTransform::Shared(size);
    std::complex<float>* input = transform.Input();
    std::fill(input, input + size, std::complex<float>());
    if (decimation == 1) {
        std::copy(pSamples, pSamples + std::min(nCount, size), input);
    } else {
        // Every output of the whole convolution, the samples taken as 0 outside: its
        // spectrum is the samples' own times the filter's, with no edge cut off.
        const std::vector<float>& taps = *coarseTaps(m_dSampleRate, decimation);
        const size_t length = taps.size();
        const size_t outputs = std::min(size, (nCount + length - 1 + decimation - 1) / decimation);
        for (size_t m = 0; m < outputs; ++m) {
            const size_t last = m * decimation; // the newest sample the output sums
            const size_t from = last + 1 > length ? last + 1 - length : 0;
            const size_t to = std::min(last + 1, nCount);
            float re = 0.0f;
            float im = 0.0f;
            for (size_t n = from; n < to; ++n) {
                const float tap = taps[last - n];
                re += tap * pSamples[n].real();
                im += tap * pSamples[n].imag();
            }
            input[m] = {re, im};
        }
    }
    transform.Execute();
    return transform.Output();
}

double CarrierReference::lineOffset(const std::complex<float>* pSamples, size_t nCount) const
{
    // The keyed tone's spectral line sits at its offset. A transform four times the samples
    // long finds the line; the fine grid (zero padding to the resolution) is then computed
    // only within a coarse bin of it, instead of transforming the whole fine grid.
    size_t coarse = 1024;
    while (coarse < 4 * nCount)
        coarse *= 2;
    size_t fine = coarse;
    while (double(fine) < m_dSampleRate / RESOLUTION_HZ)
        fine *= 2;
    size_t size = coarse;
    const std::complex<float>* spectrum = coarseSpectrum(pSamples, nCount, size);
    const int coarseReach = int(MAX_OFFSET_HZ / m_dSampleRate * double(coarse));
    int coarseBest = 0;
    float coarsePower = -1.0f;
    for (int k = -coarseReach; k <= coarseReach; ++k) {
        const float power = std::norm(spectrum[size_t(k) & (size - 1)]);
        if (power > coarsePower) {
            coarsePower = power;
            coarseBest = k;
        }
    }

    // The fine bins within a coarse bin of the line, and one more each side to interpolate.
    const int ratio = int(fine / coarse);
    const int reach = int(MAX_OFFSET_HZ / m_dSampleRate * double(fine));
    const int first = std::max(-reach, (coarseBest - 1) * ratio);
    const int last = std::min(reach, (coarseBest + 1) * ratio);
    auto power = [&](int k) {
        const double omega = -dsp::TWO_PI * double(k) / double(fine);
        return std::norm(
            turnedSum(pSamples, nCount, std::complex<double>(std::cos(omega), std::sin(omega))));
    };
    // Each bin's power is kept: the neighbours of the highest are mostly among them.
    std::vector<double> powers;
    powers.reserve(size_t(std::max(0, last - first + 1)));
    int best = first;
    double bestPower = -1.0;
    for (int k = first; k <= last; ++k) {
        powers.push_back(power(k));
        if (powers.back() > bestPower) {
            bestPower = powers.back();
            best = k;
        }
    }
    auto keptPower = [&](int k) {
        return k >= first && k <= last ? powers[size_t(k - first)] : power(k);
    };
    const double left = keptPower(best - 1);
    const double right = keptPower(best + 1);
    const double shift = dsp::parabolicPeakOffset(left, bestPower, right);
    return (double(best) + shift) * m_dSampleRate / double(fine);
}

CarrierReference::Tone CarrierReference::Learn(const std::complex<float>* pSamples, size_t nCount,
                                               int nLength, float fThreshold)
{
    setOffset(0.0);
    if (nCount < 16)
        return Tone::None;

    setOffset(lineOffset(pSamples, nCount));
    m_bRestartGrid = false;
    m_dTurnAgainstGridHz = 0.0;

    // Phase and steadiness from the key-down averages of the corrected samples.
    std::vector<std::complex<float>> averages;
    correctedAverages(pSamples, nCount, nLength, averages);
    std::complex<double> sum = 0.0;
    double magnitudes = 0.0;
    std::complex<double> turn = 0.0; ///< phase turn from one key-down average to the next
    std::complex<float> previous;
    // Half an element apart inside a mark, two averages agree in phase as well as noise lets
    // them; across marks only a steady tone's do.
    const size_t lag = size_t(std::max(1, nLength / 2));
    std::vector<std::complex<float>> recent(lag);
    std::complex<double> nearby = 0.0;
    double nearbyMagnitudes = 0.0;
    for (size_t i = 0; i < nCount; ++i) {
        const std::complex<float> average = averages[i];
        const float magnitude = std::abs(average);
        if (i >= size_t(nLength) && magnitude > fThreshold) {
            sum += std::complex<double>(average.real(), average.imag());
            magnitudes += magnitude;
            const std::complex<float> step = average * std::conj(previous);
            turn += std::complex<double>(step.real(), step.imag());
            previous = average;
            const std::complex<float> apart = average * std::conj(recent[i % lag]);
            nearby += std::complex<double>(apart.real(), apart.imag());
            nearbyMagnitudes += std::sqrt(std::norm(apart));
            recent[i % lag] = average;
        } else {
            previous = 0.0f;
            recent[i % lag] = 0.0f;
        }
    }
    if (magnitudes <= 0.0)
        return Tone::None;
    // Inside the marks, the phase must stand still once the offset is removed. A tone that
    // restarts its phase at each element, or drifts, has a spectral line elsewhere: take the
    // frequency the marks show and call the tone unsteady.
    // Marks whose frequency lies outside the search are no tone of ours: the key clicks or
    // leakage of a neighbour after the wanted signal ended.
    const double residual = std::arg(turn) * m_dSampleRate / dsp::TWO_PI;
    if (std::abs(m_dOffsetHz + residual) > MAX_OFFSET_HZ)
        return Tone::None;
    if (std::abs(residual) > STEADY_RESIDUAL_HZ)
        return learnUnsteady(pSamples, nCount, nLength, fThreshold, residual);
    const std::complex<double> phase = sum / std::abs(sum);
    m_fNoiseVariance = measureNoise(pSamples, nCount, phase);
    m_average = std::complex<float>(float(sum.real() / magnitudes), float(sum.imag() / magnitudes));
    m_phase = m_average / std::max(1e-20f, std::abs(m_average));
    const double coherence = std::abs(sum) / magnitudes;
    const double nearbyLoss = 1.0 - std::abs(nearby) / std::max(1e-30, nearbyMagnitudes);
    const bool steady =
        coherence >= STEADY_COHERENCE &&
        1.0 - coherence <= ACROSS_OVER_NEARBY_LOSS * nearbyLoss + ACROSS_LOSS_MARGIN;
    if (!steady)
        return learnUnsteady(pSamples, nCount, nLength, fThreshold, residual);
    // Marks that turn inside against a line that holds across them: a tone restarting its
    // phase on a grid whose line lies near its pitch. Read on its grid, in the frame of the
    // marks' own frequency, its marks are weighed on the phase each start predicts; a steady
    // reference would chase their turns, and lose a dash's ends to them.
    const MarkTurn marks =
        turnOfMarks(pSamples, nCount, keyDownRuns(pSamples, nCount, nLength, fThreshold), nLength);
    if (!(marks.dGain > SIGNIFICANT_TURN_GAIN && std::abs(marks.dHz) > SIGNIFICANT_TURN_HZ))
        return Tone::Steady;
    const double line = m_dOffsetHz;
    const std::complex<float> average = m_average;
    const float noise = m_fNoiseVariance;
    setOffset(line + marks.dHz);
    findRestartGrid(keyDownRuns(pSamples, nCount, nLength, fThreshold));
    if (m_bRestartGrid) {
        m_fNoiseVariance = measureNoise(pSamples, nCount, 1.0);
        return Tone::Unsteady;
    }
    setOffset(line);
    m_average = average;
    m_phase = m_average / std::max(1e-20f, std::abs(m_average));
    m_fNoiseVariance = noise;
    return Tone::Steady;
}

CarrierReference::Tone CarrierReference::learnUnsteady(const std::complex<float>* pSamples,
                                                       size_t nCount, int nLength, float fThreshold,
                                                       double dResidualHz)
{
    // The frequency is the one inside the marks. Averages that lie partly over a mark turn
    // slower than the tone, so each reading falls short of the offset left (by a quarter at
    // 16 WPM); a few more readings close in on it. A mark of an unsteady tone is weighed on
    // its own phase, which a remaining offset turns: an error of 1.3 Hz split the first
    // dashes of a clean signal.
    setOffset(m_dOffsetHz + dResidualHz);
    for (int i = 0; i < OFFSET_REFINEMENTS; ++i)
        setOffset(m_dOffsetHz + keyDownTurnHz(pSamples, nCount, nLength, fThreshold));
    findRestartGrid(keyDownRuns(pSamples, nCount, nLength, fThreshold));
    m_fNoiseVariance = measureNoise(pSamples, nCount, 1.0);
    return Tone::Unsteady;
}

std::vector<CarrierReference::KeyDownRun>
CarrierReference::keyDownRuns(const std::complex<float>* pSamples, size_t nCount, int nLength,
                              float fThreshold) const
{
    std::vector<std::complex<float>> averages;
    correctedAverages(pSamples, nCount, nLength, averages);
    std::vector<KeyDownRun> runs;
    bool down = false;
    for (size_t i = size_t(nLength); i < nCount; ++i) {
        const std::complex<float> average = averages[i];
        if (std::abs(average) <= fThreshold) {
            down = false;
            continue;
        }
        const std::complex<double> value(average.real(), average.imag());
        if (!down) {
            runs.push_back({value, 0.0, double(i) / m_dSampleRate, 1, i});
            down = true;
            continue;
        }
        const std::complex<float> step = average * std::conj(averages[i - 1]);
        runs.back().sum += value;
        runs.back().turn += std::complex<double>(step.real(), step.imag());
        ++runs.back().nLength;
        runs.back().nLast = i;
    }
    return runs;
}

CarrierReference::MarkTurn CarrierReference::turnOfMarks(const std::complex<float>* pSamples,
                                                         size_t nCount,
                                                         const std::vector<KeyDownRun>& runs,
                                                         int nLength) const
{
    // A run of key-down averages over nLength samples stands about half their length after
    // the samples of its mark.
    struct Mark
    {
        size_t nFirst;
        size_t nCount;
    };
    std::vector<Mark> marks;
    const size_t lag = size_t(nLength / 2);
    for (const KeyDownRun& run : runs) {
        if (run.nLength <= SHORTEST_RUN || run.nLast + 1 < lag + size_t(run.nLength))
            continue;
        const size_t first = run.nLast + 1 - lag - size_t(run.nLength);
        marks.push_back({first, std::min(size_t(run.nLength), nCount - first)});
    }
    if (marks.size() < 3 || m_fNoiseVariance <= 0.0f)
        return {};
    std::vector<std::complex<float>> derotated;
    DerotateLearned(pSamples, nCount, derotated);
    // Summed on its own phase, a mark has the power of its samples' sum; noise adds the same
    // at every turn tried, a mark that turns inside loses it at every turn but its own.
    auto power = [&](double dHz) {
        const double omega = -dsp::TWO_PI * dHz / m_dSampleRate;
        const std::complex<double> step(std::cos(omega), std::sin(omega));
        double total = 0.0;
        for (const Mark& mark : marks)
            total += std::norm(turnedSum(derotated.data() + mark.nFirst, mark.nCount, step)) /
                     double(mark.nCount);
        return total;
    };
    // Each step's power is kept: the highest one's neighbours and no turn are among them.
    // The marks are a few elements long, and their summed power changes over hertz, not
    // tenths: every COARSE_TURN_STEPS th step is tried first, then the steps around the
    // highest of those.
    const int steps = int(MAX_MARK_TURN_HZ / MARK_TURN_STEP_HZ);
    std::vector<double> powers(size_t(2 * steps + 1), -1.0);
    auto keptPower = [&](int k) {
        if (std::abs(k) > steps)
            return power(k * MARK_TURN_STEP_HZ);
        double& kept = powers[size_t(k + steps)];
        if (kept < 0.0)
            kept = power(k * MARK_TURN_STEP_HZ);
        return kept;
    };
    const int coarseSteps = steps / COARSE_TURN_STEPS;
    const int coarseBest = COARSE_TURN_STEPS * highestStep(coarseSteps, [&](int k) {
                                                   return keptPower(k * COARSE_TURN_STEPS);
                                               }).first;
    const int from = std::max(-steps, coarseBest - COARSE_TURN_STEPS + 1);
    const int to = std::min(steps, coarseBest + COARSE_TURN_STEPS - 1);
    int best = from;
    double bestPower = -1.0;
    for (int k = from; k <= to; ++k) {
        if (keptPower(k) > bestPower) {
            bestPower = keptPower(k);
            best = k;
        }
    }
    const double left = keptPower(best - 1);
    const double right = keptPower(best + 1);
    const double shift = dsp::parabolicPeakOffset(left, bestPower, right);
    // The noise variance is per part (in phase, quadrature): the power of a sum of complex
    // noise is twice it per sample, and the log likelihood gains the power over that.
    const double gain = (bestPower - keptPower(0)) / (2.0 * double(m_fNoiseVariance));
    return {(best + shift) * MARK_TURN_STEP_HZ, gain};
}

void CarrierReference::findRestartGrid(const std::vector<KeyDownRun>& runs)
{
    // Each mark's phase and start come from its run of key-down averages, whose start lags
    // the mark's by about the same for every mark: that moves every phase alike.
    m_bRestartGrid = false;
    m_dTurnAgainstGridHz = 0.0;
    if (runs.size() < GRID_MARKS_NEEDED)
        return;
    // The turn under which the marks' phases, each turned back by its start, agree best.
    const double first = runs.front().dStartSec;
    const double span = std::max(1e-3, runs.back().dStartSec - first);
    const double step = 1.0 / (GRID_STEPS_PER_LINE * span);
    const int steps = int(MAX_OFFSET_HZ / step);
    double magnitudes = 0.0;
    for (const KeyDownRun& run : runs)
        magnitudes += std::abs(run.sum);
    auto agreement = [&](double dTurnHz) {
        std::complex<double> total = 0.0;
        for (const KeyDownRun& run : runs)
            total += run.sum * std::polar(1.0, dsp::TWO_PI * dTurnHz * (run.dStartSec - first));
        return std::abs(total) / magnitudes;
    };
    const auto [best, bestAgreement] =
        highestStep(steps, [&](int k) { return agreement(k * step); });
    if (bestAgreement * bestAgreement * double(runs.size()) < GRID_AGREEMENT)
        return;
    const double left = agreement((best - 1) * step);
    const double right = agreement((best + 1) * step);
    const double shift = dsp::parabolicPeakOffset(left, bestAgreement, right);
    m_bRestartGrid = true;
    m_dTurnAgainstGridHz = (best + shift) * step;
}

double CarrierReference::keyDownTurnHz(const std::complex<float>* pSamples, size_t nCount,
                                       int nLength, float fThreshold) const
{
    std::vector<std::complex<float>> averages;
    correctedAverages(pSamples, nCount, nLength, averages);
    std::complex<double> turn = 0.0;
    std::complex<float> previous;
    for (size_t i = 0; i < nCount; ++i) {
        const std::complex<float> average = averages[i];
        if (i >= size_t(nLength) && std::abs(average) > fThreshold) {
            const std::complex<float> step = average * std::conj(previous);
            turn += std::complex<double>(step.real(), step.imag());
            previous = average;
        } else {
            previous = 0.0f;
        }
    }
    return std::arg(turn) * m_dSampleRate / dsp::TWO_PI;
}

void CarrierReference::correctedAverages(const std::complex<float>* pSamples, size_t nCount,
                                         int nLength, std::vector<std::complex<float>>& out) const
{
    // The matched filter's averages over nLength samples, the offset removed.
    DerotateLearned(pSamples, nCount, out);
    EnvelopeDetector detector(nLength);
    detector.SetLength(nLength);
    for (std::complex<float>& sample : out)
        sample = detector.PushAverage(sample);
}

float CarrierReference::measureNoise(const std::complex<float>* pSamples, size_t nCount,
                                     std::complex<double> phase) const
{
    // The noise variance as sums over a few samples see it: the baseband noise is not white
    // out to the band edges, and decisions sum samples.
    std::complex<double> rotator = 1.0;
    double quadrature = 0.0;
    double window = 0.0;
    size_t windows = 0;
    for (size_t i = 0; i < nCount; ++i) {
        const std::complex<double> corrected =
            times(std::complex<double>(pSamples[i].real(), pSamples[i].imag()), rotator);
        rotator = times(rotator, m_step);
        window += corrected.imag() * phase.real() - corrected.real() * phase.imag();
        if ((i + 1) % NOISE_WINDOW == 0) {
            quadrature += window * window / double(NOISE_WINDOW);
            window = 0.0;
            ++windows;
        }
    }
    return float(quadrature / double(std::max<size_t>(1, windows)));
}

void CarrierReference::ProjectLearned(const std::complex<float>* pSamples, size_t nCount,
                                      std::vector<std::complex<float>>& out) const
{
    DerotateLearned(pSamples, nCount, out);
    for (std::complex<float>& sample : out)
        sample = std::complex<float>(Project(sample), 0.0f);
}

void CarrierReference::DerotateLearned(const std::complex<float>* pSamples, size_t nCount,
                                       std::vector<std::complex<float>>& out) const
{
    out.resize(nCount);
    std::complex<double> rotator = m_rotator;
    for (size_t i = 0; i < nCount; ++i) {
        const std::complex<double> corrected =
            times(std::complex<double>(pSamples[i].real(), pSamples[i].imag()), rotator);
        rotator = times(rotator, m_step);
        out[i] = std::complex<float>(float(corrected.real()), float(corrected.imag()));
    }
}

void CarrierReference::Update(std::complex<float> average)
{
    const float magnitude = std::sqrt(std::norm(average));
    if (magnitude <= 0.0f)
        return;
    const std::complex<float> error = average * std::conj(m_phase);
    setFrequency(m_dOffsetHz + PHASE_TO_FREQUENCY * double(std::arg(error)));
    m_average += m_fWeight * (average / magnitude - m_average);
    const float length = std::sqrt(std::norm(m_average));
    if (length > 0.0f)
        m_phase = m_average / length;
}

void CarrierReference::FollowFrequency(std::complex<float> average)
{
    // A frequency-locked loop on the key-down averages: their phase turns by the remaining
    // offset from one sample to the next, whatever the tone's phase did between marks.
    const std::complex<float> step = average * std::conj(m_previous);
    m_previous = average;
    m_turn += std::complex<double>(step.real(), step.imag());
    if (++m_nTurnSamples < FREQUENCY_BLOCK)
        return;
    const double error = std::arg(m_turn) * m_dSampleRate / dsp::TWO_PI;
    setFrequency(m_dOffsetHz + FREQUENCY_GAIN * error);
    m_turn = 0.0;
    m_nTurnSamples = 0;
}

void CarrierReference::KeyUp()
{
    m_previous = 0.0f;
}

} // namespace cw
