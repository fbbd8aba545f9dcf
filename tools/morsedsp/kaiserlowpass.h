#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace dsp {

/// The Kaiser window of @p nLength taps for a stop band 60 dB down, the one every low-pass of
/// the demodulators takes. Its Bessel functions over every tap are most of a design's cost and
/// depend on the length only, so each window is made once and shared. Safe from several
/// threads.
std::shared_ptr<const std::vector<float>> kaiserWindow(size_t nLength);

/// Taps a low-pass of kaiserWindow() needs for a transition band of @p dTransition (cycles
/// per sample) by Kaiser's estimate, made odd for a whole delay.
size_t kaiserLength(double dTransition);

/// The low-pass of @p nLength taps cutting at @p fCutoff (cycles per sample): the sinc on
/// kaiserWindow(), its gain at 0 Hz left as it comes.
std::vector<float> kaiserLowPass(size_t nLength, float fCutoff);

} // namespace dsp
