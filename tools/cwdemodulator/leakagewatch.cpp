#include "tools/cwdemodulator/leakagewatch.h"

#include "tools/cwdemodulator/neighbourleakage.h"

#include <algorithm>
#include <limits>

namespace cw {

namespace {

constexpr double LEAKAGE_INTERVAL_SEC = 0.5; ///< the check runs this often
constexpr float LEAKAGE_STRONGER = 10.0f;    ///< power over our marks for a neighbour to matter
/// Power outside the channel over the noise's (per part and sample) that only a strong
/// neighbour reaches.
constexpr float NEIGHBOUR_OVER_NOISE = 300.0f;

} // namespace

LeakageWatch::LeakageWatch(double dSampleRate) : m_dSampleRate(dSampleRate)
{
    // The room for the samples is taken when tracking starts, at the channel filter's delay:
    // taken here too, it would be taken twice.
    restart(0);
}

void LeakageWatch::Reset(int nFilterDelay)
{
    restart(nFilterDelay);
    // Room for the seconds checked and those dropped until the runs are compacted, taken
    // once rather than grown sample by sample.
    const size_t most = 2 * (size_t(WINDOW_SEC * m_dSampleRate) + m_nFilterDelay +
                             size_t(LEAKAGE_INTERVAL_SEC * m_dSampleRate));
    m_recentInput.Reserve(most);
    m_recentChannel.Reserve(most);
}

void LeakageWatch::restart(int nFilterDelay)
{
    m_nFilterDelay = size_t(nFilterDelay);
    m_recentInput.Clear();
    m_recentChannel.Clear();
    m_fOutsidePeak = 0.0f;
    m_nStrongNeighbourAt = std::numeric_limits<std::int64_t>::min() / 2;
    m_bNeighbourKeys = false;
    m_nLeakageFrom = std::numeric_limits<std::int64_t>::max();
}

bool LeakageWatch::Push(const std::complex<float>& input, const std::complex<float>& channel,
                        const Now& now)
{
    m_recentInput.Push(input);
    m_recentChannel.Push(channel);
    listenOutside(channel, now);
    return checkDue() && hearsOnlyLeakage(now);
}

bool LeakageWatch::NeighbourKeys(float fMarkLevel) const
{
    return m_bNeighbourKeys || m_fOutsidePeak >= LEAKAGE_STRONGER * fMarkLevel * fMarkLevel;
}

void LeakageWatch::listenOutside(std::complex<float> channel, const Now& now)
{
    // The input before the filter's delay lines up with the filter's output: what differs is
    // what the filter stopped.
    if (m_recentInput.size() <= m_nFilterDelay)
        return;
    const float outside =
        std::norm(m_recentInput[m_recentInput.size() - 1 - m_nFilterDelay] - channel);
    m_fOutsidePeak = std::max(m_fOutsidePeak, outside);
    const float level = now.fMarkLevel;
    if (outside >= NEIGHBOUR_OVER_NOISE * now.fNoiseVariance &&
        outside >= LEAKAGE_STRONGER * level * level)
        m_nStrongNeighbourAt = now.nPosition;
}

bool LeakageWatch::checkDue() const
{
    const size_t window = size_t(WINDOW_SEC * m_dSampleRate);
    const size_t interval = size_t(LEAKAGE_INTERVAL_SEC * m_dSampleRate);
    return m_recentChannel.size() >= window + m_nFilterDelay + interval;
}

bool LeakageWatch::hearsOnlyLeakage(const Now& now)
{
    // The oldest half second goes; the last seconds are checked when something stronger than
    // our marks keyed outside the channel since the last check.
    const size_t window = size_t(WINDOW_SEC * m_dSampleRate);
    const size_t interval = size_t(LEAKAGE_INTERVAL_SEC * m_dSampleRate);
    m_recentInput.DropOldest(interval);
    m_recentChannel.DropOldest(interval);
    const float level = now.fMarkLevel;
    const bool strongNeighbour = m_fOutsidePeak >= LEAKAGE_STRONGER * level * level;
    m_fOutsidePeak = 0.0f;
    m_bNeighbourKeys = strongNeighbour;
    if (!strongNeighbour)
        return false;
    const int delay = int(m_nFilterDelay);
    const NeighbourLeakage::Held held{m_recentInput.data(), m_recentChannel.data() + delay, window,
                                      m_dSampleRate, delay};
    if (!NeighbourLeakage::Explains(held, now.nEnvelopeLength, 0.5f * level, level))
        return false;
    m_nLeakageFrom = now.nPosition - std::int64_t(window);
    return true;
}

} // namespace cw
