#pragma once

#include <atomic>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace dsp {
class FourierTransform;
} // namespace dsp

namespace cw {

/// The shared half of an FFT filter bank (overlap-save fast convolution): the input is cut
/// into frames of Size() samples that overlap by half, each transformed once. Every channel
/// (a ChannelizerTap) then reads only the few bins around its signal from these spectra, so
/// the cost is one transform per frame for the whole band plus a small one per channel.
/// The last seconds of spectra are kept, so that a channel opened late can start earlier.
/// The skimmer drives it: Push() until FrameReady(), read the frame, go on. Channels on
/// other threads may read kept frames while the next one is made: a few spare frames beyond
/// the history are kept for channels that lag behind the latest frame.
class Channelizer
{
public:
    /// Keeps @p dHistorySec of spectra for channels opened late, and enough more for channels
    /// that lag up to @p dLagSec behind the latest frame.
    Channelizer(double dSampleRate, double dHistorySec, double dLagSec = 0.0);
    ~Channelizer();
    Channelizer(const Channelizer&) = delete;
    Channelizer& operator=(const Channelizer&) = delete;

    /// Takes samples up to the end of the next frame at most; returns how many it took.
    size_t Push(const float* pSamples, size_t nCount);
    /// The last Push() completed a frame.
    bool FrameReady() const { return m_bFrameReady; }

    /// Frames made so far; the latest is FrameCount() - 1.
    std::int64_t FrameCount() const { return m_nFrames; }
    /// The oldest frame of the history, where a channel opened now may start.
    std::int64_t OldestFrame() const;
    /// Frames of the history: a reader at any frame may still read this many back from it.
    size_t HistoryFrames() const { return m_nHistoryFrames; }
    /// Bins 0 .. Size()/2 of frame @p nFrame (unwindowed); null when it is no longer kept.
    /// Safe on any thread for a frame made before the reader was handed it.
    const std::complex<float>* Frame(std::int64_t nFrame) const;
    /// Hann-windowed power of the latest frame, bins 0 .. Size()/2.
    const std::vector<float>& Power() const { return m_power; }

    double SampleRate() const { return m_dSampleRate; }
    size_t Size() const { return m_nSize; }
    size_t Hop() const { return m_nSize / 2; }
    size_t Bins() const { return m_nSize / 2 + 1; }
    double BinHz() const { return m_dSampleRate / double(m_nSize); }
    double FrameSec() const { return double(Hop()) / m_dSampleRate; }
    /// Channels come out at the input rate divided by this (a power of two).
    int Decimation() const { return m_nDecimation; }
    double OutputRate() const { return m_dSampleRate / m_nDecimation; }
    /// The input sample that a channel's first output sample of frame @p nFrame stands for.
    std::int64_t FrameOrigin(std::int64_t nFrame) const
    {
        return nFrame * std::int64_t(Hop()) - std::int64_t(Hop() / 2);
    }

private:
    void transform();
    /// Pulls the spectrum of the real frame, bins 0 .. Size()/2, out of @p pPacked (the
    /// transform of its samples taken in pairs as complex ones) into @p pBins.
    void unpack(const std::complex<float>* pPacked, std::complex<float>* pBins) const;
    /// The Hann-windowed power of @p pBins into m_power.
    void hannPower(const std::complex<float>* pBins);

    double m_dSampleRate;
    size_t m_nSize;
    int m_nDecimation;
    std::vector<float> m_window; ///< the last Size() input samples, oldest first
    size_t m_nFill = 0;          ///< new samples since the last frame
    bool m_bFrameReady = false;
    std::atomic<std::int64_t> m_nFrames{0};
    std::vector<std::complex<float>> m_history; ///< ring of kept frames, Bins() each
    size_t m_nHistoryFrames;
    size_t m_nSlots; ///< frames in the ring: the history and the spare frames
    std::vector<float> m_power;
    std::unique_ptr<dsp::FourierTransform> m_pTransform; ///< half of Size(): see transform()
    std::vector<std::complex<float>> m_twiddles;         ///< e^(-2 pi j k / Size()), k <= Size()/2
};

} // namespace cw
