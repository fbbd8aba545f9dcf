#pragma once

#include "host/tarndatetime.h"
#include "host/values.h"
#include "tools/morsehandler/morsehandler_export.h"
#include "tools/morsehandler/symbolqueue.h"
#include "tools/morsehandler/unobservedvalue.h"

#include <QObject>
#include <QString>

#include <memory>

class MorseTranslator;
class OrielResultDataHandler;
class QFile;
class QTextStream;

/// Morse reception: turns the stream of Morse symbol codes that a demodulator publishes on the
/// host's value tree into characters, words and lines, publishes each unit of text, keeps a
/// bounded record of the symbol stream, and while saving writes session files and feeds the
/// result-data report.
///
/// The host constructs it, binds it to its values by path, starts a session and then drives it
/// through change notices and a few direct calls, all on one thread.
class MORSEHANDLER_EXPORT MorseHandler : public QObject, public IObserver
{
    Q_OBJECT

public:
    /// Codes held while processing is off; beyond this the oldest are dropped.
    static constexpr int SYMBOL_LIST_LIMIT = 100000;
    /// The symbol buffer always stays shorter than this.
    static constexpr int SYMBOL_BUFFER_LIMIT = 30000;
    /// A session file that has grown past this many bytes is continued in a new file.
    static constexpr qint64 SESSION_FILE_LIMIT = 256000;

    MorseHandler();
    ~MorseHandler() override;

    // --- Binding: each takes the full "/"-separated path of a value of the tree. ---
    void SetSymbol_ValuePath(const QString& strPath);
    /// Also takes the available flag from the value.
    void SetMorseAvailable_ValuePath(const QString& strPath);
    void SetMorseText_ValuePath(const QString& strPath);
    void SetMorseAlphabet_ValuePath(const QString& strPath);
    /// Also takes the alphabet directory from the value, ending in a backslash.
    void SetMorseAlphabet_DirectoryPath(const QString& strPath);
    /// Also takes the save flag from the value.
    void SetMorseSaveToFile_ValuePath(const QString& strPath);
    /// Also sets the value to true; a trigger (code 19) on it saves the report.
    void SetMorseXmlSaveToFile_ValuePath(const QString& strPath);
    void SetTextDirectionRTL_ValuePath(const QString& strPath);
    void SetFrequency_ValuePath(const QString& strPath);
    void SetModtype_ValuePath(const QString& strPath);
    void SetDecResult_ValuePath(const QString& strPath);
    void SetGenXmlTunerDemodulatorSettingsPath(const QString& strPath);
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
    void ClearSymbolBuffer();
    /// The symbol string of the reception so far (at most 29999 symbol texts).
    const QString& GetCurrentMorseSymbolString() const;
    /// The text of the whole symbol buffer, or with @p bPart, @p bFromEnd and @p nCount >= 1
    /// of its last @p nCount units. The translator's shared result string.
    const QString& TranslateText(bool bPart, bool bFromEnd, int nCount);
    /// Loads the selected alphabet into the translator (the built-in one when that fails) and
    /// publishes its text direction; whether the file was loaded.
    bool ChangeAlphabet();
    values::ValueSelection* GetMorseAlphabet();

    // --- Session ---
    bool StartNewMorseSession();
    void EndMorseSession();
    /// Sets the available and started flags together.
    void SetMorseAvailable(bool bAvailable);
    void SetIpcIdentifier(const QString& strId);
    /// Accepted; reception does not depend on them.
    void SetBaudrate(double dBaudrate);
    void SetFrequencyOffset(double dOffset);

protected slots:
    /// Publishes the report's file name on the XML-file-name value.
    void SetXmlFileName(const QString& strXmlFileName);
    /// Asks the host for the tuner settings through the generate-settings value.
    void GetXmlTunerDemodulatorSettings();

protected:
    void Update(Observable* pSubject, TChangeCode eCode) override;

    void ProcessNewChar(const QString& strSymbol);
    void ProcessNewWord(const QString& strSymbol);
    void ProcessNewLine(const QString& strSymbol);
    void AddToSymbolBuffer(const QString& strSymbol);
    void ProcessUpdateTunerDemodulatorSettings();

private:
    void ProcessSymbolList();
    QString GetPartOfSymbolString(bool bFromEnd, int nCount) const;
    QString BuildAlphabetPath() const;
    /// Publishes a character or word on the Morse-text value, repeating an equal one.
    void publishUnit(const QString& strUnit);

    // Session files (morsehandler_sessionfiles.cpp).
    void SaveCodeAndText(const QString& strCode, const QString& strText);
    void PrepareSavingMorseCode();
    void PrepareSavingMorseText();
    bool CheckIfNewCodeFile();
    bool CheckIfNewTextFile();
    void CreateCodeFilename();
    void CreateTextFilename();
    void OpenMorseCode();
    void OpenMorseText();
    void CloseAllFiles();
    void RestartFiles();
    QString frequencyPart() const;
    QString alphabetName() const;

    // Binding helpers.
    template <class T> void bindObserved(T*& pRole, const QString& strPath);
    template <class T> void unbindObserved(T*& pRole);
    int observedRoleCount(const Observable* pValue) const;
    void forgetGoingAway(Observable* pSubject);
    void traceUnresolved(const char* szOperation, const QString& strPath, int nLine) const;

    // Observed values of the tree, held but not owned; each is forgotten when it goes away.
    values::ValueNumeric<int>* m_pSymbolValue = nullptr;
    values::Value<bool>* m_pMorseAvailableValue = nullptr;
    values::Value<QString>* m_pMorseTextValue = nullptr;
    values::Value<bool>* m_pSaveToFileValue = nullptr;
    values::Value<bool>* m_pXmlSaveValue = nullptr;
    values::Value<QString>* m_pAlphabetDirectoryValue = nullptr;
    values::ValueNumeric<double>* m_pFrequencyValue = nullptr;
    values::ValueSelection* m_pModtypeValue = nullptr;
    values::ValueSelection* m_pDecResultValue = nullptr;
    values::Value<QString>* m_pTunerSettingsValue = nullptr;
    // Values used without observing them: looked up again on each use.
    morse::UnobservedValue<values::ValueSelection> m_alphabetSelection;
    morse::UnobservedValue<values::Value<bool>> m_textDirectionRTLValue;
    morse::UnobservedValue<values::Value<QString>> m_textFileNameValue;
    morse::UnobservedValue<values::Value<QString>> m_xmlFileNameValue;
    morse::UnobservedValue<values::Value<QString>> m_codeFileNameValue;
    morse::UnobservedValue<values::Value<bool>> m_genSettingsValue;

    std::unique_ptr<MorseTranslator> m_pTranslator;
    QString m_strAlphabetDirectory;

    // The symbol buffer is m_strSymbolStorage from m_nSymbolStart on: trimming its front moves
    // the start, and the storage is compacted only once the dropped part has grown large.
    QString m_strSymbolStorage;
    int m_nSymbolStart = 0;
    mutable QString m_strSymbolView; // the buffer as one string, made on request
    mutable bool m_bSymbolViewValid = false;

    QString m_strCharacterCode;
    QString m_strPendingMarkers;
    QString m_strSaveDirectory;
    QString m_strCodeFileName;
    QString m_strTextFileName;
    QString m_strIpcSuffix;
    std::unique_ptr<QFile> m_pTextFile;
    std::unique_ptr<QTextStream> m_pTextStream;
    std::unique_ptr<QFile> m_pCodeFile;
    std::unique_ptr<QTextStream> m_pCodeStream;
    bool m_bAvailable = false;
    bool m_bStarted = false;
    bool m_bSaveToFile = false;
    bool m_bDigit = false;
    bool m_bSymbolListOverflowing = false;
    int m_nCodeCharCount = 0;
    int m_nTextCharCount = 0;
    morse::SymbolQueue m_symbolList;
    Tarn::DateTime m_lineClock;
    quint64 m_u64PreviousTimestamp = ~quint64(0);
    quint64 m_u64CurrentTimestamp = ~quint64(0);
    OrielResultDataHandler* m_pReportHandler = nullptr; // owned; also a QObject child
};
