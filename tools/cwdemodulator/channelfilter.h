#pragma once

#include <complex>

namespace cw {

/// Keeps the band around the tone in the baseband and rejects neighbouring signals: a
/// linear-phase low-pass FIR filter (liquid-dsp, Kaiser window) that passes the keying
/// sidebands of speeds up to 60 WPM and stops what lies 90 Hz or more away. The output runs
/// Delay() samples behind the input. Life: create, Push() per sample.
class ChannelFilter
{
public:
    explicit ChannelFilter(double dSampleRate);
    ~ChannelFilter();
    ChannelFilter(const ChannelFilter&) = delete;
    ChannelFilter& operator=(const ChannelFilter&) = delete;

    /// Filters the next sample.
    std::complex<float> Push(std::complex<float> sample);
    int Delay() const { return m_nDelay; }

private:
    void* m_pFilter = nullptr;
    int m_nDelay = 0;
};

} // namespace cw
