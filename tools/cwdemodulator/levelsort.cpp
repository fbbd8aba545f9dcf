#include "tools/cwdemodulator/levelsort.h"

#include <array>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cw {

namespace {

/// A float's bits as an unsigned key that orders as the float does.
std::uint32_t orderedKey(float fValue)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &fValue, sizeof bits);
    // Negative: all bits turned; else the sign bit set (written without a branch, so that a
    // loop of them runs in vector lanes).
    const std::uint32_t negative = std::uint32_t(std::int32_t(bits) >> 31);
    return bits ^ (negative | 0x80000000u);
}

float fromOrderedKey(std::uint32_t nKey)
{
    const std::uint32_t bits = (nKey & 0x80000000u) != 0 ? nKey & 0x7fffffffu : ~nKey;
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

/// Each of the @p nCount counts becomes the sum of those before it: where its keys start.
/// @p nCount is a multiple of 4.
void startsFromCounts(std::uint32_t* pCounts, size_t nCount)
{
#if defined(__SSE2__)
    // Four counts at a time: their sums within the four, shifted one lane on, plus the
    // total of all before them in every lane. Whole numbers: the same sums in any order.
    __m128i before = _mm_setzero_si128();
    for (size_t i = 0; i < nCount; i += 4) {
        __m128i sums = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pCounts + i));
        sums = _mm_add_epi32(sums, _mm_slli_si128(sums, 4));
        sums = _mm_add_epi32(sums, _mm_slli_si128(sums, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pCounts + i),
                         _mm_add_epi32(_mm_slli_si128(sums, 4), before));
        before = _mm_add_epi32(before, _mm_shuffle_epi32(sums, 0xff));
    }
#else
    std::uint32_t start = 0;
    for (size_t i = 0; i < nCount; ++i)
        start += std::exchange(pCounts[i], start);
#endif
}

} // namespace

// The three digits are counted in one reading of the keys, and a digit that all keys share
// is not moved on. Each digit has only as many counts as it has values, which are cleared
// and summed at every sort (byte-wide digits clear and sum fewer counts but take a fourth
// pass over the keys, which costs more time than it saves instructions).
void sortLevels(std::vector<float>& values, std::vector<std::uint32_t>& keys,
                std::vector<std::uint32_t>& scratch)
{
    constexpr int BITS = 11;
    constexpr int PASSES = 3;
    constexpr std::uint32_t MASK = (1u << BITS) - 1u;
    constexpr std::uint32_t TOP = 1u << (32 - 2 * BITS); ///< values of the last digit
    constexpr std::array<std::uint32_t, PASSES> FIRST{0, MASK + 1, 2 * (MASK + 1)};
    constexpr std::array<std::uint32_t, PASSES> SIZE{MASK + 1, MASK + 1, TOP};
    const size_t n = values.size();
    keys.resize(n);
    scratch.resize(n);
    std::array<std::uint32_t, 2 * (MASK + 1) + TOP> counts{};
    for (size_t i = 0; i < n; ++i)
        keys[i] = orderedKey(values[i]);
    for (const std::uint32_t key : keys) {
        ++counts[FIRST[0] + (key & MASK)];
        ++counts[FIRST[1] + ((key >> BITS) & MASK)];
        ++counts[FIRST[2] + (key >> (2 * BITS))];
    }
    for (int pass = 0; pass < PASSES; ++pass) {
        const int shift = pass * BITS;
        std::uint32_t* starts = &counts[FIRST[size_t(pass)]];
        if (n > 0 && starts[(keys[0] >> shift) & MASK] == n)
            continue; // every key has this digit: the order stands
        startsFromCounts(starts, SIZE[size_t(pass)]);
        // Two keys a turn, in their order: the sort stays stable.
        const std::uint32_t* key = keys.data();
        std::uint32_t* sorted = scratch.data();
        size_t i = 0;
        for (; i + 2 <= n; i += 2) {
            const std::uint32_t first = key[i];
            const std::uint32_t second = key[i + 1];
            sorted[starts[(first >> shift) & MASK]++] = first;
            sorted[starts[(second >> shift) & MASK]++] = second;
        }
        if (i < n)
            sorted[starts[(key[i] >> shift) & MASK]++] = key[i];
        keys.swap(scratch);
    }
    for (size_t i = 0; i < n; ++i)
        values[i] = fromOrderedKey(keys[i]);
}

} // namespace cw
