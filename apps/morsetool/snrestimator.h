#pragma once

#include "tools/morsedsp/ringbuffer.h"

/// Estimates the signal-to-noise ratio of a keyed tone: the power at the tone is measured in
/// blocks of 10 ms (a band about 100 Hz wide); the loud blocks are the key down, the quiet ones
/// the noise between elements. The estimate is the ratio of the two, in dB, over the latest
/// half minute.
class SnrEstimator
{
public:
    /// Starts over for a tone of @p dPitchHz at @p dSampleRate.
    void create(double dSampleRate, double dPitchHz);
    /// Adds samples.
    void push(const float* pSamples, long nCount);
    /// Whether enough blocks were heard for an estimate.
    bool hasEstimate() const;
    /// The estimate (dB).
    double estimateDb() const;

private:
    void finishBlock();

    double m_dCoefficient = 0.0; ///< Goertzel 2 cos(w)
    int m_nBlockLength = 0;
    int m_nInBlock = 0;
    double m_dState1 = 0.0;
    double m_dState2 = 0.0;
    dsp::RingBuffer<double> m_powers; ///< the latest block powers
};
