#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace dsp {
class FourierTransform;
} // namespace dsp

namespace cw {

class Channelizer;

/// One channel of the FFT filter bank: takes the bins around its centre from each frame of
/// the Channelizer, weighs them with a flat-topped taper (signals within PASS_HZ of the
/// centre pass whole, everything beyond STOP_HZ is gone) and turns them back into real audio
/// at the channelizer's output rate, with the centre moved to a quarter of that rate.
/// The audio is continuous across frames; Retune() moves the centre (a phase step).
class ChannelizerTap
{
public:
    static constexpr double PASS_HZ = 50.0;
    static constexpr double STOP_HZ = 100.0;

    ChannelizerTap(const Channelizer& channelizer, double dCentreHz);
    ~ChannelizerTap();
    ChannelizerTap(const ChannelizerTap&) = delete;
    ChannelizerTap& operator=(const ChannelizerTap&) = delete;

    /// Moves the centre to the bin nearest @p dCentreHz.
    void Retune(double dCentreHz);
    /// The frequency (Hz) the centre bin stands for.
    double CentreHz() const;
    /// Where the centre comes out in the audio (Hz): a quarter of the output rate.
    double ToneHz() const;

    /// Appends the audio of frame @p nFrame (Hop() / Decimation() samples) to @p audio.
    void Process(std::int64_t nFrame, std::vector<float>& audio);

private:
    const Channelizer& m_channelizer;
    size_t m_nSize; ///< inverse transform length
    int m_nCentreBin = 0;
    std::vector<float> m_taper; ///< weight of the bins centre - half .. centre + half
    int m_nHalf = 0;
    float m_fScale = 1.0f;
    std::unique_ptr<dsp::FourierTransform> m_pInverse;
};

} // namespace cw
