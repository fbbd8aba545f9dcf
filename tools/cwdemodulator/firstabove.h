#pragma once

#include <QtGlobal>

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cw {

// The character search's walk over lengths for the likeliest start: the highest of a
// score read back in time plus a prior read forward, the shortest length of equals.

/// Of the sums pDown[-k] + pUp[k], k = 0 .. nCount - 1, the first that stands above dBest:
/// dBest becomes it and nAt its k (true), as a walk up k with a strict comparison finds.
/// Each sum is formed as that walk forms it, so the result is the same to the bit. The
/// highest sum of each block of lengths is found two at a time, and only the first block
/// that rises above the best is walked again for the first sum that equals it.
inline bool firstAbove(const double* pDown, const double* pUp, qint64 nCount, double& dBest,
                       qint64& nAt)
{
    double best = dBest;
    qint64 k = 0;
    qint64 at = -1;
#if defined(__SSE2__)
    constexpr qint64 BLOCK = 8;
    qint64 block = -1;
    for (; k + BLOCK <= nCount; k += BLOCK) {
        // A sum that is no number is passed over, as the walk's comparison passes over it.
        __m128d high = _mm_set1_pd(-HUGE_VAL);
        for (qint64 j = k; j < k + BLOCK; j += 2) {
            // Lanes k = j + 1 and k = j: the upward pair is swapped to meet the downward one.
            const __m128d down = _mm_loadu_pd(pDown - j - 1);
            const __m128d up = _mm_loadu_pd(pUp + j);
            high = _mm_max_pd(_mm_add_pd(down, _mm_shuffle_pd(up, up, 1)), high);
        }
        const double blockHigh = _mm_cvtsd_f64(_mm_max_sd(high, _mm_unpackhi_pd(high, high)));
        if (blockHigh > best) {
            best = blockHigh;
            block = k;
        }
    }
    if (block >= 0) {
        for (qint64 j = block;; ++j) {
            const double sum = pDown[-j] + pUp[j];
            if (sum == best) {
                best = sum; // the walk keeps this sum itself: a zero keeps its sign
                at = j;
                break;
            }
        }
    }
#endif
    for (; k < nCount; ++k) {
        const double candidate = pDown[-k] + pUp[k];
        if (candidate > best) {
            best = candidate;
            at = k;
        }
    }
    if (at < 0)
        return false;
    dBest = best;
    nAt = at;
    return true;
}

} // namespace cw
