#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace fsk {
class FskDemodulator;
} // namespace fsk

/// What `decode --mode rtty` prints: the translated text as it comes (a teleprinter's carriage
/// return dropped, its line feed ending the line), or with JSON lines one object per line of
/// text, as for CW: input, line number, start and end (UTC and seconds into the recording), the
/// signal's mark and space tones, speed, polarity and signal-to-noise estimate, the translation,
/// the characters with a broken stop bit, and the text.
class RttyOutput
{
public:
    struct Options
    {
        bool bJson = false;
        QString input;           ///< the input's name as the messages show it
        QString translation;     ///< the codec or map in use; empty: none
        quint64 u64OriginUs = 0; ///< when the recording began (microseconds since 1970 UTC)
    };

    RttyOutput(FILE* out, const Options& options);

    /// One translated character @p strText received at @p u64TimeUs.
    void character(const QString& strText, bool bFramingError, quint64 u64TimeUs,
                   const fsk::FskDemodulator& demodulator);
    /// The input ended: the last line goes out.
    void finish(const fsk::FskDemodulator& demodulator);

private:
    void writeLine(const fsk::FskDemodulator& demodulator);
    void write(const QString& strText);

    FILE* m_pOut;
    Options m_options;
    QString m_strLine;
    int m_nLine = 0;
    int m_nFramingErrors = 0;
    bool m_bHaveStart = false;
    quint64 m_u64StartUs = 0;
    quint64 m_u64EndUs = 0;
};
