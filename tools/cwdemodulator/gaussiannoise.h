#pragma once

#include <random>

namespace cw {

/// White Gaussian noise of unit variance for the synthesizer, from its own generator so that
/// the keying's and the impairments' draws do not move it: the same seed gives the same noise
/// on every platform (Box-Muller on portableUniform(), two samples per pair of draws). Life:
/// create, Next() per sample.
class GaussianNoise
{
public:
    explicit GaussianNoise(std::uint_fast32_t uSeed) : m_random(uSeed) {}

    double Next();

private:
    std::mt19937 m_random;
    bool m_bHaveSpare = false;
    double m_dSpare = 0.0;
};

} // namespace cw
