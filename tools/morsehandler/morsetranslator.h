#pragma once

#include "tools/morsehandler/morsehandler_export.h"

#include <QMap>
#include <QString>

#include <memory>

/// Holds one Morse alphabet (text to dot-and-dash code) and turns Morse into text: one symbol
/// code, one character code or a whole symbol string. Each MorseHandler owns one.
///
/// DecodeMorse and Translate return result strings shared by every translator of the process:
/// each call overwrites them, so callers copy a result they want to keep, and the two are not
/// reentrant across threads.
class MORSEHANDLER_EXPORT MorseTranslator
{
public:
    // Symbol texts of the Morse symbol codes.
    static const QString DOT;             ///< code 0: "."
    static const QString DASH;            ///< code 1: "-"
    static const QString NEW_CHAR;        ///< code 3, end of a character: "c"
    static const QString NEW_WORD;        ///< code 4, end of a word: "w"
    static const QString NEW_LINE;        ///< code 5, end of a line: one line feed
    static const QString DOT_TOO_SHORT;   ///< code 64: "[DOT_TOO_SHORT]"
    static const QString DASH_TOO_LONG;   ///< code 65: "[DASH_TOO_LONG]"
    static const QString PAUSE_TOO_SHORT; ///< code 66: "[PAUSE_TOO_SHORT]"

    /// An empty alphabet: every code decodes to the empty string until SetMorseAlphabet.
    MorseTranslator();
    /// Copies hold their own alphabet.
    MorseTranslator(const MorseTranslator& other);
    MorseTranslator& operator=(const MorseTranslator& other);
    /// The moved-from translator is left with an empty alphabet, as if newly constructed.
    MorseTranslator(MorseTranslator&& other);
    MorseTranslator& operator=(MorseTranslator&& other) noexcept;
    virtual ~MorseTranslator();

    /// Loads the alphabet file at @p path (backslashes and letter case are forgiven), or the
    /// built-in International alphabet when @p path is empty or cannot be opened. True only
    /// when the file was opened.
    bool SetMorseAlphabet(const QString& path);

    /// The symbol text of a seven-bit Morse symbol code; empty for codes without one.
    const QString& DecodeSymbol(int code);
    /// The text whose code is exactly @p code (the smallest such text in key order), or empty.
    const QString& DecodeMorse(const QString& code);
    /// The text of a symbol string of ".", "-", "c", "w" and line feeds.
    const QString& Translate(const QString& text);

    bool isTextDirectionRTL() const;

    /// The loaded alphabet, text to code.
    const QMap<QString, QString>& AlphabetMap() const;

private:
    /// The alphabet and the scratch state, kept out of this header so that they can change
    /// without changing the binary interface.
    class Private;
    std::unique_ptr<Private> d;
};
