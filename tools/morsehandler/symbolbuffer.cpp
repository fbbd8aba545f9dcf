#include "tools/morsehandler/symbolbuffer.h"

namespace morse {

SymbolBuffer::SymbolBuffer(int nLimit) : m_buffer(nLimit, BoundedBuffer<QString>::Compaction::Live)
{
}

void SymbolBuffer::append(const QString& strSymbol)
{
    m_buffer.append(strSymbol);
}

void SymbolBuffer::clear()
{
    m_buffer.clear();
}

QString SymbolBuffer::tail(int nCount) const
{
    if (nCount < 1)
        return QString();
    // Walk back from the end counting finished units; the result is one contiguous tail that
    // starts at the last symbol taken and ends at the last "c" or "w".
    const QChar* const pData = m_buffer.data();
    int nUnits = 0;
    bool bStarted = false;
    bool bInCharacter = false;
    int nFirst = -1;
    int nLast = -1;
    for (int i = m_buffer.size() - 1; i >= 0; --i) {
        const QChar c = pData[i];
        if (c == QLatin1Char('c')) {
            if (bStarted)
                nUnits += bInCharacter ? 1 : 0;
            else
                bStarted = true;
            bInCharacter = false;
        } else if (c == QLatin1Char('w')) {
            bStarted = true;
            nUnits += bInCharacter ? 2 : 1;
            bInCharacter = false;
        } else if (bStarted) {
            bInCharacter = true;
        } else {
            continue; // part of an unfinished character
        }
        if (nLast < 0)
            nLast = i;
        nFirst = i;
        if (nUnits >= nCount)
            break;
    }
    return nLast < 0 ? QString() : QString(pData + nFirst, nLast - nFirst + 1);
}

} // namespace morse
