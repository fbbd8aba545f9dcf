#pragma once

#include "tools/cwdemodulator/damagedsamplefilter.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace cw {

class AgcRecovery;
class BasebandConverter;
class ImpulseBlanker;
class PitchSearch;

/// The demodulator's front end: audio in, the tone at baseband out. Takes damaged samples as
/// silence, finds the tone (PitchSearch) unless it is given, and from then on blanks impulses
/// (ImpulseBlanker) and brings the tone to 0 Hz at about 1000 (or a given rate of) samples
/// per second (BasebandConverter). The audio kept while the tone was searched comes out first.
///
/// Life: create, Push() per block, Finish() at the end; each returns the baseband samples
/// it completed.
class BasebandFrontEnd
{
public:
    /// A tone at @p dPitchHz, or when 0 the clearest between @p dMinPitchHz and
    /// @p dMaxPitchHz; the baseband at about @p dBasebandRate samples per second.
    BasebandFrontEnd(double dSampleRate, double dPitchHz, double dMinPitchHz, double dMaxPitchHz,
                     double dBasebandRate);
    ~BasebandFrontEnd();
    BasebandFrontEnd(const BasebandFrontEnd&) = delete;
    BasebandFrontEnd& operator=(const BasebandFrontEnd&) = delete;

    /// The baseband samples @p nCount more input samples completed; valid until the next call.
    const std::vector<std::complex<float>>& Push(const float* pSamples, size_t nCount);
    /// The input ended: a tone that stands out less clearly is taken too, and the audio kept
    /// while it was searched comes out.
    const std::vector<std::complex<float>>& Finish();

    bool HasPitch() const { return m_pConverter != nullptr; }
    /// The tone (Hz); 0 while none is known.
    double Pitch() const { return m_dPitch; }
    /// Input samples consumed so far.
    std::int64_t SamplesProcessed() const { return m_nInput; }
    /// Input samples per baseband sample.
    int Decimation() const { return m_nDecimation; }
    /// The input sample at which baseband sample @p nIndex began, the converter's delay taken
    /// out. Needs the tone.
    std::int64_t InputPosition(std::int64_t nIndex) const;
    /// The share of the input behind baseband sample @p nIndex in which the tone was lost to
    /// a crash (0 to 1), as known once baseband sample @p nKnownBy was complete. Needs the
    /// tone; the last seconds are remembered.
    float LostShare(std::int64_t nIndex, std::int64_t nKnownBy) const;
    /// Whether the tone was lost to a crash anywhere in the input behind baseband samples
    /// @p nFirst to @p nLast, as known once baseband sample @p nKnownBy was complete.
    bool LostWithin(std::int64_t nFirst, std::int64_t nLast, std::int64_t nKnownBy) const;

private:
    /// Input samples lost to crashes behind baseband samples @p nFirst to @p nLast, as known
    /// once baseband sample @p nKnownBy was complete.
    int lostInput(std::int64_t nFirst, std::int64_t nLast, std::int64_t nKnownBy) const;
    void lockPitch(double dPitch);
    void convert(const float* pSamples, size_t nCount);

    double m_dSampleRate;
    double m_dBasebandRate;
    int m_nDecimation;
    double m_dPitch = 0.0;
    std::int64_t m_nInput = 0;
    DamagedSampleFilter m_damagedSamples;
    std::unique_ptr<PitchSearch> m_pPitchSearch; ///< until the tone is found
    std::unique_ptr<ImpulseBlanker> m_pBlanker;  ///< from the pitch on: it notches the tone
    std::unique_ptr<AgcRecovery> m_pAgcRecovery; ///< behind it: the gain cut after a crash
    std::unique_ptr<BasebandConverter> m_pConverter;
    std::int64_t m_nOrigin = 0; ///< input sample the first converted sample was
    std::vector<std::complex<float>> m_baseband;
};

} // namespace cw
