#include "tools/morsehandler/charsetmap.h"

#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/mapfilereader.h"

#include <algorithm>

namespace morse {

namespace {

constexpr ushort NOT_LATIN1 = '?'; // what a Latin-1 conversion makes of any other character

/// @p strText as a Latin-1 round trip leaves it: characters above U+00FF become "?". Shares
/// the text, without copying, when there is none.
QString throughLatin1(const QString& strText)
{
    const ushort* pBegin = strText.utf16();
    const ushort* pEnd = pBegin + strText.size();
    const ushort* pFirst = std::find_if(pBegin, pEnd, [](ushort unit) { return unit > 0xFF; });
    if (pFirst == pEnd)
        return strText;
    QString strResult = strText;
    ushort* pOut = reinterpret_cast<ushort*>(strResult.data());
    for (auto i = pFirst - pBegin; i < strResult.size(); ++i) {
        if (pOut[i] > 0xFF)
            pOut[i] = NOT_LATIN1;
    }
    return strResult;
}

} // namespace

bool CharsetMap::Load(const QString& strPath)
{
    if (strPath.endsWith(QLatin1String(".map")))
        m_bValid = MapFileReader::Read(strPath, m_mapTable, m_bRightToLeft);
    else if (strPath.endsWith(QLatin1String(".codec")))
        m_bValid = CodecFileReader::Read(strPath, m_mapTable, m_bRightToLeft);
    else
        m_bValid = false;
    m_flatTable.Assign(m_mapTable);
    return m_bValid;
}

QString CharsetMap::Translate(const QString& strText) const
{
    return m_flatTable.Translate(throughLatin1(strText));
}

} // namespace morse
