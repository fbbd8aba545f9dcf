#include "tools/cwdemodulator/carrierreference.h"

#include "tools/cwdemodulator/envelopedetector.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double MAX_OFFSET_HZ = 12.0;    ///< the pitch search is closer than this
constexpr double RESOLUTION_HZ = 0.02;    ///< spectrum grid the offset is read from
constexpr double PHASE_MEMORY_SEC = 0.4;  ///< key-down time the phase is averaged over
constexpr double STEADY_COHERENCE = 0.45; ///< |sum| over sum of magnitudes for a steady tone
constexpr size_t NOISE_WINDOW = 8;        ///< samples summed to measure the noise

} // namespace

CarrierReference::CarrierReference(double dSampleRate) : m_dSampleRate(dSampleRate)
{
    m_fWeight = float(1.0 / (PHASE_MEMORY_SEC * dSampleRate));
}

void CarrierReference::setOffset(double dOffsetHz)
{
    m_dOffsetHz = dOffsetHz;
    const double omega = -2.0 * PI * dOffsetHz / m_dSampleRate;
    m_step = std::complex<double>(std::cos(omega), std::sin(omega));
    m_rotator = 1.0;
    m_nSinceNormalise = 0;
}

bool CarrierReference::Learn(const std::complex<float>* pSamples, size_t nCount, int nLength,
                             float fThreshold)
{
    setOffset(0.0);
    if (nCount < 16)
        return false;

    // The keyed tone's spectral line sits at its offset; zero padding gives a fine grid.
    size_t size = 1024;
    while (double(size) < m_dSampleRate / RESOLUTION_HZ || size < nCount)
        size *= 2;
    m_spectrum.assign(size, std::complex<float>());
    std::copy(pSamples, pSamples + nCount, m_spectrum.begin());
    fftwf_complex* data = reinterpret_cast<fftwf_complex*>(m_spectrum.data());
    fftwf_plan plan = fftwf_plan_dft_1d(int(size), data, data, FFTW_FORWARD, FFTW_ESTIMATE);
    fftwf_execute(plan);
    fftwf_destroy_plan(plan);
    const int reach = int(MAX_OFFSET_HZ / m_dSampleRate * double(size));
    int best = 0;
    float bestPower = -1.0f;
    auto power = [&](int k) { return std::norm(m_spectrum[size_t(k) & (size - 1)]); };
    for (int k = -reach; k <= reach; ++k) {
        if (power(k) > bestPower) {
            bestPower = power(k);
            best = k;
        }
    }
    const double left = power(best - 1);
    const double centre = power(best);
    const double right = power(best + 1);
    const double curvature = left - 2.0 * centre + right;
    const double shift =
        curvature < 0.0 ? std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5) : 0.0;
    setOffset((double(best) + shift) * m_dSampleRate / double(size));

    // Phase and steadiness from the key-down averages of the corrected samples.
    EnvelopeDetector detector(nLength);
    detector.SetLength(nLength);
    std::complex<double> rotator = 1.0;
    std::complex<double> sum = 0.0;
    double magnitudes = 0.0;
    for (size_t i = 0; i < nCount; ++i) {
        const std::complex<double> corrected =
            std::complex<double>(pSamples[i].real(), pSamples[i].imag()) * rotator;
        rotator *= m_step;
        const std::complex<float> average = detector.PushAverage(
            std::complex<float>(float(corrected.real()), float(corrected.imag())));
        const float magnitude = std::abs(average);
        if (i >= size_t(nLength) && magnitude > fThreshold) {
            sum += std::complex<double>(average.real(), average.imag());
            magnitudes += magnitude;
        }
    }
    if (magnitudes <= 0.0)
        return false;
    const std::complex<double> phase = sum / std::abs(sum);
    // The noise variance as sums over a few samples see it: the baseband noise is not white
    // out to the band edges, and decisions sum samples.
    rotator = 1.0;
    double quadrature = 0.0;
    double window = 0.0;
    size_t windows = 0;
    for (size_t i = 0; i < nCount; ++i) {
        const std::complex<double> corrected =
            std::complex<double>(pSamples[i].real(), pSamples[i].imag()) * rotator;
        rotator *= m_step;
        window += corrected.imag() * phase.real() - corrected.real() * phase.imag();
        if ((i + 1) % NOISE_WINDOW == 0) {
            quadrature += window * window / double(NOISE_WINDOW);
            window = 0.0;
            ++windows;
        }
    }
    m_fNoiseVariance = float(quadrature / double(std::max<size_t>(1, windows)));
    m_average = std::complex<float>(float(sum.real() / magnitudes), float(sum.imag() / magnitudes));
    m_phase = m_average / std::max(1e-20f, std::abs(m_average));
    return std::abs(sum) / magnitudes >= STEADY_COHERENCE;
}

void CarrierReference::ProjectLearned(const std::complex<float>* pSamples, size_t nCount,
                                      std::vector<std::complex<float>>& out) const
{
    out.resize(nCount);
    std::complex<double> rotator = m_rotator;
    for (size_t i = 0; i < nCount; ++i) {
        const std::complex<double> corrected =
            std::complex<double>(pSamples[i].real(), pSamples[i].imag()) * rotator;
        rotator *= m_step;
        out[i] = std::complex<float>(
            float(corrected.real() * m_phase.real() + corrected.imag() * m_phase.imag()), 0.0f);
    }
}

std::complex<float> CarrierReference::Derotate(std::complex<float> sample)
{
    // Products written out: std::complex's check for infinities costs more than the work.
    const double rr = m_rotator.real();
    const double ri = m_rotator.imag();
    const std::complex<double> corrected(sample.real() * rr - sample.imag() * ri,
                                         sample.real() * ri + sample.imag() * rr);
    m_rotator = std::complex<double>(rr * m_step.real() - ri * m_step.imag(),
                                     rr * m_step.imag() + ri * m_step.real());
    if (++m_nSinceNormalise >= 4096) {
        m_rotator /= std::abs(m_rotator);
        m_nSinceNormalise = 0;
    }
    return std::complex<float>(float(corrected.real()), float(corrected.imag()));
}

void CarrierReference::Update(std::complex<float> average)
{
    const float magnitude = std::sqrt(std::norm(average));
    if (magnitude <= 0.0f)
        return;
    m_average += m_fWeight * (average / magnitude - m_average);
    const float length = std::sqrt(std::norm(m_average));
    if (length > 0.0f)
        m_phase = m_average / length;
}

} // namespace cw
