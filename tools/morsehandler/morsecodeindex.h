#pragma once

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringView>

namespace morse {

/// Reverse lookup of a Morse alphabet: from a code to its text. Where several texts share a
/// code, the smallest text in key order wins, exactly as a walk of the alphabet map in key order
/// would find. Codes of up to 31 dots and dashes are looked up by a packed integer key, which a
/// caller can build element by element while reading symbols.
class MorseCodeIndex
{
public:
    /// The packed key of the empty code; each element shifts in one bit (1 for a dash).
    static constexpr quint32 EMPTY_KEY = 1;
    /// The packed key of a lone dash.
    static constexpr quint32 LONE_DASH_KEY = 3;
    /// Codes longer than this are not packed.
    static constexpr int MAX_PACKED_ELEMENTS = 31;

    /// Rebuilds the index from an alphabet map (text to code).
    void Rebuild(const QMap<QString, QString>& alphabet);
    void Clear();

    /// The text whose code is exactly @p code, or null.
    const QString* Find(QStringView code) const;
    /// The text of a packed dot-and-dash code, or null.
    const QString* FindPacked(quint32 key) const;

    /// Shifts one element into @p key; false (key unchanged) when @p element is not a dot or a
    /// dash or the key is full (@p elementCount elements already packed).
    static bool AppendElement(quint32& key, int elementCount, QChar element);
    /// The packed key of @p code; false when it cannot be packed.
    static bool Pack(QStringView code, quint32* key);

private:
    QHash<quint32, QString> m_hashPacked; // codes of dots and dashes only
    QHash<QString, QString> m_hashOther;  // every other code
};

} // namespace morse
