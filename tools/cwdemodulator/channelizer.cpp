#include "tools/cwdemodulator/channelizer.h"

#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/fouriertransform.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    // The samples in pairs are the complex input as they lie (std::complex is two floats).
    std::memcpy(static_cast<void*>(m_pTransform->Input()), m_window.data(),
                half * sizeof(std::complex<float>));
    m_pTransform->Execute();
    const std::int64_t frame = m_nFrames.load(std::memory_order_relaxed);
    std::complex<float>* slot = &m_history[size_t(frame % std::int64_t(m_nSlots)) * Bins()];
    unpack(m_pTransform->Output(), slot);
    hannPower(slot);
    m_nFrames.store(frame + 1, std::memory_order_release);
}

void Channelizer::unpack(const std::complex<float>* pPacked, std::complex<float>* pBins) const
{
    // The even samples' spectrum is the conjugate-symmetric part of the packed one, the odd
    // samples' the antisymmetric part over j; the odd ones are half a sample late. Each bin is
    // even + twiddle * (-j / 2) (z - mirror), with even = (z + mirror) / 2 and mirror the
    // conjugate of the packed bin opposite; the products are written out as std::complex
    // computes them for finite values.
    const size_t half = m_nSize / 2;
    const float* packed = reinterpret_cast<const float*>(pPacked);
    const float* twiddles = reinterpret_cast<const float*>(m_twiddles.data());
    float* bins = reinterpret_cast<float*>(pBins);
    auto bin = [&](size_t k, size_t zAt, size_t mirrorAt) {
        const float zr = packed[2 * zAt];
        const float zi = packed[2 * zAt + 1];
        const float mr = packed[2 * mirrorAt];
        const float mi = -packed[2 * mirrorAt + 1];
        const float er = 0.5f * (zr + mr);
        const float ei = 0.5f * (zi + mi);
        const float dr = zr - mr;
        const float di = zi - mi;
        const float oddR = 0.0f * dr - (-0.5f) * di;
        const float oddI = 0.0f * di + (-0.5f) * dr;
        const float tr = twiddles[2 * k];
        const float ti = twiddles[2 * k + 1];
        bins[2 * k] = er + (tr * oddR - ti * oddI);
        bins[2 * k + 1] = ei + (tr * oddI + ti * oddR);
    };
    bin(0, 0, 0);
    size_t k = 1;
#if defined(__SSE2__)
    // Two bins at a time, each operation the one above (a subtraction as the addition of the
    // negated value, which it is to the bit).
    const __m128 negateReal = _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN));
    const __m128 negateImag = _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0));
    const __m128 halves = _mm_set1_ps(0.5f);
    const __m128 zeros = _mm_set1_ps(0.0f);
    const __m128 minusHalves = _mm_set1_ps(-0.5f);
    for (; k + 1 < half; k += 2) {
        const __m128 z = _mm_loadu_ps(packed + 2 * k);
        const __m128 opposite = _mm_loadu_ps(packed + 2 * (half - k - 1));
        const __m128 mirror =
            _mm_xor_ps(_mm_shuffle_ps(opposite, opposite, _MM_SHUFFLE(1, 0, 3, 2)), negateImag);
        const __m128 even = _mm_mul_ps(halves, _mm_add_ps(z, mirror));
        const __m128 diff = _mm_sub_ps(z, mirror);
        const __m128 halfDiff = _mm_mul_ps(minusHalves, diff);
        const __m128 odd = _mm_add_ps(
            _mm_mul_ps(zeros, diff),
            _mm_xor_ps(_mm_shuffle_ps(halfDiff, halfDiff, _MM_SHUFFLE(2, 3, 0, 1)), negateReal));
        const __m128 twiddle = _mm_loadu_ps(twiddles + 2 * k);
        const __m128 twiddleR = _mm_shuffle_ps(twiddle, twiddle, _MM_SHUFFLE(2, 2, 0, 0));
        const __m128 twiddleI = _mm_shuffle_ps(twiddle, twiddle, _MM_SHUFFLE(3, 3, 1, 1));
        const __m128 oddSwapped = _mm_shuffle_ps(odd, odd, _MM_SHUFFLE(2, 3, 0, 1));
        const __m128 turned = _mm_add_ps(_mm_mul_ps(twiddleR, odd),
                                         _mm_xor_ps(_mm_mul_ps(twiddleI, oddSwapped), negateReal));
        _mm_storeu_ps(bins + 2 * k, _mm_add_ps(even, turned));
    }
#endif
    for (; k < half; ++k)
        bin(k, k, half - k);
    bin(half, 0, 0);
}

void Channelizer::hannPower(const std::complex<float>* pBins)
{
    // A Hann window is a three-tap convolution in frequency: it lowers the leakage of strong
    // lines into their neighbours' bins. The bins beyond both ends mirror those inside.
    const size_t half = m_nSize / 2;
    const float* bins = reinterpret_cast<const float*>(pBins);
    float* power = m_power.data();
    auto windowed = [&](size_t k, float br, float bi, float ar, float ai) {
        const float r = 0.5f * bins[2 * k] - 0.25f * (br + ar);
        const float i = 0.5f * bins[2 * k + 1] - 0.25f * (bi + ai);
        power[k] = r * r + i * i;
    };
    windowed(0, bins[2], -bins[3], bins[2], bins[3]);
    size_t k = 1;
#if defined(__SSE2__)
    // Two bins at a time, each operation the one above.
    const __m128 halves = _mm_set1_ps(0.5f);
    const __m128 quarters = _mm_set1_ps(0.25f);
    for (; k + 1 < half; k += 2) {
        const __m128 sum =
            _mm_add_ps(_mm_loadu_ps(bins + 2 * k - 2), _mm_loadu_ps(bins + 2 * k + 2));
        const __m128 windowedBins =
            _mm_sub_ps(_mm_mul_ps(halves, _mm_loadu_ps(bins + 2 * k)), _mm_mul_ps(quarters, sum));
        const __m128 squares = _mm_mul_ps(windowedBins, windowedBins);
        const __m128 powers = _mm_add_ps(_mm_shuffle_ps(squares, squares, _MM_SHUFFLE(2, 0, 2, 0)),
                                         _mm_shuffle_ps(squares, squares, _MM_SHUFFLE(3, 1, 3, 1)));
        _mm_storel_pi(reinterpret_cast<__m64*>(power + k), powers);
    }
#endif
    for (; k < half; ++k)
        windowed(k, bins[2 * k - 2], bins[2 * k - 1], bins[2 * k + 2], bins[2 * k + 3]);
    windowed(half, bins[2 * half - 2], bins[2 * half - 1], bins[2 * half - 2], -bins[2 * half - 1]);
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
