#include "tools/morsehandler/morsetranslator.h"

#include "tools/morsecore/morsesymbolcode.h"
#include "tools/morsehandler/alphabet.h"
#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/trace.h"

#include <QFile>

#include <utility>

namespace {

// Shared by every translator of the process: what DecodeMorse and Translate hand out.
QString g_strDecodeMorseResult;
QString g_strTranslateResult;

// The line number the destructor's trace line carries: the host shows it and its operators look
// it up, so it stays fixed whatever this file's layout.
constexpr int LINE_DESTRUCTOR = 63;

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

class MORSEHANDLER_NO_EXPORT MorseTranslator::Private
{
public:
    morse::Alphabet alphabet;
    QString emptySymbol; ///< what DecodeSymbol hands out for a code without symbol text
};

MorseTranslator::MorseTranslator() : d(std::make_unique<Private>()) {}

MorseTranslator::MorseTranslator(const MorseTranslator& other)
    : d(std::make_unique<Private>(*other.d))
{
}

MorseTranslator& MorseTranslator::operator=(const MorseTranslator& other)
{
    if (this != &other)
        *d = *other.d;
    return *this;
}

MorseTranslator::MorseTranslator(MorseTranslator&& other)
    : d(std::exchange(other.d, std::make_unique<Private>()))
{
}

MorseTranslator& MorseTranslator::operator=(MorseTranslator&& other) noexcept
{
    std::swap(d, other.d);
    other.d->alphabet.clear();
    return *this;
}

MorseTranslator::~MorseTranslator()
{
    try {
        d->alphabet.clear();
    } catch (...) {
        morse::trace(QStringLiteral("Exception caught in MorseTranslator::~MorseTranslator"),
                     QStringLiteral("tools\\morsehandler\\morsetranslator"), LINE_DESTRUCTOR);
    }
}

bool MorseTranslator::SetMorseAlphabet(const QString& path)
{
    QFile file;
    if (path.isEmpty() || !morse::FileLocator::open(file, path, QIODevice::ReadOnly)) {
        d->alphabet.loadDefault();
        return false;
    }
    d->alphabet.load(file);
    file.close();
    return true;
}

const QString& MorseTranslator::DecodeSymbol(int code)
{
    static const QString* const SYMBOL_TEXTS[morse::SYMBOL_COUNT] = {
        &DOT,      &DASH,          &NEW_CHAR,      &NEW_WORD,
        &NEW_LINE, &DOT_TOO_SHORT, &DASH_TOO_LONG, &PAUSE_TOO_SHORT};
    d->emptySymbol = QString();
    const int slot = morse::symbolSlot(code);
    return slot < 0 ? d->emptySymbol : *SYMBOL_TEXTS[slot];
}

const QString& MorseTranslator::DecodeMorse(const QString& code)
{
    const QString* text = d->alphabet.find(code);
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
    quint32 key = morse::MorseCodeIndex::EMPTY_KEY;
    bool keyValid = true;
    bool digit = false;

    auto lookUp = [&](int end) -> const QString* {
        if (keyValid)
            return d->alphabet.findPacked(key);
        return d->alphabet.find(QStringView(data + codeStart, end - codeStart));
    };
    auto startCode = [&](int next) {
        codeStart = next;
        key = morse::MorseCodeIndex::EMPTY_KEY;
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
            const QString* found = morse::Alphabet::cutZero(
                lookUp(i), keyValid && key == morse::MorseCodeIndex::LONE_DASH_KEY, digit);
            if (found)
                result += *found;
            startCode(i + 1);
        } else if (c == QLatin1Char('\n')) {
            if (const QString* found = lookUp(i))
                result += *found;
            result += NEW_LINE;
            startCode(i + 1);
        } else if (keyValid) {
            keyValid = morse::MorseCodeIndex::AppendElement(key, i - codeStart, c);
        }
    }
    if (codeStart < size) {
        if (const QString* found = lookUp(size))
            result += *found;
    }
    return result;
}

const QMap<QString, QString>& MorseTranslator::AlphabetMap() const
{
    return d->alphabet.map();
}

bool MorseTranslator::isTextDirectionRTL() const
{
    return d->alphabet.isRightToLeft();
}
