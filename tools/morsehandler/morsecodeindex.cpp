#include "tools/morsehandler/morsecodeindex.h"

namespace morse {

void MorseCodeIndex::Rebuild(const QMap<QString, QString>& alphabet)
{
    Clear();
    // The map is walked in key order, so the first text seen for a code is the one a linear
    // search in key order would find.
    for (auto it = alphabet.constBegin(); it != alphabet.constEnd(); ++it) {
        quint32 key = 0;
        if (Pack(it.value(), &key)) {
            if (!m_hashPacked.contains(key))
                m_hashPacked.insert(key, it.key());
        } else if (!m_hashOther.contains(it.value())) {
            m_hashOther.insert(it.value(), it.key());
        }
    }
}

void MorseCodeIndex::Clear()
{
    m_hashPacked.clear();
    m_hashOther.clear();
}

const QString* MorseCodeIndex::Find(QStringView code) const
{
    quint32 key = 0;
    if (Pack(code, &key))
        return FindPacked(key);
    if (m_hashOther.isEmpty())
        return nullptr;
    auto it = m_hashOther.constFind(code.toString());
    return it == m_hashOther.constEnd() ? nullptr : &it.value();
}

const QString* MorseCodeIndex::FindPacked(quint32 key) const
{
    auto it = m_hashPacked.constFind(key);
    return it == m_hashPacked.constEnd() ? nullptr : &it.value();
}

bool MorseCodeIndex::AppendElement(quint32& key, int elementCount, QChar element)
{
    if (elementCount >= MAX_PACKED_ELEMENTS)
        return false;
    if (element == QLatin1Char('.'))
        key <<= 1;
    else if (element == QLatin1Char('-'))
        key = (key << 1) | 1u;
    else
        return false;
    return true;
}

bool MorseCodeIndex::Pack(QStringView code, quint32* key)
{
    quint32 packed = EMPTY_KEY;
    for (int i = 0; i < code.size(); ++i) {
        if (!AppendElement(packed, i, code.at(i)))
            return false;
    }
    *key = packed;
    return true;
}

} // namespace morse
