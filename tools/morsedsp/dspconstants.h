#pragma once

/// Mathematical constants shared by the signal-processing code of the CW and FSK libraries, the
/// synthesizers and morsetool, so that each is written once. Header only: any target may include
/// it without linking morsedsp.
namespace dsp {

constexpr double PI = 3.14159265358979323846;
constexpr double TWO_PI = 2.0 * PI;
/// The natural logarithm of 2, also the median over the mean of an exponential distribution.
constexpr double LN2 = 0.69314718055994530942;

} // namespace dsp
