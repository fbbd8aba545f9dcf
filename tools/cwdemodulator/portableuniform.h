#pragma once

#include <cstdint>
#include <random>

namespace cw {

/// Uniform in [0, 1) from two 32-bit draws of @p generator; defined here so every platform
/// gets the same values (the standard distributions differ between libraries).
inline double portableUniform(std::mt19937& generator)
{
    const std::uint64_t high = generator() >> 5; // 27 bits
    const std::uint64_t low = generator() >> 6;  // 26 bits
    return double((high << 26) | low) / 9007199254740992.0;
}

} // namespace cw
