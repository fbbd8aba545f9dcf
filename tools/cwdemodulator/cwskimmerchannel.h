#pragma once

#include "tools/cwdemodulator/cwsymbol.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace cw {

class Channelizer;
class ChannelizerTap;
class CwDemodulator;

/// One signal of the skimmer: a tap of the filter bank centred on the signal and a CW
/// demodulator of its own, tuned to where the tap puts the signal, so that each signal has
/// its own speed, level and timing tracking at a low sample rate. Symbols come out with the
/// position of the skimmer's input sample they belong to.
/// Two threads share it (see SkimmerLane): Heard(), PitchHz() and SnrDb() are the skimmer's
/// thread's, the rest the lane's; the only state they share is the tap's centre.
class CwSkimmerChannel
{
public:
    CwSkimmerChannel(int nId, const Channelizer& channelizer, double dPitchHz,
                     std::int64_t nFirstFrame, const std::vector<std::string>& characterCodes);
    ~CwSkimmerChannel();
    CwSkimmerChannel(const CwSkimmerChannel&) = delete;
    CwSkimmerChannel& operator=(const CwSkimmerChannel&) = delete;

    int Id() const { return m_nId; }
    double PitchHz() const { return m_dPitchHz; }
    double Wpm() const;
    double SnrDb() const { return m_dSnrDb; }

    /// The signal was seen at @p dPitchHz in frame @p nFrame: follow its drift.
    void Heard(std::int64_t nFrame, double dPitchHz, double dSnrDb);
    std::int64_t LastHeardFrame() const { return m_nLastHeard; }
    /// The signal's line was in frame @p nFrame itself (not only in the last seconds).
    void Loud(std::int64_t nFrame) { m_nLastLoud = nFrame; }

    /// Demodulates frame @p nFrame of the channelizer (frames come in order).
    void Process(std::int64_t nFrame);
    /// The last frame worth demodulating when the channelizer has reached @p nLatest: frames
    /// after the signal went quiet wait, since only noise follows if the channel ends, but
    /// never so long that the channelizer no longer keeps them when the signal comes back.
    std::int64_t DueFrame(std::int64_t nLatest) const;
    /// The signal ended: decide what is left.
    void Finish();
    /// The oldest symbol not yet taken, its position in the skimmer's input samples. Dots
    /// and dashes the demodulator finds in the noise after the signal went quiet (and the
    /// character and word ends that would close only those) are left out.
    bool TakeSymbol(CwSymbol& symbol);
    /// Frames processed so far; the next is NextFrame().
    std::int64_t NextFrame() const { return m_nNextFrame; }

private:
    /// The skimmer's input sample of the channel's audio sample @p nChannelSample.
    std::int64_t inputPosition(std::int64_t nChannelSample) const;
    std::int64_t quietFrom() const;
    bool keeps(const CwSymbol& symbol);

    int m_nId;
    const Channelizer& m_channelizer;
    double m_dPitchHz;
    double m_dSnrDb = 0.0;
    std::int64_t m_nFirstFrame;
    std::int64_t m_nNextFrame;
    std::int64_t m_nLastHeard;
    std::int64_t m_nLastLoud;
    bool m_bElementsPending = false;   ///< dots or dashes since the last character end
    bool m_bCharactersPending = false; ///< characters since the last word or line end
    std::unique_ptr<ChannelizerTap> m_pTap;
    std::unique_ptr<CwDemodulator> m_pDemodulator;
    std::vector<float> m_audio;
};

} // namespace cw
