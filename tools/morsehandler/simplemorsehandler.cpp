#include "tools/morsehandler/simplemorsehandler.h"

#include "tools/morsehandler/alphabetdirectory.h"
#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/filelocator.h"
#include "tools/morsecore/morsesymbolcode.h"

#include <QFile>
#include <QFileInfo>
#include <QStringView>

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

SimpleMorseHandler::SimpleMorseHandler()
    : m_dirAlphabets(QString()), m_strAlphabet(morse::AlphabetNames::NONE)
{
}

SimpleMorseHandler::~SimpleMorseHandler() = default;

void SimpleMorseHandler::SetAlphabetsDir(const QString& path)
{
    m_dirAlphabets.setPath(path);
}

bool SimpleMorseHandler::SetAlphabet(const QString& name)
{
    m_strAlphabet = name;
    m_alphabet.clear();
    ResetInternalState();
    if (name.compare(morse::AlphabetNames::NONE, Qt::CaseInsensitive) == 0) {
        m_strAlphabet = morse::AlphabetNames::NONE;
        return true;
    }
    return readMalFile(codecNameToFile(name));
}

void SimpleMorseHandler::SetDecoder(const QString&) {}

QString SimpleMorseHandler::Alphabet()
{
    return m_strAlphabet;
}

QStringList SimpleMorseHandler::AvailableAlphabets()
{
    QStringList names{morse::AlphabetNames::NONE};
    QDir dir(m_dirAlphabets);
    if (!dir.exists() && dir.path().contains(QLatin1Char('\\')))
        dir.setPath(QString(dir.path()).replace(QLatin1Char('\\'), QLatin1Char('/')));
    const QStringList entries = dir.entryList(QDir::Files, QDir::Unsorted);
    for (const QString& entry : entries) {
        if (entry.endsWith(MAL_EXTENSION, Qt::CaseInsensitive))
            names << fileToCodecName(entry);
    }
    return names;
}

bool SimpleMorseHandler::TextDirectionRTL()
{
    return m_alphabet.isRightToLeft();
}

void SimpleMorseHandler::ResetInternalState()
{
    m_strPendingSymbols.clear();
    m_bDigit = false;
}

QString SimpleMorseHandler::Translate(const QString& text)
{
    if (m_alphabet.isEmpty())
        return text;

    m_strPendingSymbols += text;
    QString result;
    m_strCode.clear();

    // Works through the pending symbols with a cursor and removes what it consumed once at the
    // end. The loop runs while a separator lies at or after the cursor: up to the last one.
    const int last = lastSeparator(m_strPendingSymbols);
    const QStringView pending(m_strPendingSymbols);
    int pos = 0;
    while (pos <= last) {
        const QStringView rest = pending.mid(pos);
        if (rest.startsWith(DOT) || rest.startsWith(DASH)) {
            m_strCode += rest.front();
            ++pos;
        } else if (rest.startsWith(PAUSE_TOO_SHORT)) {
            pos += PAUSE_TOO_SHORT.size();
        } else if (rest.startsWith(DOT_TOO_SHORT)) {
            pos += DOT_TOO_SHORT.size();
        } else if (rest.startsWith(DASH_TOO_LONG)) {
            pos += DASH_TOO_LONG.size();
        } else if (rest.startsWith(NEW_CHAR)) {
            result += ConvertOneChar(m_strCode);
            m_strCode.clear();
            ++pos;
        } else if (rest.startsWith(NEW_WORD)) {
            result += ConvertOneChar(m_strCode);
            result += QLatin1Char(' ');
            m_strCode.clear();
            ++pos;
        } else if (rest.startsWith(NEW_LINE)) {
            result += ConvertOneChar(m_strCode);
            result += QLatin1Char('\n');
            m_strCode.clear();
            ++pos;
        } else {
            ++pos; // not marker text ("[UNKNOWN]" included): dropped a character at a time
        }
    }
    m_strPendingSymbols.remove(0, pos);

    // Without a separator nothing above consumes them; keep only the newest symbols.
    if (m_strPendingSymbols.size() > MAX_PENDING_SYMBOLS)
        m_strPendingSymbols.remove(0, m_strPendingSymbols.size() - MAX_PENDING_SYMBOLS);
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

QString SimpleMorseHandler::ConvertOneChar(const QString& code)
{
    if (code.isEmpty())
        return QString();
    return m_alphabet.decodeCharacter(code, m_bDigit);
}

bool SimpleMorseHandler::readMalFile(const QString& fileName)
{
    const QString path = QFileInfo(fileName).isAbsolute() ? fileName : pathInAlphabetsDir(fileName);
    QFile file;
    if (!morse::FileLocator::open(file, path, QIODevice::ReadOnly))
        return false;
    m_alphabet.load(file);
    return true;
}

QString SimpleMorseHandler::codecNameToFile(const QString& name)
{
    const QString found = morse::AlphabetDirectory::FileOf(m_dirAlphabets.path(), name);
    return found.isEmpty() ? morse::AlphabetNames::NONE : QFileInfo(found).fileName();
}

QString SimpleMorseHandler::fileToCodecName(const QString& fileName)
{
    return morse::AlphabetDirectory::NameOf(fileName);
}

QString SimpleMorseHandler::pathInAlphabetsDir(const QString& fileName) const
{
    return m_dirAlphabets.path() + QLatin1Char('/') + fileName;
}
