#pragma once

#include <string>
#include <vector>

#include <QMap>
#include <QString>
#include <QVector>

/// Turns text into Morse symbol codes through an alphabet: the built-in International one, or
/// a .mal file of an alphabets directory. `encode` and `synth` share it, and `decode` asks it
/// for the codes a recording is expected to hold.
class MorseEncoder
{
public:
    /// Symbol codes as a demodulator delivers them.
    enum Code
    {
        CODE_DOT = 0,
        CODE_DASH = 1,
        CODE_END_OF_CHARACTER = 3,
        CODE_END_OF_WORD = 4,
        CODE_END_OF_LINE = 5,
    };

    /// The built-in International alphabet (its whole words "WARNING" and "ERROR" aside: text
    /// is spelled out letter by letter).
    MorseEncoder();

    /// Uses the alphabet @p name of @p directory; false with @p error when there is none.
    bool loadAlphabet(const QString& directory, const QString& name, QString& error);
    /// The dots and dashes of the alphabet @p name of @p directory, for a CW demodulator to
    /// expect; empty for the built-in alphabet (no name) or one that cannot be read (the
    /// Morse handler reports that).
    static std::vector<std::string> demodulatorCodes(const QString& directory, const QString& name);
    /// Whether the alphabet in use was read from a file.
    bool fromFile() const { return m_bFromFile; }
    /// Text to dots and dashes (".-") of the alphabet in use.
    const QMap<QString, QString>& table() const { return m_table; }
    /// The dots and dashes of each single character of the alphabet, under the character as
    /// written and in upper case.
    QMap<QChar, QString> characterCodes() const;

    /// The codes of @p text: each character's dots and dashes and an end of character, an end
    /// of word for each run of blanks, an end of line for a line feed. Letters are matched as
    /// given, else in upper case; the longest text of the alphabet wins. False when characters
    /// have no code; @p unknown then lists them once each.
    bool encode(const QString& text, QVector<int>& codes, QString& unknown) const;
    /// The text of @p codes as symbol text: . - c w and line feeds.
    static QString symbolText(const QVector<int>& codes);

private:
    /// Length of the longest alphabet text matching @p text at @p at, 0 if none; its code in
    /// @p code.
    int match(const QString& text, int at, QString& code) const;

    QMap<QString, QString> m_table;
    int m_nLongestText = 1;
    bool m_bFromFile = false;
};
