#include "textsymbolsource.h"

#include "commandline.h"

#include "tools/morsecore/morsesymbolcode.h"

#include <QIODevice>

#include <limits>

namespace {

/// A code that carries no symbol: it only delivers a timestamp to the handler.
constexpr int CODE_NO_SYMBOL = 2;

bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\v' || c == '\f';
}

bool isSymbolText(const QByteArray& token)
{
    for (const char c : token) {
        if (c != '.' && c != '-' && c != 'c' && c != 'w')
            return false;
    }
    return true;
}

bool looksNumeric(const QByteArray& token)
{
    int i = (token.startsWith('-') || token.startsWith('+')) ? 1 : 0;
    if (i >= token.size())
        return false;
    for (; i < token.size(); ++i) {
        if (token.at(i) < '0' || token.at(i) > '9')
            return false;
    }
    return true;
}

/// The integer of the digits from @p begin to @p end, with an optional sign (the token looks
/// numeric); false when it does not fit an int.
bool toCode(const char* begin, const char* end, int& code)
{
    const bool negative = *begin == '-';
    if (*begin == '-' || *begin == '+')
        ++begin;
    const qint64 limit =
        negative ? -qint64(std::numeric_limits<int>::min()) : std::numeric_limits<int>::max();
    qint64 value = 0;
    for (; begin != end; ++begin) {
        value = value * 10 + (*begin - '0');
        if (value > limit)
            return false;
    }
    code = int(negative ? -value : value);
    return true;
}

int symbolCode(char c)
{
    switch (c) {
    case '.':
        return morse::SYMBOL_DOT;
    case '-':
        return morse::SYMBOL_DASH;
    case 'c':
        return morse::SYMBOL_END_OF_CHARACTER;
    default:
        return morse::SYMBOL_END_OF_WORD;
    }
}

} // namespace

TextSymbolSource::TextSymbolSource(std::unique_ptr<QIODevice> device) : m_device(std::move(device))
{
}

TextSymbolSource::~TextSymbolSource() = default;

QString TextSymbolSource::formatDescription()
{
    return QStringLiteral(
        "Input: Morse symbol codes as text, one reception read line by line.\n"
        "  0 1 3 1 0 0 0 3 4     integers separated by blanks, tabs or commas:\n"
        "                        0 dot, 1 dash, 3 end of character, 4 end of word,\n"
        "                        5 end of line, 64/65/66 dot too short/dash too long/\n"
        "                        pause too short; other codes carry no symbol\n"
        "  .-c-...cw             symbol text: . dot, - dash, c end of character,\n"
        "                        w end of word; the end of the line is an end of line\n"
        "  @t 1700000000000000   the time of the following codes, in microseconds\n"
        "                        since 1970-01-01 00:00 UTC (a line end needs two)\n"
        "  # ...                 a comment, to the end of the line\n"
        "A line holds integers or symbol text, not both.\n");
}

bool TextSymbolSource::next(Symbol& symbol)
{
    while (m_pending.empty()) {
        if (!readLine())
            return false;
    }
    symbol = m_pending.front();
    m_pending.pop_front();
    return true;
}

double TextSymbolSource::progress() const
{
    if (!m_device || m_device->isSequential() || m_device->size() <= 0)
        return -1.0;
    return double(m_device->pos()) / double(m_device->size());
}

QString TextSymbolSource::errorString() const
{
    return m_error;
}

bool TextSymbolSource::fail(const QString& message)
{
    m_error = QStringLiteral("line %1: %2").arg(m_lineNumber).arg(message);
    m_finished = true;
    m_pending.clear();
    return false;
}

void TextSymbolSource::pushCode(int code)
{
    Symbol symbol;
    symbol.code = code;
    symbol.hasTimestamp = m_hasTimestamp;
    symbol.timestampUs = m_timestampUs;
    m_hasTimestamp = false;
    m_pending.push_back(symbol);
}

bool TextSymbolSource::readLine()
{
    if (m_finished)
        return false;
    // Read in small pieces, so that memory follows the line's real length.
    QByteArray& line = m_line;
    line.resize(0);
    char chunk[4096];
    while (m_device && !line.endsWith('\n') && line.size() <= MAX_LINE_LENGTH) {
        const qint64 count = m_device->readLine(chunk, sizeof chunk);
        if (count <= 0)
            break;
        line.append(chunk, static_cast<int>(count));
    }
    if (line.isEmpty()) {
        m_finished = true;
        if (m_hasTimestamp)
            pushCode(CODE_NO_SYMBOL); // a time that no code followed still counts
        return !m_pending.empty();
    }
    ++m_lineNumber;
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.size() > MAX_LINE_LENGTH)
        return fail(QStringLiteral("longer than %1 bytes").arg(MAX_LINE_LENGTH));
    if (line.endsWith('\r'))
        line.chop(1);
    return parseLine(line);
}

bool TextSymbolSource::parseLine(const QByteArray& rawLine)
{
    const int comment = rawLine.indexOf('#');
    const int length = comment < 0 ? rawLine.size() : comment;
    const char* const line = rawLine.constData();

    // Tokens as (start, length) pairs: a line is split without a copy of each token.
    m_tokens.clear();
    int start = -1;
    for (int i = 0; i <= length; ++i) {
        const bool atSeparator = i == length || isSeparator(line[i]);
        if (atSeparator && start >= 0) {
            m_tokens.emplace_back(start, i - start);
            start = -1;
        } else if (!atSeparator && start < 0) {
            start = i;
        }
    }
    if (m_tokens.empty())
        return true;
    const auto token = [&](size_t n) {
        return QByteArray::fromRawData(line + m_tokens[n].first, m_tokens[n].second);
    };

    if (line[m_tokens.front().first] == '@') {
        if (token(0) != "@t")
            return fail(QStringLiteral("unknown directive \"%1\"; only @t is known")
                            .arg(CommandLine::Shown(token(0))));
        bool ok = m_tokens.size() == 2 && looksNumeric(token(1)) && !token(1).startsWith('-') &&
                  !token(1).startsWith('+');
        const quint64 timestamp = ok ? token(1).toULongLong(&ok) : 0;
        if (!ok)
            return fail(QStringLiteral("expected \"@t MICROSECONDS\" with one unsigned number"));
        if (m_hasTimestamp)
            pushCode(CODE_NO_SYMBOL); // the earlier time had no code of its own
        m_hasTimestamp = true;
        m_timestampUs = timestamp;
        return true;
    }

    int numbers = 0;
    int symbolTexts = 0;
    for (size_t n = 0; n < m_tokens.size(); ++n) {
        if (looksNumeric(token(n)))
            ++numbers;
        else if (isSymbolText(token(n)))
            ++symbolTexts;
        else
            return fail(QStringLiteral("cannot read \"%1\": expected integer codes, symbol text "
                                       "of . - c w, or @t MICROSECONDS")
                            .arg(CommandLine::Shown(token(n))));
    }
    if (numbers > 0 && symbolTexts > 0)
        return fail(QStringLiteral("mixes integer codes and symbol text"));

    for (size_t n = 0; n < m_tokens.size(); ++n) {
        const char* const begin = line + m_tokens[n].first;
        const char* const end = begin + m_tokens[n].second;
        if (numbers > 0) {
            int code = 0;
            if (!toCode(begin, end, code))
                return fail(
                    QStringLiteral("\"%1\" is out of range").arg(CommandLine::Shown(token(n))));
            pushCode(code);
        } else {
            for (const char* c = begin; c != end; ++c)
                pushCode(symbolCode(*c));
        }
    }
    if (symbolTexts > 0)
        pushCode(morse::SYMBOL_END_OF_LINE);
    return true;
}
