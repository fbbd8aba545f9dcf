#include "tools/morsehandler/morsetranslator.h"

#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/internationalalphabet.h"
#include "tools/morsehandler/trace.h"

#include <QFile>

namespace {

// Shared by every translator of the process: what DecodeMorse and Translate hand out.
QString g_strDecodeMorseResult;
QString g_strTranslateResult;

constexpr int MAX_INDEXED_ELEMENTS = 31; // a leading 1 bit and 31 element bits fit in 32 bits
constexpr quint32 EMPTY_CODE_KEY = 1;
constexpr quint32 LONE_DASH_KEY = 3;

/// The index key of @p code if it consists of at most 31 dots and dashes.
bool dotDashKey(QStringView code, quint32* key)
{
    if (code.size() > MAX_INDEXED_ELEMENTS)
        return false;
    quint32 k = EMPTY_CODE_KEY;
    for (const QChar c : code) {
        if (c == QLatin1Char('.'))
            k <<= 1;
        else if (c == QLatin1Char('-'))
            k = (k << 1) | 1u;
        else
            return false;
    }
    *key = k;
    return true;
}

bool isSingleDigit(const QString& text)
{
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

const QString DIGIT_ZERO = QStringLiteral("0");
const QString BLANK = QStringLiteral(" ");

} // namespace

const QString MorseTranslator::DOT = QStringLiteral(".");
const QString MorseTranslator::DASH = QStringLiteral("-");
const QString MorseTranslator::NEW_CHAR = QStringLiteral("c");
const QString MorseTranslator::NEW_WORD = QStringLiteral("w");
const QString MorseTranslator::NEW_LINE = QStringLiteral("\n");
const QString MorseTranslator::DOT_TOO_SHORT = QStringLiteral("[DOT_TOO_SHORT]");
const QString MorseTranslator::DASH_TOO_LONG = QStringLiteral("[DASH_TOO_LONG]");
const QString MorseTranslator::PAUSE_TOO_SHORT = QStringLiteral("[PAUSE_TOO_SHORT]");

MorseTranslator::MorseTranslator() = default;

MorseTranslator::MorseTranslator(const MorseTranslator& other)
    : m_mapAlphabet(other.m_mapAlphabet), m_strEmptySymbol(other.m_strEmptySymbol),
      m_bTextDirectionRTL(other.m_bTextDirectionRTL), m_hashDotDashIndex(other.m_hashDotDashIndex),
      m_hashOtherIndex(other.m_hashOtherIndex)
{
}

MorseTranslator& MorseTranslator::operator=(const MorseTranslator& other)
{
    if (this != &other) {
        m_mapAlphabet = other.m_mapAlphabet;
        m_hashDotDashIndex = other.m_hashDotDashIndex;
        m_hashOtherIndex = other.m_hashOtherIndex;
    }
    m_strEmptySymbol = other.m_strEmptySymbol;
    m_bTextDirectionRTL = other.m_bTextDirectionRTL;
    return *this;
}

MorseTranslator::~MorseTranslator()
{
    try {
        m_hashOtherIndex.clear();
        m_hashDotDashIndex.clear();
        m_mapAlphabet.clear();
    } catch (...) {
        morse::trace(QStringLiteral("Exception caught in MorseTranslator::~MorseTranslator"),
                     QStringLiteral("tools\\morsehandler\\morsetranslator"), 63);
    }
}

bool MorseTranslator::SetMorseAlphabet(const QString& path)
{
    if (path.isEmpty()) {
        ReadDefaultAlphabetMap();
        return false;
    }
    QFile file;
    if (!morse::FileLocator::open(file, path, QIODevice::ReadOnly)) {
        ReadDefaultAlphabetMap();
        return false;
    }
    ReadAlphabetMapFromFile(&file);
    file.close();
    return true;
}

const QString& MorseTranslator::DecodeSymbol(int code)
{
    m_strEmptySymbol = QString();
    switch (code) {
    case 0:
        return DOT;
    case 1:
        return DASH;
    case 3:
        return NEW_CHAR;
    case 4:
        return NEW_WORD;
    case 5:
        return NEW_LINE;
    case 64:
        return DOT_TOO_SHORT;
    case 65:
        return DASH_TOO_LONG;
    case 66:
        return PAUSE_TOO_SHORT;
    default:
        return m_strEmptySymbol;
    }
}

const QString& MorseTranslator::DecodeMorse(const QString& code)
{
    const QString* text = findText(code);
    g_strDecodeMorseResult = text ? *text : QString();
    return g_strDecodeMorseResult;
}

const QString& MorseTranslator::Translate(const QString& text)
{
    QString& result = g_strTranslateResult;
    result.resize(0); // keeps the capacity unless a caller still shares it
    result.reserve(text.size() / 2);

    // The current code is always the run of characters since the last separator, so it is
    // tracked as a start index and, while it holds only dots and dashes, as its index key.
    const QChar* const data = text.constData();
    const int size = text.size();
    int codeStart = 0;
    quint32 key = EMPTY_CODE_KEY;
    bool keyValid = true;
    bool digit = false;

    auto lookUp = [&](int end) -> const QString* {
        if (keyValid) {
            auto it = m_hashDotDashIndex.constFind(key);
            return it == m_hashDotDashIndex.constEnd() ? nullptr : &it.value();
        }
        return findText(QStringView(data + codeStart, end - codeStart));
    };
    auto startCode = [&](int next) {
        codeStart = next;
        key = EMPTY_CODE_KEY;
        keyValid = true;
    };

    for (int i = 0; i < size; ++i) {
        const QChar c = data[i];
        if (c == QLatin1Char('w')) {
            if (const QString* found = lookUp(i))
                result += *found;
            result += BLANK;
            startCode(i + 1);
        } else if (c == QLatin1Char('c')) {
            const QString* found = lookUp(i);
            if (digit && keyValid && key == LONE_DASH_KEY)
                found = &DIGIT_ZERO;
            digit = found && isSingleDigit(*found);
            if (found)
                result += *found;
            startCode(i + 1);
        } else if (c == QLatin1Char('\n')) {
            if (const QString* found = lookUp(i))
                result += *found;
            result += NEW_LINE;
            startCode(i + 1);
        } else if (keyValid) {
            if (i - codeStart >= MAX_INDEXED_ELEMENTS)
                keyValid = false;
            else if (c == QLatin1Char('.'))
                key <<= 1;
            else if (c == QLatin1Char('-'))
                key = (key << 1) | 1u;
            else
                keyValid = false;
        }
    }
    if (codeStart < size) {
        if (const QString* found = lookUp(size))
            result += *found;
    }
    return result;
}

bool MorseTranslator::isTextDirectionRTL() const
{
    return m_bTextDirectionRTL;
}

void MorseTranslator::ReadDefaultAlphabetMap()
{
    morse::InternationalAlphabet::Fill(m_mapAlphabet);
    m_bTextDirectionRTL = false;
    rebuildIndex();
}

void MorseTranslator::ReadAlphabetMapFromFile(QFile* file)
{
    morse::AlphabetFileReader::Read(*file, m_mapAlphabet, m_bTextDirectionRTL);
    rebuildIndex();
}

void MorseTranslator::rebuildIndex()
{
    m_hashDotDashIndex.clear();
    m_hashOtherIndex.clear();
    // The map is walked in key order, so the first text seen for a code is the one a linear
    // search in key order would find.
    for (auto it = m_mapAlphabet.constBegin(); it != m_mapAlphabet.constEnd(); ++it) {
        quint32 key = 0;
        if (dotDashKey(it.value(), &key)) {
            if (!m_hashDotDashIndex.contains(key))
                m_hashDotDashIndex.insert(key, it.key());
        } else if (!m_hashOtherIndex.contains(it.value())) {
            m_hashOtherIndex.insert(it.value(), it.key());
        }
    }
}

const QString* MorseTranslator::findText(QStringView code) const
{
    quint32 key = 0;
    if (dotDashKey(code, &key)) {
        auto it = m_hashDotDashIndex.constFind(key);
        return it == m_hashDotDashIndex.constEnd() ? nullptr : &it.value();
    }
    if (m_hashOtherIndex.isEmpty())
        return nullptr;
    auto it = m_hashOtherIndex.constFind(code.toString());
    return it == m_hashOtherIndex.constEnd() ? nullptr : &it.value();
}
