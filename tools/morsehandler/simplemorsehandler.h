#pragma once

#include "tools/morsehandler/ialphabethandler.h"
#include "tools/morsehandler/morsehandler_export.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

/// The alphabet handler for Morse decoders. Its input is marker text (the form ConvertSymbols
/// gives a decoder's integer symbol codes: "." and "-", a blank ending a character, a tab ending
/// a word, a line feed ending a line); its output is text decoded through an alphabet read from
/// the ".mal" files of its alphabets directory. The host creates it and drives it through
/// IAlphabetHandler; marker text may arrive in pieces of any size.
class MORSEHANDLER_EXPORT SimpleMorseHandler : public IAlphabetHandler
{
public:
    /// Marker text of the Morse symbol codes.
    static const QString DOT;             ///< "."
    static const QString DASH;            ///< "-"
    static const QString NEW_CHAR;        ///< one blank: end of a character
    static const QString NEW_WORD;        ///< one tab: end of a word
    static const QString NEW_LINE;        ///< one line feed: end of a line
    static const QString DOT_TOO_SHORT;   ///< "[PAUSE TO SHORT]", like the other two errors
    static const QString DASH_TOO_LONG;   ///< "[PAUSE TO SHORT]"
    static const QString PAUSE_TOO_SHORT; ///< "[PAUSE TO SHORT]"
    static const QString UNKNOWN;         ///< "[UNKNOWN]"; no operation produces it

    /// Pending symbols without a separator are cut to their last this many characters: no
    /// single character's code comes near it, so only input that never ends a character is lost.
    static constexpr int MAX_PENDING_SYMBOLS = 1024;

    /// Alphabet "None", no directory; nothing is read.
    SimpleMorseHandler();
    /// Copies hold their own alphabet and pending symbols.
    SimpleMorseHandler(const SimpleMorseHandler& other);
    SimpleMorseHandler& operator=(const SimpleMorseHandler& other);
    /// The moved-from handler is left as if newly constructed.
    SimpleMorseHandler(SimpleMorseHandler&& other);
    SimpleMorseHandler& operator=(SimpleMorseHandler&& other);
    ~SimpleMorseHandler() override;

    // Selection.
    /// Where the ".mal" files lie from now on; the selected alphabet is not reloaded.
    void SetAlphabetsDir(const QString& path) override;
    /// Selects the alphabet read from "<name>.mal" (file name matched ignoring letter case), or
    /// none for "None" in any letter case; false when the file cannot be read, and text then
    /// passes through unchanged.
    bool SetAlphabet(const QString& name) override;
    /// Ignored: Morse marker text does not depend on the decoder.
    void SetDecoder(const QString& decoder) override;
    QString Alphabet() override;
    /// "None", then one name per ".mal" file in the order the directory lists them.
    QStringList AvailableAlphabets() override;
    bool TextDirectionRTL() override;

    // Translation.
    /// Forgets pending symbols and the digit that was decoded last.
    void ResetInternalState() override;
    /// Decodes every character whose separator has arrived; the rest waits for the next call.
    /// Unchanged text when no alphabet is selected.
    QString Translate(const QString& text) override;
    /// Always empty: text cannot be turned back into marker text.
    QString Backtranslate(const QString& text) override;

    // Symbol codes to marker text.
    /// The marker text of one symbol code; only its lowest seven bits count.
    static QString ConvertSymbol(short code);
    /// The marker texts of all codes, in order, joined without separator.
    static QString ConvertSymbols(QVector<short> codes);

private:
    friend class SimpleMorseHandlerProbe; ///< lets tests and fuzzers watch the pending symbols

    /// The symbols received since the last separator.
    const QString& pendingSymbols() const;

    /// The directory, the alphabet and the pending symbols, kept out of this header so that
    /// they can change without changing the binary interface.
    class Private;
    std::unique_ptr<Private> d;
};
