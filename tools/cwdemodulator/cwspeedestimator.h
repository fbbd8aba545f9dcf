#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace cw {

/// Finds the element length and the mark and space levels of a transmission from a few
/// seconds of baseband before any symbol is decided, so that decoding is right from the
/// first character. Tries element lengths across the speed range, runs the timing rules on
/// each without adaptation and keeps the length whose marks and gaps fit Morse timing best.
class CwSpeedEstimator
{
public:
    struct Result
    {
        bool bFound = false;
        double dUnit = 0.0; ///< element length, samples
        float fMarkLevel = 0.0f;
        float fSpaceLevel = 0.0f;
        int nMarks = 0;
        double dCost = 0.0;   ///< misfit used to rank trials (favours longer records)
        double dMisfit = 0.0; ///< mean squared log misfit of the timing
    };

    CwSpeedEstimator(double dMinUnit, double dMaxUnit);
    ~CwSpeedEstimator();
    CwSpeedEstimator(CwSpeedEstimator&&) noexcept;

    /// Estimates from @p nCount baseband samples. @p nMinMarks marks must be seen.
    /// @p bInPhase: the samples' real parts are the tone's in-phase part (coherent
    /// reception), whose average is the envelope, instead of the average's magnitude.
    Result Estimate(const std::complex<float>* pSamples, size_t nCount, int nMinMarks,
                    bool bInPhase = false);

    /// Misfit above which a window is taken to hold no Morse.
    static constexpr double MAX_COST = 0.12;
    /// Limits the magnitude of every sample to @p fLevel before it is averaged, so that short
    /// bursts far over the marks (a stronger neighbour's keying clicks) weigh no more than
    /// marks; 0 for no limit. Holds for the following estimates.
    void LimitLevel(float fLevel) { m_fLimit = fLevel; }
    /// Tries only the element lengths within two steps of @p dUnit, for an estimate that
    /// refines an earlier one (a few trials instead of the whole range); 0 for the whole range.
    /// Holds for the following estimates.
    void SearchNear(double dUnit) { m_dNear = dUnit; }
    /// Tries every third length of the range first instead of every other, then the
    /// neighbours of the two best: a quarter fewer trials.
    void SearchCoarsely(bool bCoarse) { m_bCoarse = bCoarse; }

private:
    /// The envelope's averaging length, in samples, for a trial of @p dUnit.
    static int averagingLength(double dUnit);
    /// The envelope of @p pSamples (already limited) averaged over @p nLength into m_envelope,
    /// and its levels.
    void envelopeAndLevels(const std::complex<float>* pSamples, size_t nCount, int nLength,
                           bool bInPhase);
    Result tryUnit(const std::complex<float>* pSamples, size_t nCount, double dUnit, bool bInPhase);

    /// The space and mark levels of an envelope, and the averaging length it was made with
    /// (0: none made).
    struct Levels
    {
        int nLength = 0;
        float fSpace = 0.0f;
        float fMark = 0.0f;
    };

    double m_dMinUnit;
    double m_dMaxUnit;
    float m_fLimit = 0.0f;            ///< see LimitLevel()
    double m_dNear = 0.0;             ///< see SearchNear()
    bool m_bCoarse = false;           ///< see SearchCoarsely()
    std::vector<double> m_candidates; ///< element lengths tried, and the cost of each
    std::vector<double> m_costs;
    std::vector<std::complex<float>> m_limited; ///< the samples under m_fLimit, if it is set
    std::vector<float> m_envelope; ///< of the samples of the latest estimate, m_levels' length
    Levels m_levels;
    /// The envelope of the estimate's best trial so far, kept for its refinement.
    std::vector<float> m_bestEnvelope;
    Levels m_bestLevels;
    std::vector<float> m_sorted;
    std::vector<std::uint32_t> m_keys; ///< radix sort keys of m_sorted and their scratch
    std::vector<std::uint32_t> m_keyScratch;
    std::vector<double> m_sums; ///< the levels' sums below each step of their split
    struct Trial;
    std::unique_ptr<Trial> m_pTrial; ///< made at the first trial
};

} // namespace cw
