#include "tools/morsehandler/simplemorsehandler.h"

#include "tools/morsecore/morsesymbolcode.h"
#include "tools/morsehandler/alphabet.h"
#include "tools/morsehandler/alphabetdirectory.h"
#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/filelocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringView>

#include <utility>

const QString SimpleMorseHandler::DOT = QStringLiteral(".");
const QString SimpleMorseHandler::DASH = QStringLiteral("-");
const QString SimpleMorseHandler::NEW_CHAR = QStringLiteral(" ");
const QString SimpleMorseHandler::NEW_WORD = QStringLiteral("\t");
const QString SimpleMorseHandler::NEW_LINE = QStringLiteral("\n");
// The three error markers share one text on purpose: marker text does not tell them apart.
const QString SimpleMorseHandler::DOT_TOO_SHORT = QStringLiteral("[PAUSE TO SHORT]");
const QString SimpleMorseHandler::DASH_TOO_LONG = QStringLiteral("[PAUSE TO SHORT]");
const QString SimpleMorseHandler::PAUSE_TOO_SHORT = QStringLiteral("[PAUSE TO SHORT]");
const QString SimpleMorseHandler::UNKNOWN = QStringLiteral("[UNKNOWN]");

namespace {

const QString MAL_EXTENSION = QStringLiteral(".mal");

bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

int lastSeparator(const QString& text)
{
    for (int i = text.size() - 1; i >= 0; --i) {
        if (isSeparator(text.at(i)))
            return i;
    }
    return -1;
}

} // namespace

class MORSEHANDLER_NO_EXPORT SimpleMorseHandler::Private
{
public:
    /// The text of one character's dots and dashes; updates the digit flag.
    QString convertOneChar(const QString& code);
    bool readMalFile(const QString& fileName);
    QString codecNameToFile(const QString& name) const;
    /// @p fileName composed onto the alphabets directory's path.
    QString pathInAlphabetsDir(const QString& fileName) const;

    QDir dirAlphabets{QString()};
    QString strAlphabet = morse::AlphabetNames::NONE;
    morse::Alphabet alphabet; ///< empty while none is selected
    QString strPendingSymbols;
    bool bDigit = false; ///< the last character decoded was a digit (the cut zero)
    QString strCode;     ///< scratch buffer of Translate's current code
};

SimpleMorseHandler::SimpleMorseHandler() : d(std::make_unique<Private>()) {}

SimpleMorseHandler::SimpleMorseHandler(const SimpleMorseHandler& other)
    : IAlphabetHandler(other), d(std::make_unique<Private>(*other.d))
{
}

SimpleMorseHandler& SimpleMorseHandler::operator=(const SimpleMorseHandler& other)
{
    if (this != &other) {
        IAlphabetHandler::operator=(other);
        *d = *other.d;
    }
    return *this;
}

SimpleMorseHandler::SimpleMorseHandler(SimpleMorseHandler&& other)
    : d(std::exchange(other.d, std::make_unique<Private>()))
{
}

SimpleMorseHandler& SimpleMorseHandler::operator=(SimpleMorseHandler&& other)
{
    if (this != &other)
        d = std::exchange(other.d, std::make_unique<Private>());
    return *this;
}

SimpleMorseHandler::~SimpleMorseHandler() = default;

const QString& SimpleMorseHandler::pendingSymbols() const
{
    return d->strPendingSymbols;
}

void SimpleMorseHandler::SetAlphabetsDir(const QString& path)
{
    d->dirAlphabets.setPath(path);
}

bool SimpleMorseHandler::SetAlphabet(const QString& name)
{
    d->strAlphabet = name;
    d->alphabet.clear();
    ResetInternalState();
    if (name.compare(morse::AlphabetNames::NONE, Qt::CaseInsensitive) == 0) {
        d->strAlphabet = morse::AlphabetNames::NONE;
        return true;
    }
    return d->readMalFile(d->codecNameToFile(name));
}

void SimpleMorseHandler::SetDecoder(const QString&) {}

QString SimpleMorseHandler::Alphabet()
{
    return d->strAlphabet;
}

QStringList SimpleMorseHandler::AvailableAlphabets()
{
    QStringList names{morse::AlphabetNames::NONE};
    QDir dir(d->dirAlphabets);
    if (!dir.exists() && dir.path().contains(QLatin1Char('\\')))
        dir.setPath(QString(dir.path()).replace(QLatin1Char('\\'), QLatin1Char('/')));
    const QStringList entries = dir.entryList(QDir::Files, QDir::Unsorted);
    for (const QString& entry : entries) {
        if (entry.endsWith(MAL_EXTENSION, Qt::CaseInsensitive))
            names << morse::AlphabetDirectory::NameOf(entry);
    }
    return names;
}

bool SimpleMorseHandler::TextDirectionRTL()
{
    return d->alphabet.isRightToLeft();
}

void SimpleMorseHandler::ResetInternalState()
{
    d->strPendingSymbols.clear();
    d->bDigit = false;
}

QString SimpleMorseHandler::Translate(const QString& text)
{
    if (d->alphabet.isEmpty())
        return text;

    d->strPendingSymbols += text;
    QString result;
    d->strCode.clear();

    // Works through the pending symbols with a cursor and removes what it consumed once at the
    // end. The loop runs while a separator lies at or after the cursor: up to the last one.
    const int last = lastSeparator(d->strPendingSymbols);
    const QStringView pending(d->strPendingSymbols);
    int pos = 0;
    while (pos <= last) {
        const QStringView rest = pending.mid(pos);
        if (rest.startsWith(DOT) || rest.startsWith(DASH)) {
            d->strCode += rest.front();
            ++pos;
        } else if (rest.startsWith(PAUSE_TOO_SHORT)) {
            pos += PAUSE_TOO_SHORT.size();
        } else if (rest.startsWith(DOT_TOO_SHORT)) {
            pos += DOT_TOO_SHORT.size();
        } else if (rest.startsWith(DASH_TOO_LONG)) {
            pos += DASH_TOO_LONG.size();
        } else if (rest.startsWith(NEW_CHAR)) {
            result += d->convertOneChar(d->strCode);
            d->strCode.clear();
            ++pos;
        } else if (rest.startsWith(NEW_WORD)) {
            result += d->convertOneChar(d->strCode);
            result += QLatin1Char(' ');
            d->strCode.clear();
            ++pos;
        } else if (rest.startsWith(NEW_LINE)) {
            result += d->convertOneChar(d->strCode);
            result += QLatin1Char('\n');
            d->strCode.clear();
            ++pos;
        } else {
            ++pos; // not marker text ("[UNKNOWN]" included): dropped a character at a time
        }
    }
    d->strPendingSymbols.remove(0, pos);

    // Without a separator nothing above consumes them; keep only the newest symbols.
    if (d->strPendingSymbols.size() > MAX_PENDING_SYMBOLS)
        d->strPendingSymbols.remove(0, d->strPendingSymbols.size() - MAX_PENDING_SYMBOLS);
    return result;
}

QString SimpleMorseHandler::Backtranslate(const QString&)
{
    return QString();
}

QString SimpleMorseHandler::ConvertSymbol(short code)
{
    static const QString* const MARKER_TEXTS[morse::SYMBOL_COUNT] = {
        &DOT,      &DASH,          &NEW_CHAR,      &NEW_WORD,
        &NEW_LINE, &DOT_TOO_SHORT, &DASH_TOO_LONG, &PAUSE_TOO_SHORT};
    const int slot = morse::symbolSlot(code & morse::SYMBOL_CODE_MASK);
    return slot < 0 ? QString() : *MARKER_TEXTS[slot];
}

QString SimpleMorseHandler::ConvertSymbols(QVector<short> codes)
{
    QString text;
    for (short code : codes)
        text += ConvertSymbol(code);
    return text;
}

QString SimpleMorseHandler::Private::convertOneChar(const QString& code)
{
    if (code.isEmpty())
        return QString();
    return alphabet.decodeCharacter(code, bDigit);
}

bool SimpleMorseHandler::Private::readMalFile(const QString& fileName)
{
    const QString path = QFileInfo(fileName).isAbsolute() ? fileName : pathInAlphabetsDir(fileName);
    QFile file;
    if (!morse::FileLocator::open(file, path, QIODevice::ReadOnly))
        return false;
    alphabet.load(file);
    return true;
}

QString SimpleMorseHandler::Private::codecNameToFile(const QString& name) const
{
    const QString found = morse::AlphabetDirectory::FileOf(dirAlphabets.path(), name);
    return found.isEmpty() ? morse::AlphabetNames::NONE : QFileInfo(found).fileName();
}

QString SimpleMorseHandler::Private::pathInAlphabetsDir(const QString& fileName) const
{
    return dirAlphabets.path() + QLatin1Char('/') + fileName;
}
