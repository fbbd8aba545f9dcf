#pragma once

#include <QtGlobal>

#include <vector>

namespace cw {

/// The log priors of mark and gap lengths in blocks that CwSegmenter weighs its readings with:
/// dots, dashes, gaps inside a character and gaps that end one (or a word), at the element
/// length in blocks they were last computed for. Scoring normalises them into distributions
/// so that scores compare between element lengths.
class SegmentLengthPriors
{
public:
    /// A length prior in blocks, with the range outside which it is not worth trying.
    struct LengthPrior
    {
        std::vector<double> log; ///< indexed by blocks, of float precision
        int nShortest = 1;
        int nLongest = 0;
    };

    /// Marks up to @p nLongestMark blocks and gaps up to @p nLongestGap; lengths whose log
    /// prior is under @p dLeastLikelyLength are not tried, those of gaps that end a character
    /// under @p dLeastLikelyCharacterGap.
    SegmentLengthPriors(int nLongestMark, int nLongestGap, double dLeastLikelyLength,
                        double dLeastLikelyCharacterGap);

    /// Computes the priors for @p dBlocksPerUnit blocks an element.
    void Set(double dBlocksPerUnit);
    /// Normalised priors (for scoring) or not; recomputed when that changes (once Set()).
    void SetNormalised(bool bNormalised);
    /// Whether the mark level the evidence is weighed against follows a level that moves
    /// (fading); recomputed when that changes (once Set()). While it holds still, the priors
    /// decoding reads weigh each mark a little likelier (see Set()).
    void SetLevelFollowed(bool bLevelFollowed);

    bool IsNormalised() const { return m_bNormalised; }
    double BlocksPerUnit() const { return m_dBlocksPerUnit; }
    const LengthPrior& Dot() const { return m_dot; }
    const LengthPrior& Dash() const { return m_dash; }
    const LengthPrior& ElementGap() const { return m_elementGap; }
    /// Up to the longest modelled silence, which is priced by LongPrior() instead.
    const LengthPrior& CharacterGap() const { return m_characterGap; }
    /// A stretch of silence of the longest modelled length.
    float LongPrior() const { return m_fLongPrior; }
    /// Element-long pieces a mark of @p nBlocks is weighed in on its own phase.
    qint64 MarkPieces(qint64 nBlocks) const { return m_markPieces[size_t(nBlocks)]; }

private:
    /// Set() again for the element length of the last Set(), if there was one.
    void recompute();

    int m_nLongestMark;
    int m_nLongestGap;
    double m_dLeastLikelyLength;
    double m_dLeastLikelyCharacterGap;
    bool m_bNormalised = false;
    bool m_bLevelFollowed = false;
    double m_dBlocksPerUnit = 0.0;
    LengthPrior m_dot;
    LengthPrior m_dash;
    LengthPrior m_elementGap;
    LengthPrior m_characterGap;
    float m_fLongPrior = 0.0f;
    std::vector<qint64> m_markPieces;
    /// The log of each length in units while Set() computes the priors.
    std::vector<double> m_logUnits;
};

} // namespace cw
