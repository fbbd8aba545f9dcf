#include "tools/cwdemodulator/pitchdetector.h"

#include "tools/morsedsp/fouriertransform.h"
#include "tools/morsedsp/hannwindow.h"
#include "tools/morsedsp/peakinterpolation.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace cw {

namespace {

/// Weight of the newest segment in the running spectrum: about the last eight segments count.
constexpr float NEW_SEGMENT_WEIGHT = 0.125f;
/// Segments averaged before a peak may be called clear.
constexpr int MIN_UPDATES = 6;

} // namespace

PitchDetector::PitchDetector(double dSampleRate, double dMinHz, double dMaxHz)
    : m_dSampleRate(dSampleRate)
{
    // About half a second per segment: bins of 2 Hz or finer.
    m_nSize = 256;
    while (double(m_nSize) < dSampleRate * 0.5)
        m_nSize *= 2;
    const size_t bins = m_nSize / 2 + 1;
    m_nMinBin = std::max<size_t>(2, size_t(std::floor(dMinHz * double(m_nSize) / dSampleRate)));
    m_nMaxBin = std::min(bins - 2, size_t(std::ceil(dMaxHz * double(m_nSize) / dSampleRate)));
    m_pWindow = dsp::hannWindow(m_nSize);
    m_segment.Reset(m_nSize);
    m_power.assign(bins, 0.0f);
    m_scratch.reserve(bins);
}

PitchDetector::~PitchDetector() = default;

void PitchDetector::Add(const float* pSamples, size_t nCount)
{
    // The segment is a ring: each sample is written once, however small the blocks, and a
    // short input does not pay for a whole segment.
    const size_t hop = HopSize();
    while (nCount > 0) {
        const size_t take = std::min(nCount, hop - m_nSinceUpdate);
        m_segment.Push(pSamples, take);
        pSamples += take;
        nCount -= take;
        m_nSinceUpdate += take;
        if (m_nSinceUpdate == hop) {
            m_nSinceUpdate = 0;
            if (m_segment.full())
                analyseSegment();
        }
    }
}

void PitchDetector::analyseSegment()
{
    // Digital silence (a recording padded with zeros) is no audio: averaged in, it would
    // leave the first segment with sound standing alone, where noise peaks stand clear
    // of a median near zero (3.5 s of zeros before a signal found 1323 Hz for 700 Hz).
    const auto isZero = [](float f) { return f == 0.0f; };
    const dsp::RingBuffer<float>::Part older = m_segment.Older();
    const dsp::RingBuffer<float>::Part newer = m_segment.Newer();
    if (std::all_of(older.begin(), older.end(), isZero) &&
        std::all_of(newer.begin(), newer.end(), isZero))
        return;
    dsp::FourierTransform& transform = dsp::FourierTransform::Shared(m_nSize);
    std::complex<float>* input = transform.Input();
    const std::vector<float>& window = *m_pWindow;
    for (size_t i = 0; i < older.nCount; ++i)
        input[i] = older.pValues[i] * window[i];
    for (size_t i = 0; i < newer.nCount; ++i)
        input[older.nCount + i] = newer.pValues[i] * window[older.nCount + i];
    transform.Execute();
    const std::complex<float>* spectrum = transform.Output();
    // A plain mean over the first segments, then an exponential one over about the last eight.
    const float weight = std::max(NEW_SEGMENT_WEIGHT, 1.0f / float(m_nUpdates + 1));
    for (size_t k = m_nMinBin - 1; k <= m_nMaxBin + 1; ++k) {
        const float power = std::norm(spectrum[k]);
        m_power[k] += weight * (power - m_power[k]);
    }
    ++m_nUpdates;

    size_t peak = m_nMinBin;
    m_scratch.clear();
    for (size_t k = m_nMinBin; k <= m_nMaxBin; ++k) {
        m_scratch.push_back(m_power[k]);
        if (m_power[k] > m_power[peak])
            peak = k;
    }
    auto middle = m_scratch.begin() + std::ptrdiff_t(m_scratch.size() / 2);
    std::nth_element(m_scratch.begin(), middle, m_scratch.end());
    const double median = std::max(1e-30f, *middle);

    // Gaussian interpolation on the log power of the peak and its neighbours.
    const double left = std::log(std::max(1e-30f, m_power[peak - 1]));
    const double centre = std::log(std::max(1e-30f, m_power[peak]));
    const double right = std::log(std::max(1e-30f, m_power[peak + 1]));
    const double offset = dsp::parabolicPeakOffset(left, centre, right);
    m_dPitch = (double(peak) + offset) * m_dSampleRate / double(m_nSize);
    m_dPeakRatio = m_nUpdates >= MIN_UPDATES ? double(m_power[peak]) / median : 0.0;
}

} // namespace cw
