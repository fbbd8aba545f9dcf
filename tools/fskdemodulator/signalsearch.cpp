#include "tools/fskdemodulator/signalsearch.h"

#include "tools/fskdemodulator/characterframer.h"
#include "tools/fskdemodulator/tonebalance.h"
#include "tools/fskdemodulator/tonefilter.h"
#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/fouriertransform.h"
#include "tools/morsedsp/hannwindow.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace fsk {

namespace {

constexpr double LOWEST_TONE_HZ = 100.0;
constexpr double HIGHEST_TONE_HZ = 5000.0;
constexpr double MIN_SHIFT_HZ = 80.0;
constexpr double MAX_SHIFT_HZ = 1010.0;
/// A tone must stand this far above the median of the spectrum (power ratio).
constexpr double PEAK_OVER_MEDIAN = 4.0;
constexpr size_t MAX_PEAKS = 24;
/// How far a found tone may lie from a given frequency or shift.
constexpr double TONE_TOLERANCE_HZ = 25.0;
/// How much the fit of the transitions to the bit grid (-1 to 1) counts against the share of
/// broken stop bits when speed and polarity are chosen: 45.45 and 50 baud lie close enough
/// that a few noisy stop bits in the window can favour the wrong one.
constexpr double GRID_FIT_WEIGHT = 0.2;
/// How much the mean size of the decided values counts between speeds this close (share of
/// the speed): at the wrong one of two close speeds the later bits of each character are
/// decided off their middles, some tenths of a bit either side, and come out smaller, even
/// where the stop bits happen to hold.
constexpr double CLEARNESS_WEIGHT = 0.5;
constexpr double CLOSE_SPEEDS = 0.15;
/// The peak a tone is measured against decays over this time.
constexpr double PEAK_HOLD_SEC = 0.3;

struct Peak
{
    size_t nBin;
    double dPower;
};

/// The averaged power spectrum of the samples, Hann-windowed, half-overlapped.
std::vector<double> powerSpectrum(const float* pSamples, size_t nCount, size_t nSize)
{
    std::vector<double> power(nSize / 2 + 1, 0.0);
    dsp::FourierTransform transform(nSize);
    const std::shared_ptr<const std::vector<float>> shared = dsp::hannWindow(nSize);
    const std::vector<float>& window = *shared;
    for (size_t start = 0; start + nSize <= nCount; start += nSize / 2) {
        std::complex<float>* in = transform.Input();
        for (size_t i = 0; i < nSize; ++i)
            in[i] = std::isfinite(pSamples[start + i]) ? pSamples[start + i] * window[i] : 0.0f;
        transform.Execute();
        const std::complex<float>* out = transform.Output();
        for (size_t k = 0; k < power.size(); ++k)
            power[k] += double(std::norm(out[k]));
    }
    return power;
}

/// The strongest local maxima that stand out from the median, strongest first.
std::vector<Peak> strongPeaks(const std::vector<double>& power, size_t nFirst, size_t nLast)
{
    std::vector<double> sorted(power.begin() + long(nFirst), power.begin() + long(nLast) + 1);
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::vector<Peak> peaks;
    for (size_t k = nFirst + 1; k < nLast; ++k) {
        if (power[k] >= power[k - 1] && power[k] > power[k + 1] &&
            power[k] > PEAK_OVER_MEDIAN * median)
            peaks.push_back({k, power[k]});
    }
    std::sort(peaks.begin(), peaks.end(),
              [](const Peak& a, const Peak& b) { return a.dPower > b.dPower; });
    if (peaks.size() > MAX_PEAKS)
        peaks.resize(MAX_PEAKS);
    return peaks;
}

/// The peak's frequency refined between its neighbours (parabola through the log powers).
double refinedHz(const std::vector<double>& power, size_t nBin, double dBinHz)
{
    const double a = std::log(power[nBin - 1] + 1e-30);
    const double b = std::log(power[nBin] + 1e-30);
    const double c = std::log(power[nBin + 1] + 1e-30);
    const double denominator = a - 2.0 * b + c;
    const double offset = denominator < 0.0 ? 0.5 * (a - c) / denominator : 0.0;
    return (double(nBin) + std::clamp(offset, -0.5, 0.5)) * dBinHz;
}

bool near(double dHz, double dWantedHz)
{
    return dWantedHz <= 0.0 || std::abs(dHz - dWantedHz) <= TONE_TOLERANCE_HZ;
}

} // namespace

const std::vector<double>& SignalSearch::StandardBauds()
{
    static const std::vector<double> bauds{45.45, 50.0, 75.0, 100.0};
    return bauds;
}

SignalSearch::Result SignalSearch::Find(const float* pSamples, size_t nCount, const Hints& hints)
{
    Result result;
    double low = 0.0;
    double high = 0.0;
    if (hints.dMarkHz > 0.0 && hints.dSpaceHz > 0.0) {
        low = std::min(hints.dMarkHz, hints.dSpaceHz);
        high = std::max(hints.dMarkHz, hints.dSpaceHz);
    } else if (!findTones(pSamples, nCount, hints, low, high)) {
        return result;
    }

    // Speed and polarity together: the wrong ones break stop bits. The transitions' fit to
    // the bit grid settles near ties.
    std::vector<double> bauds = StandardBauds();
    if (hints.dBaud > 0.0)
        bauds = {hints.dBaud};
    std::vector<int> polarities = {0, 1};
    if (hints.dMarkHz > 0.0 && hints.dSpaceHz > 0.0)
        polarities = {hints.dMarkHz < hints.dSpaceHz ? 1 : 0};
    else if (hints.nReversed >= 0)
        polarities = {hints.nReversed};
    else if (hints.dMarkHz > 0.0)
        polarities = {std::abs(hints.dMarkHz - low) < std::abs(hints.dMarkHz - high) ? 1 : 0};
    struct Trial
    {
        double dBaud;
        int nReversed;
        Framing framing;
        double dScore; ///< broken stop bits less the fit to the bit grid: lower is better
    };
    std::vector<Trial> trials;
    for (const double baud : bauds) {
        const double fit =
            bauds.size() > 1 ? runScore(pSamples, nCount, hints.dSampleRate, low, high, baud) : 0.0;
        for (const int reversed : polarities) {
            const double mark = reversed ? low : high;
            const double space = reversed ? high : low;
            const Framing framing =
                trialFraming(pSamples, nCount, hints.dSampleRate, mark, space, baud);
            trials.push_back({baud, reversed, framing, framing.dErrors - GRID_FIT_WEIGHT * fit});
        }
    }
    // Between speeds close to the best one, how clearly the bits come out counts as well
    // (between distant ones the filters' lengths differ too much for their values to compare).
    const Trial* leading = &trials.front();
    for (const Trial& trial : trials) {
        if (trial.dScore < leading->dScore)
            leading = &trial;
    }
    const Trial* chosen = leading;
    double best = 1e9;
    for (const Trial& trial : trials) {
        if (std::abs(trial.dBaud / leading->dBaud - 1.0) > CLOSE_SPEEDS)
            continue;
        const double score = trial.dScore - CLEARNESS_WEIGHT * trial.framing.dClearness;
        if (score < best) {
            best = score;
            chosen = &trial;
        }
    }
    result.dFramingErrors = chosen->framing.dErrors;
    result.nCharacters = chosen->framing.nCharacters;
    result.dBaud = chosen->dBaud;
    result.bReversed = chosen->nReversed == 1;
    result.dMarkHz = result.bReversed ? low : high;
    result.dSpaceHz = result.bReversed ? high : low;
    result.bFound = true;
    return result;
}

bool SignalSearch::findTones(const float* pSamples, size_t nCount, const Hints& hints,
                             double& dLowHz, double& dHighHz)
{
    size_t size = 256;
    while (double(size) < hints.dSampleRate / 4.0)
        size *= 2;
    if (nCount < size)
        return false;
    const double binHz = hints.dSampleRate / double(size);
    const std::vector<double> power = powerSpectrum(pSamples, nCount, size);
    const size_t first = std::max<size_t>(1, size_t(LOWEST_TONE_HZ / binHz));
    const size_t last = std::min(
        power.size() - 2, size_t(std::min(HIGHEST_TONE_HZ, hints.dSampleRate / 2.0) / binHz));
    if (last <= first + 2)
        return false;
    const std::vector<Peak> peaks = strongPeaks(power, first, last);

    double bestScore = 0.0;
    for (size_t i = 0; i < peaks.size(); ++i) {
        for (size_t j = i + 1; j < peaks.size(); ++j) {
            const double a = refinedHz(power, peaks[i].nBin, binHz);
            const double b = refinedHz(power, peaks[j].nBin, binHz);
            const double shift = std::abs(a - b);
            const double score = std::min(peaks[i].dPower, peaks[j].dPower);
            if (shift < MIN_SHIFT_HZ || shift > MAX_SHIFT_HZ || score <= bestScore)
                continue;
            if (hints.dShiftHz > 0.0 && !near(shift, hints.dShiftHz))
                continue;
            if (hints.dMarkHz > 0.0 && !near(a, hints.dMarkHz) && !near(b, hints.dMarkHz))
                continue;
            if (hints.dSpaceHz > 0.0 && !near(a, hints.dSpaceHz) && !near(b, hints.dSpaceHz))
                continue;
            bestScore = score;
            dLowHz = std::min(a, b);
            dHighHz = std::max(a, b);
        }
    }
    return bestScore > 0.0;
}

double SignalSearch::runScore(const float* pSamples, size_t nCount, double dSampleRate,
                              double dLowHz, double dHighHz, double dBaud)
{
    const double bit = dSampleRate / dBaud;
    const size_t length = size_t(std::lround(bit));
    ToneFilter low(dLowHz, dSampleRate, length);
    ToneFilter high(dHighHz, dSampleRate, length);
    // Runs of each tone between transitions, in bits; a good speed makes them whole numbers.
    // Only the space runs are always whole (a 1.5-bit stop lengthens mark runs by half a
    // bit), so each tone is scored on its own and the better one counts.
    double sum[2] = {0.0, 0.0};
    double count[2] = {0.0, 0.0};
    // Each tone is measured against its own recent peak, so that a fading tone does not move
    // the transitions towards it.
    float previous = 0.0f;
    double lastCrossing = -1.0;
    float lowPeak = 1e-12f;
    float highPeak = 1e-12f;
    const float decay = float(1.0 / (PEAK_HOLD_SEC * dSampleRate));
    for (size_t n = 0; n < nCount; ++n) {
        const float lowAmplitude = low.Push(pSamples[n]);
        const float highAmplitude = high.Push(pSamples[n]);
        lowPeak = std::max(lowAmplitude, lowPeak * (1.0f - decay));
        highPeak = std::max(highAmplitude, highPeak * (1.0f - decay));
        const float value = highAmplitude / highPeak - lowAmplitude / lowPeak;
        if (n >= length && (previous >= 0.0f) != (value >= 0.0f)) {
            const double crossing = double(n - 1) + double(previous) / double(previous - value);
            const double run = (crossing - lastCrossing) / bit;
            if (lastCrossing >= 0.0 && run >= 0.5) {
                const int tone = previous >= 0.0f ? 1 : 0;
                sum[tone] += std::cos(dsp::TWO_PI * run);
                count[tone] += 1.0;
            }
            lastCrossing = crossing;
        }
        previous = value;
    }
    double best = -1.0;
    for (int tone = 0; tone < 2; ++tone) {
        if (count[tone] >= 4.0)
            best = std::max(best, sum[tone] / count[tone]);
    }
    return best;
}

SignalSearch::Framing SignalSearch::trialFraming(const float* pSamples, size_t nCount,
                                                 double dSampleRate, double dMarkHz,
                                                 double dSpaceHz, double dBaud)
{
    const double bit = dSampleRate / dBaud;
    const size_t length = size_t(std::lround(bit));
    ToneFilter mark(dMarkHz, dSampleRate, length);
    ToneFilter space(dSpaceHz, dSampleRate, length);
    ToneBalance balance(bit);
    balance.Prime(mark, space, pSamples, nCount, dSampleRate);
    CharacterFramer framer(bit, false);
    double errors = 0.0;
    double decidedSum = 0.0;
    double decided = 0.0;
    Framing framing;
    for (size_t n = 0; n < nCount; ++n) {
        const float markAmplitude = mark.Push(pSamples[n]);
        const float spaceAmplitude = space.Push(pSamples[n]);
        const float value = balance.Push(markAmplitude, spaceAmplitude);
        const int event = framer.Push(value);
        if (event & CharacterFramer::eBIT) {
            decidedSum += std::abs(double(value));
            decided += 1.0;
        }
        if (event & CharacterFramer::eFRAME) {
            ++framing.nCharacters;
            errors += framer.LastFrame().bFramingError ? 1.0 : 0.0;
        }
    }
    if (framing.nCharacters > 0)
        framing.dErrors = errors / double(framing.nCharacters);
    if (decided > 0.0)
        framing.dClearness = decidedSum / decided;
    return framing;
}

} // namespace fsk
