#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

/// Text comparison that the tests and benchmarks of every mode share.
namespace support {

/// Characters inserted, dropped or changed between @p a and @p b (Levenshtein distance), for
/// any text type with size() and operator[] (QString, std::string).
template <typename Text> std::size_t editDistance(const Text& a, const Text& b)
{
    const std::size_t nA = std::size_t(a.size());
    const std::size_t nB = std::size_t(b.size());
    std::vector<std::size_t> previous(nB + 1);
    std::vector<std::size_t> current(nB + 1);
    for (std::size_t j = 0; j <= nB; ++j)
        previous[j] = j;
    for (std::size_t i = 1; i <= nA; ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= nB; ++j) {
            const bool bSame = a[int(i - 1)] == b[int(j - 1)];
            current[j] =
                std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (bSame ? 0 : 1)});
        }
        std::swap(previous, current);
    }
    return previous[nB];
}

} // namespace support
