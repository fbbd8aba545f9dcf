#pragma once

#include "host/observable.h"
#include "tools/morsehandler/morsehandler_export.h"

#include <QObject>
#include <QString>

#include <memory>

namespace values {
class ValueSelection;
} // namespace values

/// Morse reception: turns the stream of Morse symbol codes that a demodulator publishes on the
/// host's value tree into characters, words and lines, publishes each unit of text, keeps a
/// bounded record of the symbol stream, and while saving writes session files and feeds the
/// result-data report.
///
/// The host constructs it, binds it to its values by path, starts a session and then drives it
/// through change notices and a few direct calls, all on one thread. A value that goes away is
/// forgotten; reception goes on without it. Session files or a report that cannot be written (a
/// full disk, a missing directory) cost the text that could not be stored, never the reception:
/// each failure episode is traced and told on the save-state value as it starts and ends, with
/// what was lost, and every later write tries again.
class MORSEHANDLER_EXPORT MorseHandler : public QObject, public IObserver
{
    Q_OBJECT

public:
    /// Codes held while processing is off; beyond this the oldest are dropped.
    static constexpr int SYMBOL_LIST_LIMIT = 100000;
    /// The symbol buffer always stays shorter than this.
    static constexpr int SYMBOL_BUFFER_LIMIT = 30000;
    /// Dots and dashes a character may have. A longer code is no alphabet's: the character
    /// ends as an error, with the marker "[CHARACTER_TOO_LONG]" after it in the session files.
    static constexpr int CHARACTER_CODE_LIMIT = 256;
    /// A session file that has grown past this many bytes is continued in a new file.
    static constexpr qint64 SESSION_FILE_LIMIT = 256000;

    /// Unbound, no session, no alphabet loaded; saves into the system's temporary directory.
    MorseHandler();
    /// Closes the session files and unregisters from every observed value.
    ~MorseHandler() override;

    // --- Binding: each takes the full "/"-separated path of a value of the tree. A path that
    // does not hold a value of the expected type leaves the role empty. ---
    /// The demodulator's symbol codes (ValueNumeric<int>): each change is one AddSymbol.
    void SetSymbol_ValuePath(const QString& strPath);
    /// Whether Morse reception is available (Value<bool>); also takes the flag at once.
    void SetMorseAvailable_ValuePath(const QString& strPath);
    /// Where each decoded character, word and line end is published (Value<QString>). A repeated
    /// character is announced again although the value does not change.
    void SetMorseText_ValuePath(const QString& strPath);
    /// The alphabet choice (ValueSelection): its current item names the ".mal" file. Not
    /// observed; read by ChangeAlphabet and for the session file names.
    void SetMorseAlphabet_ValuePath(const QString& strPath);
    /// Also takes the alphabet directory from the value, ending in a backslash.
    void SetMorseAlphabet_DirectoryPath(const QString& strPath);
    /// Also takes the save flag from the value.
    void SetMorseSaveToFile_ValuePath(const QString& strPath);
    /// Also sets the value to true; a trigger (code 19) on it saves the report.
    void SetMorseXmlSaveToFile_ValuePath(const QString& strPath);
    /// Receives the loaded alphabet's right-to-left flag (Value<bool>); not observed.
    void SetTextDirectionRTL_ValuePath(const QString& strPath);
    /// The tuned frequency in Hz (ValueNumeric<double>): part of the session file names; a
    /// change while saving starts new files.
    void SetFrequency_ValuePath(const QString& strPath);
    /// The modulation type (ValueSelection): a change while saving starts new files.
    void SetModtype_ValuePath(const QString& strPath);
    /// The decoder result selection (ValueSelection): a change while saving starts new files.
    void SetDecResult_ValuePath(const QString& strPath);
    /// Receives a message (Value<QString>) as each failure episode of saving starts ("cannot
    /// write ...") and ends ("writing works again: ...; lost: ..." with the characters and the
    /// time range lost, or "closed while failing: ..."); not observed.
    void SetSaveState_ValuePath(const QString& strPath);
    /// Set (or announced again) to ask the host for its tuner settings when a report begins.
    void SetGenXmlTunerDemodulatorSettingsPath(const QString& strPath);
    /// The host's answer to that request (Value<QString>), handed to the report.
    void SetXmlTunerDemodulatorSettings(const QString& strPath);
    /// The directory of the session files and the report, and the values that receive the
    /// full path of each file when it is opened.
    void SetSaveDirectoryPath(const QString& strDirectory, const QString& strTextFileNamePath,
                              const QString& strCodeFileNamePath,
                              const QString& strXmlFileNamePath);

    // --- Reception ---
    /// Queues one Morse symbol code and processes the oldest queued one.
    void AddSymbol(int nCode);
    /// A new time in microseconds since 1970-01-01 00:00 UTC, for line stamps and the report.
    void SetTimestamp(const quint64& u64Timestamp);
    /// Empties the symbol buffer; the character being received and the files are left alone.
    void ClearSymbolBuffer();
    /// The symbol buffer itself: the symbol string of the reception so far (at most 29999
    /// symbol texts). A reference held to it always shows the current buffer.
    const QString& GetCurrentMorseSymbolString() const;
    /// The text of the whole symbol buffer, or with @p bPart, @p bFromEnd and @p nCount >= 1
    /// of its last @p nCount units. The translator's shared result string.
    const QString& TranslateText(bool bPart, bool bFromEnd, int nCount);
    /// Loads the selected alphabet into the translator (the built-in one when that fails) and
    /// publishes its text direction; whether the file was loaded.
    bool ChangeAlphabet();
    /// The bound alphabet selection, or null.
    values::ValueSelection* GetMorseAlphabet();

    // --- Session ---
    /// Loads the selected alphabet (ChangeAlphabet), takes the available flag from its value and
    /// starts processing; whether the alphabet file was loaded.
    bool StartNewMorseSession();
    /// Stops processing, forgets the symbol buffer and the character being received, and closes
    /// the session files. Codes still queued stay for the next session.
    void EndMorseSession();
    /// Sets the available and started flags together.
    void SetMorseAvailable(bool bAvailable);
    /// Derives and keeps the IPC suffix of @p strId: "__SG", its first character, "_IPC" and its
    /// last two characters, or only the last one when the two begin with "0".
    void SetIpcIdentifier(const QString& strId);
    /// Whether any text meant for the session files or the report has been lost (a failure
    /// episode ended with a loss, or with the file still failing).
    bool HasLostSavedData() const;
    /// Accepted; reception does not depend on them.
    void SetBaudrate(double dBaudrate);
    /// Accepted; reception does not depend on it.
    void SetFrequencyOffset(double dOffset);

protected slots:
    /// Publishes the report's file name on the XML-file-name value.
    void SetXmlFileName(const QString& strXmlFileName);
    /// Asks the host for the tuner settings through the generate-settings value.
    void GetXmlTunerDemodulatorSettings();

protected:
    /// Change notices of the observed values: new symbols, switches, restarts of the session
    /// files, report saves (a trigger on the XML-save value) and values going away.
    void Update(Observable* pSubject, TChangeCode eCode) override;

    /// Ends the character being received: decodes, publishes and saves it.
    void ProcessNewChar(const QString& strSymbol);
    /// Ends the character being received and the word: publishes it with one blank.
    void ProcessNewWord(const QString& strSymbol);
    /// Ends the line: publishes a line feed and saves the stop and start times of the last two
    /// timestamps; nothing happens before two timestamps were given.
    void ProcessNewLine(const QString& strSymbol);
    /// Appends to the symbol buffer, dropping its oldest symbols to stay below the limit.
    void AddToSymbolBuffer(const QString& strSymbol);
    /// Hands the tuner-settings value's text to the report.
    void ProcessUpdateTunerDemodulatorSettings();

private:
    /// Processes the oldest queued code, dispatching on its symbol code.
    void ProcessSymbolList();
    QString BuildAlphabetPath() const;
    /// Adds a dot or dash to the character being received, or ends it as too long.
    void appendToCharacter(const QString& strSymbol);
    /// Publishes a character or word on the Morse-text value, repeating an equal one.
    void publishUnit(const QString& strUnit);

    class Private; // the bound values, the reception state and what the handler owns

    std::unique_ptr<Private> d;
};
