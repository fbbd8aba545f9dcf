#pragma once

#include <algorithm>
#include <complex>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cw {

class CwSegmenter;

/// Settles the element length of the samples held at acquisition by decoding them at a few
/// candidate lengths and keeping the likeliest. The timing estimate can come out a whole
/// multiple too fast (noise breaks long marks into short ones) or a third too slow (a clean
/// slow signal's dots read as dashes); decisions by CwSegmenter at each candidate tell.
///
/// Life: create once per demodulator; Likeliest() per acquisition, then CharacterGaps().
class ElementLengthTrials
{
public:
    /// The in-phase samples held, and their noise.
    struct Held
    {
        const std::vector<std::complex<float>>& inPhase; ///< in phase as the real parts
        float fNoiseVariance;
        /// The mark level around each sample where it moves; empty: the one level given.
        const std::vector<float>& levels = noLevels();

        /// The level of sample @p n, at most @p fAmplitude.
        float LevelAt(size_t n, float fAmplitude) const
        {
            return n < levels.size() ? std::min(levels[n], fAmplitude) : fAmplitude;
        }
        static const std::vector<float>& noLevels()
        {
            static const std::vector<float> none;
            return none;
        }
    };

    /// Lengths (samples) between @p dMinUnit and @p dMaxUnit are tried, decided with the
    /// alphabet's @p characterCodes; a reading is sure of itself from @p nSureMarks marks.
    /// @p bLean: a slower reading whose first trial falls far behind is not tried further.
    ElementLengthTrials(double dMinUnit, double dMaxUnit,
                        const std::vector<std::string>& characterCodes, int nSureMarks,
                        bool bLean = false);

    /// A slower reading against the one it was tried for (see ClearlyLikelierSlower()).
    struct Slower
    {
        double dUnit = 0.0; ///< its likeliest length; 0 when it is not clearly likelier
        double dGain = 0.0; ///< its log likelihood over the other reading's
    };

    /// The likeliest element length of @p held around the estimate @p dUnit, at mark level
    /// @p fAmplitude. Decisions at @p decisions' priors; the priors learned go back to it.
    double Likeliest(const Held& held, double dUnit, float fAmplitude, CwSegmenter& decisions);
    /// Whether a reading around @p dSlowUnit explains @p held clearly better than one around
    /// @p dUnit, by the margin Likeliest() asks of a slower reading.
    Slower ClearlyLikelierSlower(const Held& held, double dUnit, double dSlowUnit, float fAmplitude,
                                 CwSegmenter& decisions) const;
    /// Finds the gaps that ended characters among @p held again, read at @p dUnit.
    void FindCharacterGaps(const Held& held, double dUnit, float fAmplitude,
                           CwSegmenter& decisions);
    /// The gaps (samples) that ended characters among the held samples, at the estimate
    /// (or at the length FindCharacterGaps() was last given).
    const std::vector<std::int64_t>& CharacterGaps() const { return m_characterGaps; }
    /// The alphabet's character codes the trials decide with.
    const std::vector<std::string>& CharacterCodes() const { return m_characterCodes; }
    /// The share of element-long marks and gaps (shorter than two elements) among the
    /// segments the held samples were decided into there, the one the end cut short left out,
    /// and how many those were; at DecidedUnit().
    double ShortShare() const
    {
        return m_nSegments > 0 ? double(m_nShortSegments) / double(m_nSegments) : 0.0;
    }
    int DecidedSegments() const { return m_nSegments; }
    double DecidedUnit() const { return m_dDecidedUnit; }

private:
    bool lacksShortElements(const Held& held, double dUnit, float fAmplitude,
                            CwSegmenter& decisions);
    /// Whether a reading of @p held with @p dShortShare of its segments element-long is at
    /// its own length, not a multiple too fast, so that no slower one is tried.
    static bool readsAtItsOwnLength(const Held& held, double dShortShare);
    /// The likeliest length near @p dUnit, and its score; @p dMiddle is the score at @p dUnit
    /// itself when it was tried already.
    std::pair<double, double> likeliestNear(const Held& held, double dUnit, float fAmplitude,
                                            CwSegmenter& segmenter, double dMiddle) const;
    /// Log likelihood of the held in-phase samples read at element length @p dUnit.
    double score(const Held& held, double dUnit, float fAmplitude, CwSegmenter& segmenter) const;

    double m_dMinUnit;
    double m_dMaxUnit;
    std::vector<std::string> m_characterCodes;
    int m_nSureMarks;
    bool m_bLean;
    std::vector<std::int64_t> m_characterGaps;
    int m_nSegments = 0;      ///< decided from the first mark on, see ShortShare()
    int m_nShortSegments = 0; ///< of them, element-long
    double m_dDecidedUnit = 0.0;
};

} // namespace cw
