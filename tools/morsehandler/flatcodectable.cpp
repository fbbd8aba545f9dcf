#include "tools/morsehandler/flatcodectable.h"

#include <algorithm>

namespace morse {

namespace {

constexpr ushort SPACE = 0x20;

/// @p text with every UTF-16 unit replaced by @p map(unit), written straight into a new string.
template <class Map> QString mapUnits(const QString& text, Map map)
{
    const int length = text.size();
    QString result(length, Qt::Uninitialized);
    const ushort* in = text.utf16();
    ushort* out = reinterpret_cast<ushort*>(result.data());
    for (int i = 0; i < length; ++i)
        out[i] = map(in[i]);
    return result;
}

} // namespace

FlatCodecTable::FlatCodecTable()
    : m_arrForward(), m_arrReverse(), m_nReverseCount(0), m_bEmpty(true)
{
    Clear();
}

void FlatCodecTable::Clear()
{
    for (int code = 0; code < 256; ++code)
        m_arrForward[code] = static_cast<ushort>(code);
    m_nReverseCount = 0;
    m_bEmpty = true;
}

void FlatCodecTable::Assign(const QMap<char, ushort>& table)
{
    Clear();
    m_bEmpty = table.isEmpty();

    // The ordered map iterates its signed keys from 0x80 up to 0x7F, which is the order in which
    // back-translation looks for a value: the first code found for a value is the one kept.
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const unsigned char code = static_cast<unsigned char>(it.key());
        const ushort value = it.value();
        m_arrForward[code] = value == 0 ? SPACE : value;

        ReverseEntry* const end = m_arrReverse.data() + m_nReverseCount;
        ReverseEntry* const slot =
            std::lower_bound(m_arrReverse.data(), end, value,
                             [](const ReverseEntry& entry, ushort v) { return entry.nValue < v; });
        if (slot != end && slot->nValue == value)
            continue;
        std::move_backward(slot, end, end + 1);
        // Code 0 is never written back: the unit then stays as it is.
        *slot = ReverseEntry{value, code == 0 ? value : static_cast<ushort>(code)};
        ++m_nReverseCount;
    }
}

QString FlatCodecTable::Translate(const QString& text) const
{
    if (m_bEmpty || text.isEmpty())
        return text;
    const ushort* forward = m_arrForward.data();
    return mapUnits(text, [forward](ushort unit) { return unit <= 0xFF ? forward[unit] : unit; });
}

QString FlatCodecTable::Backtranslate(const QString& text) const
{
    if (m_bEmpty || text.isEmpty())
        return text;
    const ReverseEntry* const begin = m_arrReverse.data();
    const ReverseEntry* const end = begin + m_nReverseCount;
    return mapUnits(text, [begin, end](ushort unit) {
        const ReverseEntry* found = std::lower_bound(
            begin, end, unit, [](const ReverseEntry& entry, ushort v) { return entry.nValue < v; });
        return found != end && found->nValue == unit ? found->nOutput : unit;
    });
}

} // namespace morse
