#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>

class SymbolSource;

/// Writes `morsetool decode --format jsonl`: one JSON object per line of decoded text, with
/// where the line lies in time (UTC and the position in the input), what the source found
/// (tone, speed, signal-to-noise) and the alphabet. The fields are described in
/// docs/morsetool-jsonl.md. Fed symbol by symbol and unit by unit by the decode loop.
class JsonLinesWriter
{
public:
    JsonLinesWriter(FILE* out, const QString& strInput, const QString& strAlphabet,
                    const SymbolSource& source, bool bFlushEachLine);

    /// A symbol is about to be decoded; its time (when it has one) bounds the current line.
    void symbol(bool bHasTimestamp, quint64 u64TimestampUs);
    /// A unit of text the handler published; a line feed ends the line and writes it.
    void text(const QString& strUnit);
    /// Writes what is left of the last line.
    void finish();

private:
    void writeLine();
    QString timeFields(const char* pszName, bool bKnown, quint64 u64Us) const;

    FILE* m_pOut;
    QString m_strInput;
    QString m_strAlphabet;
    const SymbolSource& m_source;
    bool m_bFlushEachLine;
    QString m_strLine;
    bool m_bHaveOrigin = false; ///< m_u64OriginUs is known
    quint64 m_u64OriginUs = 0;  ///< the input's time zero, for positions
    bool m_bHaveStart = false;
    quint64 m_u64StartUs = 0;
    bool m_bHaveEnd = false;
    quint64 m_u64EndUs = 0;
    int m_nLine = 0;
};
