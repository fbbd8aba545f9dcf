#pragma once

#include "tools/morsehandler/morsecodeindex.h"
#include "tools/morsehandler/morsehandler_export.h"

#include <QMap>
#include <QString>
#include <QStringView>

class QIODevice;

namespace morse {

/// One Morse alphabet: its map from text to dot-and-dash code, the reverse index that decodes,
/// its right-to-left flag, and the decoding rules every Morse decoder of the library shares
/// (the built-in International alphabet, the cut zero). Held by MorseTranslator and
/// SimpleMorseHandler.
class Alphabet
{
public:
    /// Empty: every code decodes to nothing until an alphabet is loaded.
    Alphabet() = default;

    /// Replaces the alphabet with the built-in International one (left to right).
    void loadDefault();
    /// Replaces the alphabet with the ".mal" text of @p device, open for reading.
    void load(QIODevice& device);
    void clear();

    bool isEmpty() const { return m_mapCodes.isEmpty(); }
    bool isRightToLeft() const { return m_bRightToLeft; }
    /// Text to code, in key order.
    const QMap<QString, QString>& map() const { return m_mapCodes; }

    /// The text whose code is exactly @p code (the smallest such text in key order), or null.
    const QString* find(QStringView code) const { return m_index.Find(code); }
    /// The same for a code packed by MorseCodeIndex.
    const QString* findPacked(quint32 key) const { return m_index.FindPacked(key); }

    /// The cut zero: a lone dash right after a digit reads as "0". Gives what the character
    /// found as @p pFound (null: none; @p bLoneDash: its code is one dash) decodes to, and
    /// updates @p bAfterDigit, which says whether the last decoded character was a digit.
    static const QString* cutZero(const QString* pFound, bool bLoneDash, bool& bAfterDigit);
    /// Decodes one character's @p code with the cut zero; empty when the code is unknown.
    QString decodeCharacter(QStringView code, bool& bAfterDigit) const;

private:
    void rebuildIndex() { m_index.Rebuild(m_mapCodes); }

    QMap<QString, QString> m_mapCodes;
    MorseCodeIndex m_index;
    bool m_bRightToLeft = false;
};

} // namespace morse
