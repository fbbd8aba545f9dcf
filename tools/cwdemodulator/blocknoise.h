#pragma once

namespace cw {

/// The in-phase noise variance per sample as CwSegmenter's block sums see it, measured on the
/// quadrature part of a coherently received tone: that part is noise alone whatever the keying,
/// as long as the tone's phase is followed closely. The baseband noise is not white out to the
/// band edges, so the variance is measured on the same block sums as the evidence, and averaged
/// over a few thousand samples.
///
/// Far over the noise, a tone whose phase is off by some degrees from element to element (one
/// that restarts its phase at each element, taken for steady) leaves more of itself in the
/// quadrature of its marks than there is noise. So the variance is also measured on the blocks
/// that hold no mark alone; noise's quadrature does not depend on its in-phase part, so leaving
/// out the marks' blocks does not bias that measure. Where the marks' quadrature holds more
/// than twice what the gaps' does, that share of it is taken out of the measure given. A burst
/// (more in quadrature than in phase: what a crash leaves) is no tone's, and stays in.
class BlockNoise
{
public:
    /// What a block held, as its in-phase and quadrature sums tell.
    enum class Content
    {
        Gap,   ///< no mark, or nothing to tell by
        Mark,  ///< a mark, whose quadrature may hold some of the tone
        Burst, ///< a mark with more in quadrature than a tone leaves there
    };

    /// Starts from @p fVariance; 0 or less: unknown, the first block sets it.
    void Reset(float fVariance);
    /// A quadrature sample of the block being gathered.
    void AddQuadrature(float fQuadrature);
    /// The block of @p nSamples samples, holding @p content, is complete: its quadrature
    /// samples, if any, update the variance.
    void CloseBlock(int nSamples, Content content);
    /// The variance per sample.
    float Variance() const;

private:
    double m_dBlockQuadrature = 0.0;
    bool m_bBlockMeasured = false; ///< the block being gathered has quadrature samples
    float m_fVariance = 0.0f;      ///< over every block
    float m_fGapVariance = 0.0f;   ///< over the gaps
    float m_fToneVariance = 0.0f;  ///< over the gaps and marks, no bursts
    bool m_bKnown = false;
};

} // namespace cw
