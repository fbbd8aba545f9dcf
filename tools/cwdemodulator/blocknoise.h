#pragma once

namespace cw {

/// The in-phase noise variance per sample as CwSegmenter's block sums see it, measured on the
/// quadrature part of a coherently received tone: that part is noise alone whatever the keying.
/// The baseband noise is not white out to the band edges, so the variance is measured on the
/// same block sums as the evidence, and averaged over a few thousand samples.
class BlockNoise
{
public:
    /// Starts from @p fVariance; 0 or less: unknown, the first block sets it.
    void Reset(float fVariance);
    /// A quadrature sample of the block being gathered.
    void AddQuadrature(float fQuadrature);
    /// The block of @p nSamples samples is complete: its quadrature samples, if any, update the
    /// variance.
    void CloseBlock(int nSamples);
    float Variance() const { return m_fVariance; }

private:
    double m_dBlockQuadrature = 0.0;
    bool m_bBlockMeasured = false; ///< the block being gathered has quadrature samples
    float m_fVariance = 0.0f;
    bool m_bKnown = false;
};

} // namespace cw
