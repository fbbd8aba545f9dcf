#include "tools/morsedsp/fouriertransform.h"

#include <kiss_fft.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dsp {

// KissFFT's complex sample is two floats, real then imaginary, laid out as std::complex<float>.
static_assert(sizeof(kiss_fft_cpx) == sizeof(std::complex<float>),
              "kiss_fft_cpx and std::complex<float> must share their layout");

namespace {

/// The number of base-4 digits of @p nSize when it is a power of four of at least 16 (four
/// first butterflies at once), else 0.
size_t baseFourDigits(size_t nSize)
{
    size_t digits = 0;
    while (nSize >= 4 && nSize % 4 == 0) {
        nSize /= 4;
        ++digits;
    }
    return nSize == 1 && digits >= 2 ? digits : 0;
}

/// The twiddle e^(-+2 pi j i / N) rounded as KissFFT rounds it: computed in double, then
/// each part taken to float.
std::complex<float> twiddle(size_t nIndex, size_t nSize, bool bInverse)
{
    const double pi = 3.141592653589793238462643383279502884197169399375105820974944;
    double phase = -2 * pi * double(nIndex) / double(nSize);
    if (bInverse)
        phase *= -1;
    return {float(std::cos(phase)), float(std::sin(phase))};
}

} // namespace

FourierTransform::FourierTransform(size_t nSize, bool bInverse)
    : m_input(nSize), m_output(nSize), m_bInverse(bInverse)
{
#if defined(__SSE2__)
    const size_t digits = baseFourDigits(nSize);
    if (digits > 0) {
        // The first butterflies that read inputs r .. r + 3 of each quarter (r a multiple of
        // four) write their outputs from 4 q on in each quarter, q being r / 4 with its base-4
        // digits reversed.
        m_real.resize(nSize);
        m_imag.resize(nSize);
        m_firstSlots.resize(nSize / 16);
        for (size_t g = 0; g < nSize / 16; ++g) {
            size_t reversed = 0;
            size_t rest = g;
            for (size_t d = 0; d + 2 < digits; ++d) {
                reversed = reversed * 4 + rest % 4;
                rest /= 4;
            }
            m_firstSlots[g] = unsigned(4 * reversed);
        }
        m_firstTurn = twiddle(0, nSize, bInverse);
        for (size_t m = 4; m < nSize; m *= 4) {
            const size_t stride = nSize / (4 * m);
            for (size_t k = 0; k < m; k += 4) {
                for (size_t leg = 1; leg <= 3; ++leg) {
                    std::complex<float> w[4];
                    for (size_t lane = 0; lane < 4; ++lane)
                        w[lane] = twiddle(leg * (k + lane) * stride, nSize, bInverse);
                    m_stageTurns.insert(m_stageTurns.end(),
                                        {w[0].real(), w[1].real(), w[2].real(), w[3].real()});
                    m_stageTurns.insert(m_stageTurns.end(),
                                        {w[0].imag(), w[1].imag(), w[2].imag(), w[3].imag()});
                }
            }
        }
        m_bVectorised = roundsAsTheLibrary();
        if (m_bVectorised)
            return;
        // A library built to round otherwise is followed: its output is what the decoder was
        // measured with.
        m_real.clear();
        m_imag.clear();
        m_firstSlots.clear();
        m_stageTurns.clear();
    }
#endif
    // The configuration is the transform's own memory: making one touches no shared state,
    // so transforms may be made on several threads at once.
    m_pPlan = kiss_fft_alloc(int(nSize), bInverse ? 1 : 0, nullptr, nullptr);
    if (m_pPlan == nullptr)
        throw std::bad_alloc();
}

bool FourierTransform::roundsAsTheLibrary()
{
    // One transform of noise: a build of the library that rounds otherwise differs in most
    // bins of it.
    const size_t size = m_input.size();
    kiss_fft_cfg plan = kiss_fft_alloc(int(size), m_bInverse ? 1 : 0, nullptr, nullptr);
    if (plan == nullptr)
        return true; // no library plan to compare with, nor to fall back on
    std::uint32_t state = 2463534242u;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return float(std::int32_t(state)) * (1000.0f / 2147483648.0f);
    };
    for (std::complex<float>& value : m_input)
        value = {next(), next()};
    std::vector<kiss_fft_cpx> expected(size);
    kiss_fft(plan, reinterpret_cast<const kiss_fft_cpx*>(m_input.data()), expected.data());
    kiss_fft_free(plan);
    executeRadix4();
    const bool same =
        std::memcmp(m_output.data(), expected.data(), size * sizeof(kiss_fft_cpx)) == 0;
    std::fill(m_input.begin(), m_input.end(), std::complex<float>());
    std::fill(m_output.begin(), m_output.end(), std::complex<float>());
    return same;
}

FourierTransform::~FourierTransform()
{
    if (m_pPlan != nullptr)
        kiss_fft_free(m_pPlan);
}

FourierTransform& FourierTransform::Shared(size_t nSize, bool bInverse)
{
    thread_local std::map<std::pair<size_t, bool>, std::unique_ptr<FourierTransform>> kept;
    std::unique_ptr<FourierTransform>& transform = kept[{nSize, bInverse}];
    if (!transform)
        transform = std::make_unique<FourierTransform>(nSize, bInverse);
    return *transform;
}

void FourierTransform::Execute()
{
    if (m_bVectorised) {
        executeRadix4();
        return;
    }
    kiss_fft(static_cast<kiss_fft_cfg>(m_pPlan),
             reinterpret_cast<const kiss_fft_cpx*>(m_input.data()),
             reinterpret_cast<kiss_fft_cpx*>(m_output.data()));
}

void FourierTransform::executeRadix4()
{
#if defined(__SSE2__)
    // Decimation in time: the first stage takes the input in digit-reversed order in fours,
    // each later one joins four transforms of a quarter of its length. Four butterflies go at
    // once, their values split into real and imaginary parts (a lane each), which the stages
    // between keep apart in their own buffers. Each butterfly rounds as the KissFFT library
    // in use does, whose build lets the compiler regroup the sums: the turned legs' products
    // are summed in the order written below, not as whole complex products, and the output
    // is that library's to the bit (which the constructor checks).
    const size_t size = m_input.size();
    const float* in = reinterpret_cast<const float*>(m_input.data());
    float* out = reinterpret_cast<float*>(m_output.data());
    float* real = m_real.data();
    float* imag = m_imag.data();
    const bool inverse = m_bInverse;

    struct Legs
    {
        __m128 r[4];
        __m128 i[4];
    };
    // The butterfly on legs 0..3 with the twiddles of legs 1..3 (real, imaginary).
    // A leg times its twiddle, left in the parts the library's build sums separately: the
    // real part's two products, and the imaginary part whole.
    struct TurnedLeg
    {
        __m128 realByReal;
        __m128 imagByImag;
        __m128 imag;
    };
    auto turn = [](__m128 fr, __m128 fi, __m128 wr, __m128 wi) {
        return TurnedLeg{_mm_mul_ps(fr, wr), _mm_mul_ps(fi, wi),
                         _mm_add_ps(_mm_mul_ps(fr, wi), _mm_mul_ps(fi, wr))};
    };
    auto butterfly = [inverse, &turn](Legs& legs, const float* pTurns) {
        const __m128 w1r = _mm_loadu_ps(pTurns), w1i = _mm_loadu_ps(pTurns + 4),
                     w2r = _mm_loadu_ps(pTurns + 8), w2i = _mm_loadu_ps(pTurns + 12),
                     w3r = _mm_loadu_ps(pTurns + 16), w3i = _mm_loadu_ps(pTurns + 20);
        const __m128 f0r = legs.r[0], f0i = legs.i[0], f1r = legs.r[1], f1i = legs.i[1],
                     f2r = legs.r[2], f2i = legs.i[2], f3r = legs.r[3], f3i = legs.i[3];
        const __m128 s0r = _mm_sub_ps(_mm_mul_ps(f1r, w1r), _mm_mul_ps(f1i, w1i));
        const __m128 s0i = _mm_add_ps(_mm_mul_ps(f1r, w1i), _mm_mul_ps(f1i, w1r));
        const TurnedLeg leg2 = turn(f2r, f2i, w2r, w2i);
        const __m128 evenSumR = _mm_sub_ps(_mm_add_ps(f0r, leg2.realByReal), leg2.imagByImag);
        const __m128 evenSumI = _mm_add_ps(f0i, leg2.imag);
        const __m128 evenDiffR = _mm_sub_ps(_mm_add_ps(f0r, leg2.imagByImag), leg2.realByReal);
        const __m128 evenDiffI = _mm_sub_ps(f0i, leg2.imag);
        const TurnedLeg leg3 = turn(f3r, f3i, w3r, w3i);
        const __m128 oddSumR = _mm_add_ps(_mm_sub_ps(s0r, leg3.imagByImag), leg3.realByReal);
        const __m128 oddSumI = _mm_add_ps(s0i, leg3.imag);
        const __m128 oddDiffR = _mm_add_ps(_mm_sub_ps(s0r, leg3.realByReal), leg3.imagByImag);
        const __m128 oddDiffI = _mm_sub_ps(s0i, leg3.imag);
        legs.r[0] = _mm_add_ps(evenSumR, oddSumR);
        legs.i[0] = _mm_add_ps(evenSumI, oddSumI);
        legs.r[2] = _mm_sub_ps(evenSumR, oddSumR);
        legs.i[2] = _mm_sub_ps(evenSumI, oddSumI);
        // The odd difference turned by -j (by +j inverse) into legs 1 and 3.
        const __m128 plusR = _mm_add_ps(evenDiffR, oddDiffI);
        const __m128 minusR = _mm_sub_ps(evenDiffR, oddDiffI);
        const __m128 plusI = _mm_add_ps(evenDiffI, oddDiffR);
        const __m128 minusI = _mm_sub_ps(evenDiffI, oddDiffR);
        legs.r[1] = inverse ? minusR : plusR;
        legs.i[1] = inverse ? plusI : minusI;
        legs.r[3] = inverse ? plusR : minusR;
        legs.i[3] = inverse ? minusI : plusI;
    };
    // Two vectors of two complex values each into real and imaginary parts, and back.
    auto split = [](__m128 low, __m128 high, __m128& r, __m128& i) {
        r = _mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0));
        i = _mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1));
    };

    // The first stage: in digit-reversed order the four inputs of a butterfly lie a quarter
    // of the input apart, and the neighbouring butterflies' next to them; all are turned by
    // the first twiddle. Each butterfly's outputs lie side by side, a quarter apart from the
    // next butterfly's.
    float firstTurns[24];
    for (size_t lane = 0; lane < 24; ++lane)
        firstTurns[lane] = (lane / 4) % 2 == 0 ? m_firstTurn.real() : m_firstTurn.imag();
    const size_t quarter = size / 4;
    for (size_t r = 0; r < quarter; r += 4) {
        Legs legs;
        for (size_t leg = 0; leg < 4; ++leg) {
            const float* from = in + 2 * (leg * quarter + r);
            split(_mm_loadu_ps(from), _mm_loadu_ps(from + 4), legs.r[leg], legs.i[leg]);
        }
        butterfly(legs, firstTurns);
        // Each butterfly's legs side by side: the lanes and legs transposed.
        const size_t slot = m_firstSlots[r / 4];
        _MM_TRANSPOSE4_PS(legs.r[0], legs.r[1], legs.r[2], legs.r[3]);
        _MM_TRANSPOSE4_PS(legs.i[0], legs.i[1], legs.i[2], legs.i[3]);
        for (size_t lane = 0; lane < 4; ++lane) {
            _mm_storeu_ps(real + lane * quarter + slot, legs.r[lane]);
            _mm_storeu_ps(imag + lane * quarter + slot, legs.i[lane]);
        }
    }

    // The later stages, in place on the split parts but for the last, which writes the
    // complex output: butterflies k .. k + 3 of each group of 4 m values.
    const float* turns = m_stageTurns.data();
    for (size_t m = 4; m < size; m *= 4) {
        const bool last = 4 * m == size;
        for (size_t base = 0; base < size; base += 4 * m) {
            const float* groupTurns = turns;
            for (size_t k = 0; k < m; k += 4, groupTurns += 24) {
                Legs legs;
                for (size_t leg = 0; leg < 4; ++leg) {
                    legs.r[leg] = _mm_loadu_ps(real + base + leg * m + k);
                    legs.i[leg] = _mm_loadu_ps(imag + base + leg * m + k);
                }
                butterfly(legs, groupTurns);
                for (size_t leg = 0; leg < 4; ++leg) {
                    const size_t at = base + leg * m + k;
                    if (last) {
                        _mm_storeu_ps(out + 2 * at, _mm_unpacklo_ps(legs.r[leg], legs.i[leg]));
                        _mm_storeu_ps(out + 2 * at + 4, _mm_unpackhi_ps(legs.r[leg], legs.i[leg]));
                    } else {
                        _mm_storeu_ps(real + at, legs.r[leg]);
                        _mm_storeu_ps(imag + at, legs.i[leg]);
                    }
                }
            }
        }
        turns += 6 * m;
    }
#endif
}

} // namespace dsp
