#include "morseencoder.h"

#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsehandler/alphabetdirectory.h"
#include "tools/morsehandler/alphabetfilereader.h"

#include <QFile>

MorseEncoder::MorseEncoder()
{
    const morse::InternationalAlphabet::Entry* entries = morse::InternationalAlphabet::Entries();
    for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i) {
        const QString text = QString::fromLatin1(entries[i].text);
        if (text.size() == 1)
            m_table.insert(text, QString::fromLatin1(entries[i].code));
    }
}

std::vector<std::string> MorseEncoder::demodulatorCodes(const QString& directory,
                                                        const QString& name)
{
    std::vector<std::string> codes;
    MorseEncoder encoder;
    QString error;
    if (name.isEmpty() || !encoder.loadAlphabet(directory, name, error))
        return codes;
    for (const QString& code : encoder.table())
        codes.push_back(code.toStdString());
    return codes;
}

bool MorseEncoder::loadAlphabet(const QString& directory, const QString& name, QString& error)
{
    const QString path = morse::AlphabetDirectory::FileOf(directory, name);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("unknown alphabet \"%1\" (no .mal file of that name in \"%2\")")
                    .arg(name, directory);
        return false;
    }
    bool rightToLeft = false;
    morse::AlphabetFileReader::Read(file, m_table, rightToLeft);
    m_nLongestText = 1;
    for (auto it = m_table.constBegin(); it != m_table.constEnd(); ++it)
        m_nLongestText = qMax(m_nLongestText, it.key().size());
    m_bFromFile = true;
    return true;
}

QMap<QChar, QString> MorseEncoder::characterCodes() const
{
    QMap<QChar, QString> codes;
    for (auto it = m_table.constBegin(); it != m_table.constEnd(); ++it) {
        if (it.key().size() != 1 || it.value().isEmpty())
            continue;
        const QChar character = it.key().at(0);
        codes.insert(character, it.value());
        if (!codes.contains(character.toUpper()))
            codes.insert(character.toUpper(), it.value());
    }
    return codes;
}

int MorseEncoder::match(const QString& text, int at, QString& code) const
{
    for (int length = qMin(m_nLongestText, text.size() - at); length > 0; --length) {
        const QString piece = text.mid(at, length);
        auto it = m_table.constFind(piece);
        if (it == m_table.constEnd())
            it = m_table.constFind(piece.toUpper());
        if (it != m_table.constEnd() && !it.value().isEmpty()) {
            code = it.value();
            return length;
        }
    }
    return 0;
}

bool MorseEncoder::encode(const QString& text, QVector<int>& codes, QString& unknown) const
{
    bool inBlank = false;
    for (int at = 0; at < text.size();) {
        const QChar c = text.at(at);
        if (c == QLatin1Char('\n') || c.isSpace()) {
            if (c == QLatin1Char('\n'))
                codes.append(CODE_END_OF_LINE);
            else if (!inBlank)
                codes.append(CODE_END_OF_WORD);
            inBlank = c != QLatin1Char('\n');
            ++at;
            continue;
        }
        inBlank = false;
        QString code;
        const int length = match(text, at, code);
        if (length == 0) {
            if (!unknown.contains(c))
                unknown += c;
            ++at;
            continue;
        }
        for (const QChar element : code)
            codes.append(element == QLatin1Char('-') ? CODE_DASH : CODE_DOT);
        codes.append(CODE_END_OF_CHARACTER);
        at += length;
    }
    return unknown.isEmpty();
}

QString MorseEncoder::symbolText(const QVector<int>& codes)
{
    static const char SYMBOL_TEXT[] = ".-?cw\n";
    QString text;
    text.reserve(codes.size());
    for (const int code : codes)
        text += QLatin1Char(SYMBOL_TEXT[code]);
    return text;
}
