#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

namespace cwbench {

/// A reader that knows what no demodulator knows: where each element unit of the text lies,
/// the tone's level at every moment and its phase. Each unit gives the output of a filter
/// matched to it (the tone's amplitude there if the key is down, plus white noise at the SNR),
/// and the reader takes the likeliest sequence of characters and gaps for the whole text.
/// What it misses at a speed, SNR and fade is lost to any reader of single characters (one
/// that does not guess whole words), so the CER benches print it as the floor of a cell.
/// Life: create, Read() per text.
class CwIdealReader
{
public:
    struct Settings
    {
        double dWpm = 20.0;
        double dSnrDb = 6.0;       ///< tone power over noise power in 2500 Hz, at the fade's peak
        double dQsbHz = 0.0;       ///< fading rate; 0 for a steady tone
        double dQsbDepthDb = 20.0; ///< fading depth below the peak
        double dLeadInSec = 0.5;   ///< silence before the first element, where the fade starts
        quint32 uSeed = 1;         ///< the noise's
    };

    explicit CwIdealReader(const Settings& settings);

    /// The likeliest reading of @p strText (the International alphabet, blanks between words)
    /// under one draw of the noise; empty when a character of it has no Morse code.
    QString Read(const QString& strText) const;

private:
    /// Whether the key is down in each element unit of @p strText, a word gap after its end;
    /// empty for a character without a code.
    static std::vector<bool> keyedUnits(const QString& strText);
    /// Each unit's log-likelihood ratio of key down over key up, as the matched filter saw it.
    std::vector<double> unitEvidence(const std::vector<bool>& keyed) const;
    /// The characters and gaps whose key-down units sum the most evidence.
    static QString likeliestText(const std::vector<double>& evidence);

    Settings m_settings;
};

} // namespace cwbench
