#include "tools/morsehandler/codeccatalogue.h"

#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/alphabetnames.h"

#include <vector>

namespace morse {

namespace {

const QString CODEC_SUFFIX = QStringLiteral(".codec");
const QString ITA2_MAP_SUFFIX = QStringLiteral(".ita2.map");
const QString ASCII_MAP_SUFFIX = QStringLiteral(".ascii.map");

} // namespace

eBASE_CHARSET CodecCatalogue::charsetOfFile(const QString& strFile)
{
    if (strFile.endsWith(CODEC_SUFFIX, Qt::CaseInsensitive) ||
        strFile.endsWith(ITA2_MAP_SUFFIX, Qt::CaseInsensitive))
        return eITA2;
    if (strFile.endsWith(ASCII_MAP_SUFFIX, Qt::CaseInsensitive))
        return eASCII;
    return eNONE;
}

QString CodecCatalogue::baseOfFile(const QString& strFile)
{
    return strFile.section(QLatin1Char('.'), 0, 0);
}

QString CodecCatalogue::nameOfFile(const QString& strFile)
{
    return fullName(baseOfFile(strFile), charsetOfFile(strFile));
}

QString CodecCatalogue::fullName(const QString& strBase, eBASE_CHARSET eCharset)
{
    switch (eCharset) {
    case eITA2:
        return strBase + AlphabetNames::SEPARATOR + AlphabetNames::ITA2;
    case eASCII:
        return strBase + AlphabetNames::SEPARATOR + AlphabetNames::ASCII;
    default:
        return QString();
    }
}

bool CodecCatalogue::cut(const QString& strName, Cut eCut, QString* pBase, QString* pWord)
{
    const int nSeparator = eCut == Cut::AtFirstSeparator
                               ? strName.indexOf(AlphabetNames::SEPARATOR)
                               : strName.lastIndexOf(AlphabetNames::SEPARATOR);
    if (nSeparator < 0)
        return false;
    const int nWordStart = nSeparator + AlphabetNames::SEPARATOR.size();
    if (pBase)
        *pBase = strName.left(nSeparator);
    if (pWord) {
        // A cut at the first separator ends the word at the next one.
        const int nWordEnd = eCut == Cut::AtFirstSeparator
                                 ? strName.indexOf(AlphabetNames::SEPARATOR, nWordStart)
                                 : -1;
        *pWord =
            nWordEnd < 0 ? strName.mid(nWordStart) : strName.mid(nWordStart, nWordEnd - nWordStart);
    }
    return true;
}

eBASE_CHARSET CodecCatalogue::charsetOfName(const QString& strName, Cut eCut)
{
    QString strWord;
    if (!cut(strName, eCut, nullptr, &strWord))
        return eNONE;
    if (strWord.startsWith(AlphabetNames::ITA2))
        return eITA2;
    if (strWord.startsWith(AlphabetNames::ASCII))
        return eASCII;
    return eNONE;
}

QStringList CodecCatalogue::filesOf(const QString& strBase, const QString& strWord)
{
    QStringList files{QStringLiteral("%1.%2.map").arg(strBase, strWord)};
    if (strWord == AlphabetNames::ITA2)
        files << strBase + CODEC_SUFFIX;
    return files;
}

QStringList CodecCatalogue::patternsLeastPreferredFirst()
{
    return {QLatin1Char('*') + CODEC_SUFFIX, QLatin1Char('*') + ITA2_MAP_SUFFIX,
            QLatin1Char('*') + ASCII_MAP_SUFFIX};
}

QMap<QString, eBASE_CHARSET> CodecCatalogue::decoderCharsets()
{
    QMap<QString, eBASE_CHARSET> charsets;
    std::vector<LanternIT::DecoderModule> modules;
    LanternIT::DecoderModulesCenter::Instance(QString())->Modules(modules, true);
    for (const LanternIT::DecoderModule& module : modules)
        charsets.insert(module.strName, baseCharsetFromLetter(module.cCharset));
    return charsets;
}

} // namespace morse
