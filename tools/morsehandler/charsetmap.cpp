#include "tools/morsehandler/charsetmap.h"

#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/mapfilereader.h"

namespace morse {

namespace {

constexpr ushort SPACE = 0x20;
constexpr ushort NOT_LATIN1 = '?'; // what a Latin-1 conversion makes of any other character

} // namespace

CharsetMap::CharsetMap()
{
    buildLookup();
}

bool CharsetMap::Load(const QString& strPath)
{
    if (strPath.endsWith(QLatin1String(".map")))
        m_bValid = MapFileReader::Read(strPath, m_mapTable, m_bRightToLeft);
    else if (strPath.endsWith(QLatin1String(".codec")))
        m_bValid = CodecFileReader::Read(strPath, m_mapTable, m_bRightToLeft);
    else
        m_bValid = false;
    buildLookup();
    return m_bValid;
}

QString CharsetMap::Translate(const QString& strText) const
{
    const int nLength = strText.size();
    QString strResult(nLength, Qt::Uninitialized);
    const QChar* pIn = strText.constData();
    QChar* pOut = strResult.data();
    for (int i = 0; i < nLength; ++i) {
        const ushort unit = pIn[i].unicode();
        pOut[i] = QChar(m_aLookup[unit <= 0xFF ? unit : NOT_LATIN1]);
    }
    return strResult;
}

void CharsetMap::buildLookup()
{
    for (int code = 0; code < 256; ++code)
        m_aLookup[code] = static_cast<ushort>(code);
    for (auto it = m_mapTable.cbegin(); it != m_mapTable.cend(); ++it)
        m_aLookup[static_cast<uchar>(it.key())] = it.value() != 0 ? it.value() : SPACE;
}

} // namespace morse
