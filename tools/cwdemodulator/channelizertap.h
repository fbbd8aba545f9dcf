#pragma once

#include <atomic>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace cw {

class Channelizer;

/// One channel of the FFT filter bank: takes the bins around its centre from each frame of
/// the Channelizer, weighs them with a flat-topped taper (signals within PASS_HZ of the
/// centre pass whole, everything beyond STOP_HZ is gone) and turns them back into real audio
/// at the channelizer's output rate, with the centre moved to a quarter of that rate.
/// The audio is continuous across frames; Retune() moves the centre (a phase step) from the
/// channelizer's latest frame on, so that the tap may lag behind the channelizer on another
/// thread and still move at the same frame as when it keeps up.
class ChannelizerTap
{
public:
    static constexpr double PASS_HZ = 50.0;
    static constexpr double STOP_HZ = 100.0;

    ChannelizerTap(const Channelizer& channelizer, double dCentreHz);
    ~ChannelizerTap();
    ChannelizerTap(const ChannelizerTap&) = delete;
    ChannelizerTap& operator=(const ChannelizerTap&) = delete;

    /// Moves the centre to the bin nearest @p dCentreHz from the channelizer's latest frame
    /// on (on the thread that drives the channelizer).
    void Retune(double dCentreHz);
    /// The frequency (Hz) the centre bin stands for, the last Retune() included.
    double CentreHz() const;
    /// Where the centre comes out in the audio (Hz): a quarter of the output rate.
    double ToneHz() const;

    /// Appends the audio of frame @p nFrame (Hop() / Decimation() samples) to @p audio.
    void Process(std::int64_t nFrame, std::vector<float>& audio);

private:
    int nearestBin(double dCentreHz) const;
    void applyRetunes(std::int64_t nFrame);
    /// Folds the Hermitian bins taken in two for the half-length inverse transform: the lower
    /// half plus the upper, and their difference turned by e^(2 pi j k / size).
    void fold(std::complex<float>* pFolded) const;

    const Channelizer& m_channelizer;
    size_t m_nSize;       ///< inverse transform length
    int m_nCentreBin = 0; ///< after the last Retune()
    int m_nActiveBin = 0; ///< the centre of the frames Process() reaches now
    /// Retunes not yet reached by Process(): the first frame and the centre bin of each.
    std::vector<std::pair<std::int64_t, int>> m_retunes;
    std::atomic<bool> m_bRetunesWaiting{false};
    std::mutex m_retunesLock;
    std::vector<float> m_taper; ///< weight of the bins centre - half .. centre + half
    int m_nHalf = 0;
    float m_fScale = 1.0f;
    std::vector<std::complex<float>> m_bins; ///< the bins taken, made Hermitian
    /// The folded bins that can be other than zero (and the bins taken, with those half the
    /// inverse transform's length above them).
    size_t m_nFoldFirst = 0;
    size_t m_nFoldLast = 0;
    std::vector<std::complex<float>> m_oddTurn; ///< j e^(2 pi j k / size), k < size / 2
};

} // namespace cw
