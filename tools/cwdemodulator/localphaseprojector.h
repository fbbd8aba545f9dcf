#pragma once

#include "tools/morsedsp/ringbuffer.h"

#include <complex>

namespace cw {

/// Non-coherent detection with most of the coherent gain: projects each baseband sample on
/// the phase of the signal around it, measured by a centred average about an element long.
/// Inside a mark the projection is the tone's amplitude, whatever the phase did in earlier
/// marks (a transmitter that restarts its tone at each element, a wandering or drifting
/// phase); in a gap it is noise projected on its own direction, a small positive bias.
/// The output runs Delay() samples behind the input. Life: create, Push() per sample.
class LocalPhaseProjector
{
public:
    /// @p nHalfWidth: samples on each side of the one projected.
    explicit LocalPhaseProjector(int nHalfWidth);

    /// Adds a sample; the one Delay() samples back is then the one projected.
    void Push(const std::complex<float>& sample);
    /// The projected sample's part in phase with its surroundings (real part) and in quadrature
    /// (imaginary part: noise alone). Computed when asked: a coherent decoder never asks.
    std::complex<float> Projected() const;
    /// Projected().imag() alone, returned without the complex pair (which a call puts
    /// together through memory).
    float ProjectedQuadrature() const;
    /// The projected sample itself.
    std::complex<float> Centre() const { return m_centre; }
    int Delay() const { return m_nHalfWidth; }

private:
    int m_nHalfWidth;
    /// The last 2 * half width + 1 samples, kept full (zeros before the first).
    dsp::RingBuffer<std::complex<float>> m_window;
    std::complex<double> m_sum;
    unsigned m_nSinceRecompute = 0;
    std::complex<float> m_centre;
};

} // namespace cw
