#pragma once

// The translation rules of the codec handler written the straightforward way, one ordered-map
// lookup (or walk) per code unit. Tests compare the handler's fast path with it; the codec
// benchmark measures against it.

#include <QMap>
#include <QString>

namespace reference {

inline QString translate(const QMap<char, ushort>& table, const QString& text)
{
    if (table.isEmpty())
        return text;
    QString result;
    result.reserve(text.size());
    for (const QChar unit : text) {
        if (unit.unicode() > 0xFF) {
            result.append(unit);
            continue;
        }
        const auto it = table.constFind(static_cast<char>(unit.unicode()));
        if (it == table.constEnd())
            result.append(unit);
        else
            result.append(QChar(it.value() == 0 ? ushort(0x20) : it.value()));
    }
    return result;
}

inline QString backtranslate(const QMap<char, ushort>& table, const QString& text)
{
    if (table.isEmpty())
        return text;
    QString result;
    result.reserve(text.size());
    for (const QChar unit : text) {
        auto it = table.constBegin();
        while (it != table.constEnd() && it.value() != unit.unicode())
            ++it;
        if (it != table.constEnd() && it.key() != 0)
            result.append(QChar(static_cast<ushort>(static_cast<unsigned char>(it.key()))));
        else
            result.append(unit);
    }
    return result;
}

} // namespace reference
