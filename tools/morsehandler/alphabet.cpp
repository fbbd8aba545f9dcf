#include "tools/morsehandler/alphabet.h"

#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/internationalalphabetmap.h"

namespace morse {

namespace {

const QString DIGIT_ZERO = QStringLiteral("0");

bool isSingleDigit(const QString& text)
{
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

} // namespace

void Alphabet::loadDefault()
{
    fillInternationalAlphabet(m_mapCodes);
    m_bRightToLeft = false;
    rebuildIndex();
}

void Alphabet::load(QIODevice& device)
{
    AlphabetFileReader::Read(device, m_mapCodes, m_bRightToLeft);
    rebuildIndex();
}

void Alphabet::clear()
{
    m_mapCodes.clear();
    m_index.Clear();
    m_bRightToLeft = false;
}

const QString* Alphabet::cutZero(const QString* pFound, bool bLoneDash, bool& bAfterDigit)
{
    if (bAfterDigit && bLoneDash)
        pFound = &DIGIT_ZERO;
    bAfterDigit = pFound && isSingleDigit(*pFound);
    return pFound;
}

QString Alphabet::decodeCharacter(QStringView code, bool& bAfterDigit) const
{
    const bool bLoneDash = code.size() == 1 && code.front() == QLatin1Char('-');
    const QString* pText = cutZero(find(code), bLoneDash, bAfterDigit);
    return pText ? *pText : QString();
}

} // namespace morse
