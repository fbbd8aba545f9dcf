#include "tools/cwdemodulator/channelizertap.h"

#include "tools/cwdemodulator/channelizer.h"
#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/fouriertransform.h"

#include <algorithm>
#include <cmath>

namespace cw {

ChannelizerTap::ChannelizerTap(const Channelizer& channelizer, double dCentreHz)
    : m_channelizer(channelizer), m_nSize(channelizer.Size() / size_t(channelizer.Decimation()))
{
    const double binHz = channelizer.BinHz();
    m_nHalf = int(std::ceil(STOP_HZ / binHz));
    m_taper.resize(size_t(2 * m_nHalf + 1));
    for (int j = -m_nHalf; j <= m_nHalf; ++j) {
        const double offset = std::abs(j) * binHz;
        double weight = 1.0;
        if (offset >= STOP_HZ)
            weight = 0.0;
        else if (offset > PASS_HZ)
            weight = 0.5 + 0.5 * std::cos(dsp::PI * (offset - PASS_HZ) / (STOP_HZ - PASS_HZ));
        m_taper[size_t(j + m_nHalf)] = float(weight);
    }
    // A real tone of amplitude A fills its bin with A N / 2; the real part of the inverse
    // transform gives it back as A N / 2 before this scale.
    m_fScale = 2.0f / float(channelizer.Size());
    m_bins.resize(m_nSize);
    m_oddTurn.resize(m_nSize / 2);
    for (size_t k = 0; k < m_nSize / 2; ++k)
        m_oddTurn[k] = std::complex<float>(
            std::polar(1.0, dsp::TWO_PI * double(k) / double(m_nSize) + dsp::PI / 2.0));
    // Only the bins within m_nHalf of the quarter and their mirror images are taken, and the
    // mirror images fold onto the same places.
    const size_t quarter = m_nSize / 4;
    const size_t reach = size_t(m_nHalf);
    m_nFoldFirst = reach < quarter ? quarter - reach : 0;
    m_nFoldLast = reach < quarter ? quarter + reach : m_nSize / 2 - 1;
    m_nCentreBin = m_nActiveBin = nearestBin(dCentreHz);
}

ChannelizerTap::~ChannelizerTap() = default;

int ChannelizerTap::nearestBin(double dCentreHz) const
{
    const int lastBin = int(m_channelizer.Bins()) - 1 - m_nHalf;
    return std::clamp(int(std::lround(dCentreHz / m_channelizer.BinHz())), m_nHalf,
                      std::max(m_nHalf, lastBin));
}

void ChannelizerTap::Retune(double dCentreHz)
{
    m_nCentreBin = nearestBin(dCentreHz);
    const std::lock_guard<std::mutex> guard(m_retunesLock);
    m_retunes.emplace_back(m_channelizer.FrameCount() - 1, m_nCentreBin);
    m_bRetunesWaiting.store(true, std::memory_order_release);
}

void ChannelizerTap::applyRetunes(std::int64_t nFrame)
{
    // Retunes are rare: the lock is taken only when one waits.
    if (!m_bRetunesWaiting.load(std::memory_order_acquire))
        return;
    const std::lock_guard<std::mutex> guard(m_retunesLock);
    size_t reached = 0;
    while (reached < m_retunes.size() && m_retunes[reached].first <= nFrame)
        m_nActiveBin = m_retunes[reached++].second;
    m_retunes.erase(m_retunes.begin(), m_retunes.begin() + std::ptrdiff_t(reached));
    m_bRetunesWaiting.store(!m_retunes.empty(), std::memory_order_release);
}

double ChannelizerTap::CentreHz() const
{
    return m_nCentreBin * m_channelizer.BinHz();
}

double ChannelizerTap::ToneHz() const
{
    return m_channelizer.OutputRate() / 4.0;
}

void ChannelizerTap::Process(std::int64_t nFrame, std::vector<float>& audio)
{
    applyRetunes(nFrame);
    const std::complex<float>* frame = m_channelizer.Frame(nFrame);
    const size_t quarter = m_nSize / 4;
    if (frame == nullptr) {
        audio.insert(audio.end(), m_nSize / 2, 0.0f);
        return;
    }
    // The audio is the real part of the inverse transform of the bins taken, which is the
    // inverse transform of their Hermitian part: a real signal, whose even samples are the
    // real and odd ones the imaginary parts of a transform of half the length, of the
    // Hermitian bins folded in two (the upper half's difference turned by e^(2 pi j k / N)).
    std::complex<float>* bins = m_bins.data();
    const size_t half = m_nSize / 2;
    std::fill(bins + m_nFoldFirst, bins + m_nFoldLast + 1, std::complex<float>());
    std::fill(bins + half + m_nFoldFirst, bins + half + m_nFoldLast + 1, std::complex<float>());
    for (int j = -m_nHalf; j <= m_nHalf; ++j) {
        const std::complex<float> bin =
            frame[m_nActiveBin + j] * (0.5f * m_taper[size_t(j + m_nHalf)]);
        const size_t k = size_t(std::ptrdiff_t(quarter) + j);
        bins[k] += bin;
        bins[(m_nSize - k) % m_nSize] += std::conj(bin);
    }
    // The inverse transform is the thread's, shared by the taps it runs: a plan per tap cost
    // more than a lookup per frame, and fold() writes all of its input.
    dsp::FourierTransform& inverse = dsp::FourierTransform::Shared(m_nSize / 2, true);
    fold(inverse.Input());
    inverse.Execute();
    const std::complex<float>* out = inverse.Output();
    // Moving the centre bin to the quarter bin is a mix; frames start half a frame apart, so
    // the mix's phase at each frame's start alternates in sign with the bins moved.
    const std::int64_t shift = m_nActiveBin - std::int64_t(quarter);
    const float sign = ((shift * nFrame) % 2 == 0) ? m_fScale : -m_fScale;
    // Overlap-save: only the middle half of each frame is free of the circular wrap. Its
    // samples are the real and imaginary parts of the outputs in turn (quarter is even).
    const size_t start = audio.size();
    audio.resize(start + half);
    float* written = audio.data() + start;
    const float* pairs = reinterpret_cast<const float*>(out + quarter / 2);
    for (size_t i = 0; i < half; ++i)
        written[i] = sign * pairs[i];
}

void ChannelizerTap::fold(std::complex<float>* pFolded) const
{
    // Elsewhere than between m_nFoldFirst and m_nFoldLast the folded bins are zero. The
    // products are written out (as std::complex computes them for finite values).
    const size_t half = m_nSize / 2;
    std::fill(pFolded, pFolded + half, std::complex<float>());
    const float* bins = reinterpret_cast<const float*>(m_bins.data());
    const float* turns = reinterpret_cast<const float*>(m_oddTurn.data());
    float* folded = reinterpret_cast<float*>(pFolded);
    for (size_t k = m_nFoldFirst; k <= m_nFoldLast; ++k) {
        const float lowR = bins[2 * k];
        const float lowI = bins[2 * k + 1];
        const float highR = bins[2 * (k + half)];
        const float highI = bins[2 * (k + half) + 1];
        const float diffR = lowR - highR;
        const float diffI = lowI - highI;
        const float turnR = turns[2 * k];
        const float turnI = turns[2 * k + 1];
        folded[2 * k] = (lowR + highR) + (turnR * diffR - turnI * diffI);
        folded[2 * k + 1] = (lowI + highI) + (turnR * diffI + turnI * diffR);
    }
}

} // namespace cw
