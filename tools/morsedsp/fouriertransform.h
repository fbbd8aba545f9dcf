#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace dsp {

/// A complex discrete Fourier transform of one fixed size (forward, or inverse without the
/// 1/N scale), computed by KissFFT. Sizes that are powers of four from 16 (the channelizer's)
/// take a vectorised radix-4 path that does the library's arithmetic four butterflies at a
/// time, giving its output to the bit in a fraction of the instructions; where the library in
/// use rounds otherwise (a check at construction), the library computes them too.
/// Fill Input(), call Execute(), read Output(). Transforms may be created on several threads at
/// once; each one is used by one thread at a time.
class FourierTransform
{
public:
    explicit FourierTransform(size_t nSize, bool bInverse = false);
    ~FourierTransform();
    FourierTransform(const FourierTransform&) = delete;
    FourierTransform& operator=(const FourierTransform&) = delete;

    /// A transform of @p nSize kept for the calling thread: for work that transforms once in
    /// a while (each plan costs far more than a transform), so that the plan and its buffers
    /// are made once per thread and size, not at each use. Valid until the thread ends.
    static FourierTransform& Shared(size_t nSize, bool bInverse = false);

    size_t Size() const { return m_input.size(); }
    std::complex<float>* Input() { return m_input.data(); }
    const std::complex<float>* Output() const { return m_output.data(); }
    /// Transforms the input into the output.
    void Execute();
    /// The transform takes the vectorised path (see above), not the library.
    bool Vectorised() const { return m_bVectorised; }

private:
    /// The radix-4 path: the first butterflies read the input in digit-reversed order, the
    /// later ones work in place on the output.
    void executeRadix4();
    /// The radix-4 path gives the library's output to the bit, as its rounding was written
    /// for; leaves input and output zero.
    bool roundsAsTheLibrary();

    std::vector<std::complex<float>> m_input;
    std::vector<std::complex<float>> m_output;
    void* m_pPlan = nullptr;
    bool m_bInverse = false;
    bool m_bVectorised = false;
    std::vector<float> m_real; ///< the stages' values between the first and the last, split
    std::vector<float> m_imag;
    std::vector<unsigned> m_firstSlots; ///< where the first butterflies write: see the constructor
    std::complex<float> m_firstTurn;    ///< the first stage's twiddle, e^0 as KissFFT holds it
    /// Later stages' twiddles, per four butterflies: for each of the three turned legs the
    /// four real parts, then the four imaginary ones; 24 floats per four, stage after stage.
    std::vector<float> m_stageTurns;
};

} // namespace dsp
