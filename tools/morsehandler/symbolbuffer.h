#pragma once

#include "tools/morsehandler/boundedbuffer.h"
#include "tools/morsehandler/morsehandler_export.h"

#include <QString>

namespace morse {

/// The Morse handler's record of the reception as symbol text ("." "-" "c" "w" and line feeds):
/// the newest symbols up to a bound, oldest dropped first. The buffer is one QString that is
/// always current, so a caller may hold on to text() and read it later.
class SymbolBuffer
{
public:
    /// Holds at most @p nLimit characters.
    explicit SymbolBuffer(int nLimit);

    void append(const QString& strSymbol);
    void clear();
    /// The buffer itself.
    const QString& text() const { return m_buffer.liveContainer(); }
    /// The last @p nCount finished units (characters ended by "c", words ended by "w", counted
    /// as their characters and one for the word end) as one contiguous tail ending at the last
    /// "c" or "w"; an unfinished character at the end is left out. Empty for @p nCount < 1.
    QString tail(int nCount) const;

private:
    BoundedBuffer<QString> m_buffer;
};

} // namespace morse
