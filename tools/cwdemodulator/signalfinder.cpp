#include "tools/cwdemodulator/signalfinder.h"

#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/peakinterpolation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cw {

namespace {

constexpr double MEMORY_SEC = 4.0;       ///< how far back the key-down and key-up levels look
constexpr double NOISE_SMOOTHING = 0.05; ///< share of each frame's noise estimate
/// A Hann-windowed tone fills its bin with this many times the noise of one hertz... over
/// 2500 Hz: tone power over a bin's mean noise is the SNR in 2500 Hz times this over the bin.
constexpr double SNR_BIN_FACTOR = 2500.0 / 1.5;
constexpr double KEYED_RATIO = 4.0;     ///< key-down over key-up of a line that keys
constexpr int PEAK_REACH = 2;           ///< a line is the highest within this many bins
constexpr double SAME_SIGNAL_HZ = 40.0; ///< a weaker line this close is the same signal
/// A frame is keyed where it reaches this share of the threshold: a frame that holds only
/// part of an element is weaker than the key-down level.
constexpr double LOUD_SHARE = 0.25;
constexpr double ECHO_RATIO = 10.0;       ///< an echo is at least this much weaker...
constexpr float WEAK_ON_SHARE = 0.25f;    ///< ...that is on (within 6 dB of its level)...
constexpr float STRONG_OFF_SHARE = 0.03f; ///< ...only while the stronger is (within 15 dB)

double dB(double dRatio)
{
    return 10.0 * std::log10(std::max(dRatio, 1e-30));
}

/// The digit whose count holds rank @p nRank, counting from digit 0 in @p pCounts (their
/// total is over @p nRank); @p nRank becomes the rank within that digit. Eight counts at a
/// time are passed over while the rank lies beyond them.
std::uint32_t digitOfRank(const std::uint32_t* pCounts, size_t& nRank)
{
    std::uint32_t digit = 0;
#if defined(__SSE2__)
    for (;; digit += 8) {
        __m128i sum =
            _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pCounts + digit)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(pCounts + digit + 4)));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4e));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xb1));
        const size_t block = std::uint32_t(_mm_cvtsi128_si32(sum));
        if (nRank < block)
            break;
        nRank -= block;
    }
#endif
    while (nRank >= pCounts[digit])
        nRank -= pCounts[digit++];
    return digit;
}

/// The value of rank @p nRank (0: the smallest) among @p nCount values none of which is
/// negative, as std::nth_element would put there. Such a float orders as its bits do, so the
/// value's bits are found in three counting passes, 11, 11 and 10 of them at a time, without
/// the mispredicted branches of comparisons. Each pass after the first counts only the values
/// that share the bits found so far, gathered into @p kept (after the first, a small part of
/// the band); @p counts is the passes' room, all zero between calls: each pass clears only the
/// counts it raised, fewer than the digit's two thousand once the first pass has narrowed the
/// values down.
float valueOfRank(const float* pValues, size_t nCount, size_t nRank,
                  std::vector<std::uint32_t>& counts, std::vector<std::uint32_t>& kept)
{
    if (nRank >= nCount)
        return 0.0f;
    kept.resize(std::max(kept.size(), nCount));
    counts.resize(std::max<size_t>(counts.size(), 1u << 11));
    std::uint32_t* values = kept.data();
    std::memcpy(values, pValues, nCount * sizeof(float));
    size_t live = nCount; ///< values that share the bits found so far, first in kept
    for (const auto& [shift, width] : {std::pair{21, 11}, std::pair{10, 11}, std::pair{0, 10}}) {
        const std::uint32_t mask = (1u << width) - 1u;
        for (size_t i = 0; i < live; ++i)
            ++counts[(values[i] >> shift) & mask];
        const std::uint32_t digit = digitOfRank(counts.data(), nRank);
        for (size_t i = 0; i < live; ++i)
            counts[(values[i] >> shift) & mask] = 0;
        // Gathered without a branch: each value is written, and the next one goes over it
        // unless it has the digit.
        size_t sharing = 0;
        for (size_t i = 0; i < live; ++i) {
            const std::uint32_t bits = values[i];
            values[sharing] = bits;
            sharing += ((bits >> shift) & mask) == digit;
        }
        live = sharing;
        if (live == 1)
            break;
    }
    // One value left, or several with the same bits.
    float value;
    std::memcpy(&value, &values[0], sizeof value);
    return value;
}

/// The highest of @p history, whose newest value is @p fNewest: the key-down level again once
/// the highest value left the memory. Rare, and kept out of the loop over the band.
[[gnu::noinline]] float highestRemembered(const dsp::RingBuffer<float>& history, float fNewest)
{
    float level = fNewest;
    history.ForEach([&level](float f) { level = std::max(level, f); });
    return level;
}

} // namespace

inline void SignalFinder::remember(size_t nBand, float fPower)
{
    // The key-down level is the highest power remembered: it changes only where the new
    // power is higher, or where the one the memory lets go of was the highest.
    dsp::RingBuffer<float>& history = m_history[nBand];
    const bool full = history.full();
    const float leaving = full ? history.Oldest() : 0.0f;
    history.Push(fPower);
    float& level = m_keyDown[nBand];
    if (fPower >= level)
        level = fPower;
    else if (full && leaving == level)
        level = highestRemembered(history, fPower);
}

SignalFinder::SignalFinder(const Settings& settings) : m_settings(settings)
{
    const double binHz = settings.dBinHz;
    const size_t lastBin = settings.nBins > 2 ? settings.nBins - 2 : 1;
    m_nLowBin = std::clamp<size_t>(size_t(std::ceil(settings.dLowHz / binHz)), 1, lastBin);
    m_nHighBin =
        std::clamp<size_t>(size_t(std::floor(settings.dHighHz / binHz)), m_nLowBin, lastBin);
    const size_t depth = std::max<size_t>(4, size_t(std::ceil(MEMORY_SEC / settings.dFrameSec)));
    const size_t bandBins = m_nHighBin - m_nLowBin + 1;
    m_history.assign(bandBins, dsp::RingBuffer<float>(depth));
    // Every bin's memory fills within seconds: taken at once, not grown spectrum by spectrum.
    for (dsp::RingBuffer<float>& history : m_history)
        history.Reserve();
    m_keyDown.assign(bandBins, 0.0f);
    m_dThresholdRatio = std::pow(10.0, settings.dMinSnrDb / 10.0) * SNR_BIN_FACTOR / binHz;
}

void SignalFinder::Push(const std::vector<float>& power)
{
    const size_t bandBins = m_keyDown.size();
    if (power.size() <= m_nHighBin)
        return;
    for (size_t b = 0; b < bandBins; ++b)
        remember(b, power[m_nLowBin + b]);
    updateNoise(power);

    // Candidates: local maxima of the key-down level over the threshold.
    std::vector<Candidate> candidates;
    const float threshold = float(m_dNoise * m_dThresholdRatio);
    for (size_t b = 0; b < bandBins; ++b) {
        const float level = m_keyDown[b];
        if (level < threshold)
            continue;
        bool peak = true;
        for (int d = -PEAK_REACH; d <= PEAK_REACH && peak; ++d) {
            const std::ptrdiff_t n = std::ptrdiff_t(b) + d;
            if (d == 0 || n < 0 || n >= std::ptrdiff_t(bandBins))
                continue;
            peak = d < 0 ? level > m_keyDown[size_t(n)] : level >= m_keyDown[size_t(n)];
        }
        if (peak)
            candidates.push_back({b, level});
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.fKeyDown > b.fKeyDown; });

    // Strongest first: a line is a source unless it is an echo of a stronger source, and a
    // source that keys is a signal. A strong line that has not keyed yet is a source all
    // the same: its clicks must not pass for signals before it first pauses.
    std::vector<Candidate> sources;
    m_lines.clear();
    for (const Candidate& candidate : candidates) {
        const bool echo = std::any_of(sources.begin(), sources.end(), [&](const Candidate& strong) {
            return isEchoOf(candidate, strong);
        });
        if (echo)
            continue;
        sources.push_back(candidate);
        if (!isKeyed(candidate.nBin))
            continue;
        Line line;
        line.dPitchHz = interpolatedPitch(candidate.nBin);
        line.dSnrDb = dB(candidate.fKeyDown / m_dNoise / (SNR_BIN_FACTOR / m_settings.dBinHz));
        line.nOnsetFramesAgo = onsetFramesAgo(candidate.nBin);
        m_lines.push_back(line);
    }
}

bool SignalFinder::IsLoudNow(double dPitchHz, double dReachHz) const
{
    const float threshold = float(LOUD_SHARE * m_dNoise * m_dThresholdRatio);
    const auto [first, end] = binsNear(dPitchHz, dReachHz);
    for (size_t b = first; b < end; ++b) {
        const float latest = m_history[b].empty() ? 0.0f : m_history[b].Newest();
        if (latest >= threshold)
            return true;
    }
    return false;
}

std::pair<size_t, size_t> SignalFinder::binsNear(double dPitchHz, double dReachHz) const
{
    const double binHz = m_settings.dBinHz;
    const std::ptrdiff_t first = std::max<std::ptrdiff_t>(
        0, std::ptrdiff_t(std::floor((dPitchHz - dReachHz) / binHz)) - std::ptrdiff_t(m_nLowBin));
    const std::ptrdiff_t last = std::min<std::ptrdiff_t>(
        std::ptrdiff_t(m_keyDown.size()) - 1,
        std::ptrdiff_t(std::ceil((dPitchHz + dReachHz) / binHz)) - std::ptrdiff_t(m_nLowBin));
    return {size_t(first), size_t(std::max(first, last + 1))};
}

bool SignalFinder::IsActive(double dPitchHz, double dReachHz) const
{
    const float threshold = float(0.5 * m_dNoise * m_dThresholdRatio);
    const auto [first, end] = binsNear(dPitchHz, dReachHz);
    for (size_t b = first; b < end; ++b) {
        if (m_keyDown[b] >= threshold)
            return true;
    }
    return false;
}

void SignalFinder::updateNoise(const std::vector<float>& power)
{
    // The median of the band is noise as long as signals fill less than half of it.
    const size_t bandBins = m_nHighBin - m_nLowBin + 1;
    const float median = valueOfRank(&power[m_nLowBin], bandBins, bandBins / 2, m_counts, m_kept);
    const double mean = std::max(double(median) / dsp::LN2, 1e-20);
    m_dNoise = spectra() <= 1 ? mean : m_dNoise + NOISE_SMOOTHING * (mean - m_dNoise);
}

bool SignalFinder::isKeyed(size_t nBand) const
{
    // The line fell well below a level it had reached: a key went up. A carrier, or a
    // signal that has not paused yet, has not keyed.
    const dsp::RingBuffer<float>& history = m_history[nBand];
    float highest = 0.0f;
    for (size_t i = 0; i < history.size(); ++i) {
        const float level = history[i];
        if (level * KEYED_RATIO <= highest)
            return true;
        highest = std::max(highest, level);
    }
    return false;
}

size_t SignalFinder::onsetFramesAgo(size_t nBand) const
{
    const dsp::RingBuffer<float>& history = m_history[nBand];
    const float loud = float(LOUD_SHARE * m_dNoise * m_dThresholdRatio);
    for (size_t i = 0; i < history.size(); ++i) {
        if (history[i] >= loud)
            return history.size() - 1 - i;
    }
    return 0;
}

bool SignalFinder::isEchoOf(const Candidate& weak, const Candidate& strong) const
{
    const double apartHz = std::abs(double(weak.nBin) - double(strong.nBin)) * m_settings.dBinHz;
    if (apartHz < SAME_SIGNAL_HZ)
        return true;
    if (strong.fKeyDown < ECHO_RATIO * weak.fKeyDown)
        return false;
    return keysOnlyWith(weak.nBin, strong.nBin);
}

bool SignalFinder::keysOnlyWith(size_t nWeak, size_t nStrong) const
{
    // A real signal is heard on its own at times: in the stronger one's pauses, or before
    // or after it. What a strong signal makes around itself is there only while it sends.
    const dsp::RingBuffer<float>& weak = m_history[nWeak];
    const dsp::RingBuffer<float>& strong = m_history[nStrong];
    const float weakOn = m_keyDown[nWeak] * WEAK_ON_SHARE;
    const float strongOff = m_keyDown[nStrong] * STRONG_OFF_SHARE;
    for (size_t i = 0; i < weak.size(); ++i) {
        if (weak[i] >= weakOn && strong[i] < strongOff)
            return false;
    }
    return true;
}

double SignalFinder::interpolatedPitch(size_t nBand) const
{
    // A parabola through the peak's log level and its neighbours'.
    double offset = 0.0;
    if (nBand > 0 && nBand + 1 < m_keyDown.size()) {
        const double left = dB(m_keyDown[nBand - 1]);
        const double centre = dB(m_keyDown[nBand]);
        const double right = dB(m_keyDown[nBand + 1]);
        offset = dsp::parabolicPeakOffset(left, centre, right);
    }
    return (double(m_nLowBin + nBand) + offset) * m_settings.dBinHz;
}

} // namespace cw
