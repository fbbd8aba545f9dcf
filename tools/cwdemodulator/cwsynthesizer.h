#pragma once

#include "tools/cwdemodulator/gaussiannoise.h"
#include "tools/cwdemodulator/staticcrashes.h"
#include "tools/cwdemodulator/tonerotator.h"

#include <QMap>
#include <QString>
#include <QtGlobal>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace cw {

/// Renders Morse text as a keyed sine tone with the impairments of real signals: white
/// Gaussian noise, timing jitter, keyer weighting, Farnsworth spacing, slow fading, a gradual
/// speed change, frequency drift and chirp, a phase that restarts at each element or wanders,
/// static crashes, a receiver's AGC and a neighbouring signal. Used by `morsetool synth`, the tests
/// and the benchmarks; the output is the same for the same settings and seed on every platform.
class CwSynthesizer
{
public:
    struct Settings
    {
        double dWpm = 20.0;          ///< speed at the start (PARIS words per minute)
        double dWpmEnd = 0.0;        ///< speed at the end; 0 keeps dWpm throughout
        double dPitchHz = 700.0;     ///< tone frequency
        bool bNoise = false;         ///< add white Gaussian noise at dSnrDb
        double dSnrDb = 20.0;        ///< key-down tone power over noise power in 2500 Hz
        double dJitterPercent = 0.0; ///< each element and gap stretched by up to +-this much
        double dQsbHz = 0.0;         ///< fading rate; 0 for none
        double dQsbDepthDb = 10.0;   ///< fading depth below the peak
        int nSampleRate = 8000;
        quint32 uSeed = 1;
        double dLeadInSec = 0.5;     ///< silence before the first element
        double dTailSec = 0.5;       ///< silence after the last element
        double dAmplitude = 0.5;     ///< tone peak; lowered when needed to keep noise from clipping
        double dRiseMs = 5.0;        ///< raised-cosine keying edges
        double dWeight = 1.0;        ///< dot over element gap length (keyer weighting), 1 even
        double dFarnsworthWpm = 0.0; ///< speed of the gaps between characters; 0 the same
        double dDriftHzPerSec = 0.0; ///< the tone moves this fast (Hz per second)
        double dChirpHz = 0.0;       ///< each mark starts this far above the pitch, for 20 ms
        bool bPhaseRestart = false;  ///< each element's tone starts at phase zero
        double dPhaseNoise = 0.0;    ///< random walk of the phase, radians per root second
        double dCrashesPerSec = 0.0; ///< static crashes of 2 to 10 ms
        double dCrashDb = 25.0;      ///< crash peak over the tone's peak
        /// A receiver's AGC: the gain drops at once when the sound (tone, noise, crashes,
        /// neighbour) peaks above 6 dB over the tone and recovers with this time constant,
        /// so that it pumps after each crash; 0 for none.
        double dAgcSec = 0.0;
        /// Dots and dashes (".-") of each character to send; empty: the International
        /// alphabet.
        QMap<QChar, QString> characterCodes;
    };

    /// A second signal with its own settings and text, at @p dLevelDb relative to this
    /// one's tone; added to the output up to this recording's end. Call after SetText().
    bool AddNeighbour(const Settings& settings, const QString& strText, double dLevelDb);

    explicit CwSynthesizer(const Settings& settings);

    /// Lays out the keying of @p strText (the settings' alphabet, case ignored, any run of
    /// blanks is a word gap, a line feed a four-second pause). False, with ErrorString(), for
    /// a character without a code.
    bool SetText(const QString& strText);
    /// The keying SetText() lays out, in element units: a mark's length positive, a gap's
    /// negative, 0 for the pause between lines. @p characterCodes as in Settings (empty: the
    /// International alphabet). Empty, with @p strError, for a character without a code.
    static std::vector<int> KeyingUnits(const QString& strText,
                                        const QMap<QChar, QString>& characterCodes,
                                        QString& strError);
    QString ErrorString() const { return m_strError; }

    /// Number of samples the whole recording has.
    qint64 TotalSamples() const { return m_nTotalSamples; }
    /// Writes up to @p nMax next samples to @p pOut; returns how many (0 at the end).
    qint64 Render(float* pOut, qint64 nMax);
    /// Renders everything that is left.
    std::vector<float> RenderAll();

    /// The power of a fade @p dDepthDb deep, averaged over its periods, in dB relative to its
    /// peak (-3.9 dB for 20 dB). The SNR is the peak's; this gives a fading tone's mean SNR.
    static double FadeMeanPowerDb(double dDepthDb);
    /// The amplitude a fade leaves at @p dAngle radians into its period: a raised cosine from
    /// 1 at the peak (angle 0) down to @p dFloor, the amplitude of FadeFloor(), and back.
    static double FadeGain(double dFloor, double dAngle)
    {
        return 1.0 - (1.0 - dFloor) * (0.5 - 0.5 * std::cos(dAngle));
    }
    /// The amplitude at the bottom of a fade @p dDepthDb deep (0.1 for 20 dB).
    static double FadeFloor(double dDepthDb);

    /// The tone amplitude before the output gain a louder neighbour needs (after the noise
    /// headroom rule).
    double ToneAmplitude() const { return m_dTone; }

private:
    struct Run
    {
        bool bOn;
        qint64 nEnd; ///< first sample after the run
    };

    double nextUniform();
    double runSeconds(int nUnits, double dWpm);
    void advanceTone(bool bKeyDown);
    void applyAgc(float* pSamples, qint64 nCount);

    Settings m_settings;
    QString m_strError;
    std::vector<Run> m_runs;
    qint64 m_nTotalSamples = 0;
    qint64 m_nPosition = 0;
    size_t m_nRunIndex = 0;
    double m_dTone = 0.5;
    double m_dNoiseSigma = 0.0;
    double m_dRamp = 0.0;     ///< keying envelope state 0..1 before shaping
    double m_dRampStep = 1.0; ///< change of the ramp per sample
    ToneRotator m_tone;
    std::mt19937 m_random;
    GaussianNoise m_noise;
    bool m_bWasKeyDown = false;
    qint64 m_nMarkStart = 0;
    std::mt19937 m_impairmentRandom; ///< crashes and phase noise, apart from the noise
    StaticCrashes m_crashes;
    double m_dAgcPeak = 0.0; ///< the AGC detector's hold of the recent peaks
    std::unique_ptr<CwSynthesizer> m_pNeighbour;
    double m_dOutputGain = 1.0; ///< keeps the sum with a neighbour within full scale
    std::vector<float> m_neighbourBlock;
};

} // namespace cw
