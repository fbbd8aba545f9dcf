#include "tools/cwdemodulator/channelizer.h"

#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/fouriertransform.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

constexpr double MAX_BIN_HZ = 6.0; ///< spectral resolution of the frames
/// The lowest rate the channels come out at: the tap puts its centre at a quarter of it, and
/// the demodulator brings that to its baseband (500 Hz) with room for the tap's 100 Hz each side.
/// Each halving of the rate halves the tap's inverse transform and the demodulator's input
/// filtering, which are most of a channel's cost outside its decisions.
constexpr double MIN_OUTPUT_RATE = 2000.0;

size_t powerOfTwoAtLeast(double dValue)
{
    size_t n = 1;
    while (double(n) < dValue)
        n *= 2;
    return n;
}

} // namespace

Channelizer::Channelizer(double dSampleRate, double dHistorySec, double dLagSec)
    : m_dSampleRate(dSampleRate),
      m_nSize(std::max<size_t>(64, powerOfTwoAtLeast(dSampleRate / MAX_BIN_HZ)))
{
    m_nDecimation = 1;
    while (dSampleRate / (2.0 * m_nDecimation) >= MIN_OUTPUT_RATE &&
           size_t(m_nDecimation) * 8 < m_nSize)
        m_nDecimation *= 2;
    m_window.assign(m_nSize, 0.0f);
    m_nHistoryFrames = size_t(std::ceil(dHistorySec / FrameSec())) + 1;
    // A lagging reader may still need the oldest frame of the history as it was when it
    // fell behind, and the frame being made takes a slot too.
    const size_t spare = dLagSec > 0.0 ? size_t(std::ceil(dLagSec / FrameSec())) + 2 : 0;
    m_nSlots = m_nHistoryFrames + spare;
    m_history.assign(m_nSlots * Bins(), {});
    m_power.assign(Bins(), 0.0f);
    // A real frame of Size() samples is transformed as a complex one of half that length
    // (even samples real, odd ones imaginary) and the two halves' spectra pulled apart.
    const size_t half = m_nSize / 2;
    m_pTransform = std::make_unique<dsp::FourierTransform>(half);
    m_twiddles.resize(half + 1);
    for (size_t k = 0; k <= half; ++k)
        m_twiddles[k] =
            std::complex<float>(std::polar(1.0, -dsp::TWO_PI * double(k) / double(m_nSize)));
    m_spectrum.resize(Bins());
}

Channelizer::~Channelizer() = default;

size_t Channelizer::Push(const float* pSamples, size_t nCount)
{
    const size_t hop = Hop();
    const size_t take = std::min(nCount, hop - m_nFill);
    // The window keeps the previous half frame in its first half.
    std::copy(pSamples, pSamples + take, m_window.begin() + std::ptrdiff_t(hop + m_nFill));
    m_nFill += take;
    m_bFrameReady = m_nFill == hop;
    if (m_bFrameReady) {
        transform();
        std::copy(m_window.begin() + std::ptrdiff_t(hop), m_window.end(), m_window.begin());
        m_nFill = 0;
    }
    return take;
}

void Channelizer::transform()
{
    const size_t half = m_nSize / 2;
    std::complex<float>* in = m_pTransform->Input();
    for (size_t i = 0; i < half; ++i)
        in[i] = {m_window[2 * i], m_window[2 * i + 1]};
    m_pTransform->Execute();
    const std::complex<float>* packed = m_pTransform->Output();
    // The even samples' spectrum is the conjugate-symmetric part of the packed one, the odd
    // samples' the antisymmetric part over j; the odd ones are half a sample late.
    for (size_t k = 0; k <= half; ++k) {
        const std::complex<float> z = packed[k % half];
        const std::complex<float> mirror = std::conj(packed[(half - k) % half]);
        const std::complex<float> even = 0.5f * (z + mirror);
        const std::complex<float> odd = std::complex<float>(0.0f, -0.5f) * (z - mirror);
        m_spectrum[k] = even + m_twiddles[k] * odd;
    }
    const std::complex<float>* out = m_spectrum.data();
    const std::int64_t frame = m_nFrames.load(std::memory_order_relaxed);
    std::complex<float>* slot = &m_history[size_t(frame % std::int64_t(m_nSlots)) * Bins()];
    std::copy(out, out + Bins(), slot);
    // A Hann window is a three-tap convolution in frequency: it lowers the leakage of strong
    // lines into their neighbours' bins. The bins beyond both ends mirror those inside.
    for (size_t k = 0; k <= half; ++k) {
        const std::complex<float> below = k == 0 ? std::conj(out[1]) : out[k - 1];
        const std::complex<float> above = k == half ? std::conj(out[half - 1]) : out[k + 1];
        m_power[k] = std::norm(0.5f * out[k] - 0.25f * (below + above));
    }
    m_nFrames.store(frame + 1, std::memory_order_release);
}

std::int64_t Channelizer::OldestFrame() const
{
    return std::max<std::int64_t>(0, m_nFrames - std::int64_t(m_nHistoryFrames));
}

const std::complex<float>* Channelizer::Frame(std::int64_t nFrame) const
{
    const std::int64_t frames = m_nFrames.load(std::memory_order_acquire);
    if (nFrame < frames - std::int64_t(m_nSlots) || nFrame < 0 || nFrame >= frames)
        return nullptr;
    return &m_history[size_t(nFrame % std::int64_t(m_nSlots)) * Bins()];
}

} // namespace cw
