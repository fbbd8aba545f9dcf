#include "tools/morsehandler/morsehandler.h"

#include "host/tarndatetime.h"
#include "host/values.h"
#include "tools/morsecore/morsesymbolcode.h"
#include "tools/morsehandler/alphabet.h"
#include "tools/morsehandler/boundedbuffer.h"
#include "tools/morsehandler/ipcsuffix.h"
#include "tools/morsehandler/morsetranslator.h"
#include "tools/morsehandler/orielresultdatahandler.h"
#include "tools/morsehandler/sessionfiles.h"
#include "tools/morsehandler/symbolbuffer.h"
#include "tools/morsehandler/trace.h"
#include "tools/morsehandler/unobservedvalue.h"
#include "tools/morsehandler/valuebindings.h"

#include <QDir>
#include <QVector>

using morse::BoundValue;

namespace {

const QString SOURCE_FILE = QStringLiteral("tools\\morsehandler\\morsehandler");
const QString BLANK = QStringLiteral(" ");
/// Written to the session files after a character whose code grew past CHARACTER_CODE_LIMIT.
const QString CHARACTER_TOO_LONG_MARKER = QStringLiteral("[CHARACTER_TOO_LONG]");
const QString STOP_TIME_LABEL = QStringLiteral("[Stop Time:  ");
const QString START_TIME_LABEL = QStringLiteral("[Start Time:  ");
constexpr quint64 TIMESTAMP_UNSET = ~quint64(0);

QString withTrailingBackslash(const QString& strDirectory)
{
    return strDirectory.endsWith(QLatin1Char('\\')) ? strDirectory
                                                    : strDirectory + QLatin1Char('\\');
}

/// The tuned frequency as the session file names give it: "7_030KHz", "14_070MHz".
QString frequencyPart(const values::ValueNumeric<double>* pFrequency)
{
    if (!pFrequency)
        return QString();
    // Single precision at each step, as the names have always been made: it decides how the
    // last decimal rounds.
    const float fHz = static_cast<float>(pFrequency->GetValue());
    const float fKHz = static_cast<float>(fHz / 1000.0);
    QString strPart;
    if (fKHz > 1000.0) {
        const float fMHz = static_cast<float>(fKHz / 1000.0);
        strPart = QString::number(fMHz, 'f', 3) + QStringLiteral("MHz");
    } else {
        strPart = QString::number(fKHz, 'f', 3) + QStringLiteral("KHz");
    }
    strPart.replace(QLatin1Char('.'), QLatin1Char('_'));
    return strPart;
}

} // namespace

/// The values of the tree a MorseHandler is bound to. Observed ones are forgotten when they go
/// away; the others are looked up again on each use.
struct MorseHandlerValues
{
    explicit MorseHandlerValues(IObserver* pObserver)
        : m_bindings(pObserver, {&m_pSymbolValue, &m_pMorseAvailableValue, &m_pMorseTextValue,
                                 &m_pSaveToFileValue, &m_pXmlSaveValue, &m_pAlphabetDirectoryValue,
                                 &m_pFrequencyValue, &m_pModtypeValue, &m_pDecResultValue,
                                 &m_pTunerSettingsValue})
    {
    }

    BoundValue<values::ValueNumeric<int>> m_pSymbolValue;
    BoundValue<values::Value<bool>> m_pMorseAvailableValue;
    BoundValue<values::Value<QString>> m_pMorseTextValue;
    BoundValue<values::Value<bool>> m_pSaveToFileValue;
    BoundValue<values::Value<bool>> m_pXmlSaveValue;
    BoundValue<values::Value<QString>> m_pAlphabetDirectoryValue;
    BoundValue<values::ValueNumeric<double>> m_pFrequencyValue;
    BoundValue<values::ValueSelection> m_pModtypeValue;
    BoundValue<values::ValueSelection> m_pDecResultValue;
    BoundValue<values::Value<QString>> m_pTunerSettingsValue;
    morse::ValueBindings m_bindings;

    morse::UnobservedValue<values::ValueSelection> m_alphabetSelection;
    morse::UnobservedValue<values::Value<bool>> m_textDirectionRTLValue;
    morse::UnobservedValue<values::Value<QString>> m_textFileNameValue;
    morse::UnobservedValue<values::Value<QString>> m_xmlFileNameValue;
    morse::UnobservedValue<values::Value<QString>> m_codeFileNameValue;
    morse::UnobservedValue<values::Value<bool>> m_genSettingsValue;
    morse::UnobservedValue<values::Value<QString>> m_saveStateValue;
};

/// What a MorseHandler holds: its values, the reception state and what it owns.
class MORSEHANDLER_NO_EXPORT MorseHandler::Private
{
public:
    explicit Private(MorseHandler* pHandler)
        : m_values(pHandler),
          m_symbolList(SYMBOL_LIST_LIMIT, morse::BoundedBuffer<QVector<int>>::Compaction::Deferred),
          m_symbolBuffer(SYMBOL_BUFFER_LIMIT - 1),
          m_sessionFiles({[this] { return frequencyPart(m_values.m_pFrequencyValue); },
                          [this] { return alphabetName(); }},
                         [this](bool bText, const QString& strName) {
                             auto& value = bText ? m_values.m_textFileNameValue
                                                 : m_values.m_codeFileNameValue;
                             if (values::Value<QString>* pValue = value.get())
                                 pValue->SetValue(strName, nullptr);
                         })
    {
        m_sessionFiles.setDirectory(QDir::tempPath());
        m_lineClock.setFormatString(QStringLiteral("hh:mm:ss.zzz"));
        m_lineClock.setOffsetFromUTC(Tarn::DateTime::Local_TimeZone);
    }

    template <class T> T* bind(BoundValue<T>& role, const QString& strPath)
    {
        values::Tree* pTree = values::Tree::Instance();
        T* pValue = pTree ? dynamic_cast<T*>(pTree->FindValue(strPath)) : nullptr;
        m_values.m_bindings.bind(role, pValue);
        return pValue;
    }
    void traceUnresolved(const char* szOperation, const QString& strPath, int nLine) const
    {
        morse::trace(QStringLiteral("MorseHandler::%1: no value of the expected type at '%2'")
                         .arg(QLatin1String(szOperation), strPath),
                     SOURCE_FILE, nLine);
    }
    QString alphabetName() const
    {
        const values::ValueSelection* pSelection = m_values.m_alphabetSelection.get();
        return pSelection ? pSelection->GetStringValue() : QStringLiteral("Default");
    }
    /// The character being received, decoded with the cut zero.
    QString decodeCharacter()
    {
        const QString& strFound = m_translator.DecodeMorse(m_strCharacterCode);
        const QString* pText =
            morse::Alphabet::cutZero(strFound.isEmpty() ? nullptr : &strFound,
                                     m_strCharacterCode == MorseTranslator::DASH, m_bDigit);
        return pText ? *pText : QString();
    }
    /// @p strText followed by the pending error markers; almost always there are none, and the
    /// text is shared, not copied, for the session files.
    QString withMarkers(const QString& strText) const
    {
        return m_strPendingMarkers.isEmpty() ? strText : strText + m_strPendingMarkers;
    }
    void clearCharacter()
    {
        m_strCharacterCode.resize(0);
        m_strPendingMarkers.resize(0);
        m_bCharacterTooLong = false;
    }

    MorseHandlerValues m_values;
    MorseTranslator m_translator;
    OrielResultDataHandler* m_pReportHandler = nullptr; // owned; also a QObject child
    QString m_strAlphabetDirectory;
    QString m_strIpcSuffix;

    // Reception.
    morse::BoundedBuffer<QVector<int>> m_symbolList; // codes waiting to be processed
    bool m_bSymbolListOverflowing = false;
    morse::SymbolBuffer m_symbolBuffer;
    QString m_strCharacterCode;  // dots and dashes of the character being received
    QString m_strPendingMarkers; // error markers since the last finished unit
    bool m_bDigit = false;       // the last character was a digit: a lone dash reads as 0
    bool m_bAvailable = false;
    bool m_bStarted = false;

    // Saving.
    bool m_bSaveToFile = false;
    morse::SessionFiles m_sessionFiles;
    Tarn::DateTime m_lineClock;
    quint64 m_u64PreviousTimestamp = TIMESTAMP_UNSET;
    quint64 m_u64CurrentTimestamp = TIMESTAMP_UNSET;
    bool m_bLostSavedData = false;
    bool m_bCharacterTooLong = false; // the character being received outgrew every alphabet
};

namespace {

/// The message a host hears on its save-state value for a failure episode of @p strFile.
QString episodeMessage(const QString& strFile, const QString& strError,
                       const morse::SaveLoss* pLoss, bool bRecovered)
{
    if (!pLoss)
        return QStringLiteral("cannot write \"%1\": %2").arg(strFile, strError);
    return QStringLiteral("%1 \"%2\"; lost: %3")
        .arg(bRecovered ? QStringLiteral("writing works again:")
                        : QStringLiteral("closed while failing:"),
             strFile, pLoss->describe());
}

} // namespace

MorseHandler::MorseHandler() : d(std::make_unique<Private>(this))
{
    d->m_pReportHandler = new OrielResultDataHandler(this, QStringLiteral("ORIEL"));
    connect(d->m_pReportHandler, &OrielResultDataHandler::SetFilename, this,
            &MorseHandler::SetXmlFileName);
    connect(d->m_pReportHandler, &OrielResultDataHandler::GetXmlTunerDemodulatorSettings, this,
            &MorseHandler::GetXmlTunerDemodulatorSettings);
    const morse::SaveEpisodeListener tellHost =
        [this](const QString& strFile, const QString& strError, const morse::SaveLoss* pLoss,
               bool bRecovered) {
            if (pLoss && (!pLoss->isEmpty() || !bRecovered))
                d->m_bLostSavedData = true;
            values::Value<QString>* pValue = d->m_values.m_saveStateValue.get();
            if (!pValue)
                return;
            const QString strMessage = episodeMessage(strFile, strError, pLoss, bRecovered);
            if (pValue->GetValue() == strMessage)
                pValue->HasChanged(CHANGE_VALUE, this); // each episode is told, even a like one
            else
                pValue->SetValue(strMessage, nullptr);
        };
    d->m_sessionFiles.setEpisodeListener(tellHost);
    d->m_pReportHandler->setEpisodeListener(tellHost);
}

MorseHandler::~MorseHandler()
{
    try {
        d->m_sessionFiles.closeAll();
        d->m_values.m_bindings.leaveAll();
        d->m_values.m_alphabetSelection.reset();
    } catch (...) {
        morse::trace(QStringLiteral("Exception caught in MorseHandler::~MorseHandler"), SOURCE_FILE,
                     __LINE__);
    }
    delete d->m_pReportHandler;
    d->m_pReportHandler = nullptr;
}

// --- Binding ----------------------------------------------------------------------------

void MorseHandler::SetSymbol_ValuePath(const QString& strPath)
{
    d->bind(d->m_values.m_pSymbolValue, strPath);
}

void MorseHandler::SetMorseAvailable_ValuePath(const QString& strPath)
{
    if (values::Value<bool>* pValue = d->bind(d->m_values.m_pMorseAvailableValue, strPath))
        d->m_bAvailable = pValue->GetValue();
    else
        d->traceUnresolved("SetMorseAvailable_ValuePath", strPath, __LINE__);
}

void MorseHandler::SetMorseText_ValuePath(const QString& strPath)
{
    d->bind(d->m_values.m_pMorseTextValue, strPath);
}

void MorseHandler::SetMorseAlphabet_ValuePath(const QString& strPath)
{
    d->m_values.m_alphabetSelection.bind(strPath);
}

void MorseHandler::SetMorseAlphabet_DirectoryPath(const QString& strPath)
{
    if (values::Value<QString>* pValue = d->bind(d->m_values.m_pAlphabetDirectoryValue, strPath))
        d->m_strAlphabetDirectory = withTrailingBackslash(pValue->GetValue());
}

void MorseHandler::SetMorseSaveToFile_ValuePath(const QString& strPath)
{
    if (values::Value<bool>* pValue = d->bind(d->m_values.m_pSaveToFileValue, strPath)) {
        Update(pValue, CHANGE_STATE);
        Update(pValue, CHANGE_LIMITS);
        Update(pValue, CHANGE_VALUE);
    }
}

void MorseHandler::SetMorseXmlSaveToFile_ValuePath(const QString& strPath)
{
    if (values::Value<bool>* pValue = d->bind(d->m_values.m_pXmlSaveValue, strPath)) {
        Update(pValue, CHANGE_STATE);
        Update(pValue, CHANGE_LIMITS);
        Update(pValue, CHANGE_VALUE);
        if (values::Value<bool>* pStill = d->m_values.m_pXmlSaveValue)
            pStill->SetValue(true, nullptr);
    } else {
        d->traceUnresolved("SetMorseXmlSaveToFile_ValuePath", strPath, __LINE__);
    }
}

void MorseHandler::SetTextDirectionRTL_ValuePath(const QString& strPath)
{
    d->m_values.m_textDirectionRTLValue.bind(strPath);
}

void MorseHandler::SetFrequency_ValuePath(const QString& strPath)
{
    d->bind(d->m_values.m_pFrequencyValue, strPath);
}

void MorseHandler::SetModtype_ValuePath(const QString& strPath)
{
    d->bind(d->m_values.m_pModtypeValue, strPath);
}

void MorseHandler::SetDecResult_ValuePath(const QString& strPath)
{
    d->bind(d->m_values.m_pDecResultValue, strPath);
}

void MorseHandler::SetSaveState_ValuePath(const QString& strPath)
{
    d->m_values.m_saveStateValue.bind(strPath);
}

bool MorseHandler::HasLostSavedData() const
{
    return d->m_bLostSavedData;
}

void MorseHandler::SetGenXmlTunerDemodulatorSettingsPath(const QString& strPath)
{
    d->m_values.m_genSettingsValue.bind(strPath);
}

void MorseHandler::SetXmlTunerDemodulatorSettings(const QString& strPath)
{
    d->bind(d->m_values.m_pTunerSettingsValue, strPath);
}

void MorseHandler::SetSaveDirectoryPath(const QString& strDirectory,
                                        const QString& strTextFileNamePath,
                                        const QString& strCodeFileNamePath,
                                        const QString& strXmlFileNamePath)
{
    d->m_sessionFiles.setDirectory(strDirectory);
    d->m_values.m_textFileNameValue.bind(strTextFileNamePath);
    d->m_values.m_codeFileNameValue.bind(strCodeFileNamePath);
    d->m_values.m_xmlFileNameValue.bind(strXmlFileNamePath);
    if (d->m_pReportHandler)
        d->m_pReportHandler->SetWorkDirectory(strDirectory);
}

values::ValueSelection* MorseHandler::GetMorseAlphabet()
{
    return d->m_values.m_alphabetSelection.get();
}

// --- Change notices ---------------------------------------------------------------------

void MorseHandler::Update(Observable* pSubject, TChangeCode eCode)
{
    if (!pSubject)
        return;
    MorseHandlerValues& v = d->m_values;
    switch (eCode) {
    case CHANGE_STATE:
        v.m_bindings.forgetIfGoingAway(pSubject);
        return;
    case CHANGE_VALUE:
        if (pSubject == v.m_pMorseAvailableValue) {
            d->m_bAvailable = v.m_pMorseAvailableValue->GetValue();
        } else if (pSubject == v.m_pSymbolValue) {
            AddSymbol(v.m_pSymbolValue->GetValue());
        } else if (pSubject == v.m_pSaveToFileValue) {
            d->m_bSaveToFile = v.m_pSaveToFileValue->GetValue();
            if (d->m_pReportHandler)
                d->m_pReportHandler->setSavesItself(d->m_bSaveToFile);
            if (!d->m_bSaveToFile)
                d->m_sessionFiles.closeAll();
        } else if (pSubject == v.m_pFrequencyValue || pSubject == v.m_pModtypeValue ||
                   pSubject == v.m_pDecResultValue) {
            if (d->m_bSaveToFile)
                d->m_sessionFiles.restart();
        } else if (pSubject == v.m_pAlphabetDirectoryValue) {
            d->m_strAlphabetDirectory =
                withTrailingBackslash(v.m_pAlphabetDirectoryValue->GetValue());
        } else if (pSubject == v.m_pTunerSettingsValue) {
            ProcessUpdateTunerDemodulatorSettings();
        }
        return;
    case CHANGE_TRIGGER:
        if (pSubject == v.m_pSaveToFileValue) {
            if (d->m_bSaveToFile)
                d->m_sessionFiles.restart();
        } else if (pSubject == v.m_pXmlSaveValue) {
            if (d->m_pReportHandler)
                d->m_pReportHandler->SaveReport();
        } else if (pSubject == v.m_pSymbolValue) {
            morse::trace(QStringLiteral("new line in morsehandler receive"), SOURCE_FILE, __LINE__);
        }
        return;
    default:
        return;
    }
}

// --- Reception --------------------------------------------------------------------------

void MorseHandler::AddSymbol(int nCode)
{
    if (d->m_symbolList.push(nCode) > 0 && !d->m_bSymbolListOverflowing) {
        d->m_bSymbolListOverflowing = true;
        morse::trace(QStringLiteral("MorseHandler: more than %1 Morse symbols wait to be "
                                    "processed; the oldest are dropped")
                         .arg(SYMBOL_LIST_LIMIT),
                     SOURCE_FILE, __LINE__);
    }
    ProcessSymbolList();
}

void MorseHandler::ProcessSymbolList()
{
    if (d->m_symbolList.isEmpty() || !d->m_bAvailable || !d->m_bStarted)
        return;
    // Taken off the list before it is processed, so that a notice sent from here that
    // brings the next code finds the list in order.
    const int nCode = d->m_symbolList.front() & morse::SYMBOL_CODE_MASK;
    d->m_symbolList.dropFront(1);
    d->m_bSymbolListOverflowing = false;

    const QString& strSymbol = d->m_translator.DecodeSymbol(nCode);
    switch (static_cast<morse::MorseSymbolCode>(nCode)) {
    case morse::SYMBOL_END_OF_CHARACTER:
        ProcessNewChar(strSymbol);
        break;
    case morse::SYMBOL_END_OF_WORD:
        ProcessNewWord(strSymbol);
        break;
    case morse::SYMBOL_DOT_TOO_SHORT:
    case morse::SYMBOL_DASH_TOO_LONG:
    case morse::SYMBOL_PAUSE_TOO_SHORT:
        d->m_strPendingMarkers += strSymbol;
        break;
    case morse::SYMBOL_END_OF_LINE:
        if (!d->m_strCharacterCode.isEmpty())
            ProcessNewChar(MorseTranslator::NEW_CHAR);
        ProcessNewLine(strSymbol);
        if (d->m_pReportHandler)
            d->m_pReportHandler->AppendText(MorseTranslator::NEW_LINE);
        break;
    default: // a dot, a dash, or a code without a symbol, whose text is empty
        AddToSymbolBuffer(strSymbol);
        appendToCharacter(strSymbol);
        if (d->m_bSaveToFile)
            d->m_sessionFiles.save(strSymbol, QString());
        break;
    }
}

void MorseHandler::appendToCharacter(const QString& strSymbol)
{
    if (d->m_bCharacterTooLong)
        return;
    if (d->m_strCharacterCode.size() < CHARACTER_CODE_LIMIT) {
        d->m_strCharacterCode += strSymbol;
        return;
    }
    // No alphabet has such a code: the character ends as an error instead of growing until
    // the memory runs out, and the rest of its dots and dashes are not kept.
    d->m_bCharacterTooLong = true;
    d->m_strCharacterCode.resize(0);
    d->m_strPendingMarkers += CHARACTER_TOO_LONG_MARKER;
    morse::trace(QStringLiteral("MorseHandler: a character code grew past %1 symbols; it ends "
                                "as an error")
                     .arg(CHARACTER_CODE_LIMIT),
                 SOURCE_FILE, __LINE__);
}

void MorseHandler::publishUnit(const QString& strUnit)
{
    if (!strUnit.isEmpty() && d->m_pReportHandler)
        d->m_pReportHandler->AppendText(strUnit);
    values::Value<QString>* pText = d->m_values.m_pMorseTextValue;
    if (!pText)
        return; // nowhere to publish; the reception itself goes on
    const bool bRepeated = pText->GetValue() == strUnit;
    pText->SetValue(strUnit, nullptr);
    // An observer may have removed the value meanwhile.
    if (bRepeated && d->m_values.m_pMorseTextValue.get() == pText)
        pText->HasChanged(CHANGE_VALUE, this);
}

void MorseHandler::ProcessNewChar(const QString& strSymbol)
{
    AddToSymbolBuffer(strSymbol);
    const QString strChar = d->decodeCharacter();
    publishUnit(strChar);
    if (d->m_bSaveToFile)
        d->m_sessionFiles.save(d->m_strPendingMarkers.isEmpty() ? BLANK
                                                                : d->m_strPendingMarkers + BLANK,
                               d->withMarkers(strChar));
    d->clearCharacter();
}

void MorseHandler::ProcessNewWord(const QString& strSymbol)
{
    AddToSymbolBuffer(strSymbol);
    const QString strWord = d->m_translator.DecodeMorse(d->m_strCharacterCode) + BLANK;
    publishUnit(strWord);
    if (d->m_bSaveToFile)
        d->m_sessionFiles.save(d->m_strPendingMarkers, d->withMarkers(strWord));
    d->clearCharacter();
}

void MorseHandler::ProcessNewLine(const QString& strSymbol)
{
    if (d->m_u64PreviousTimestamp == TIMESTAMP_UNSET || d->m_u64CurrentTimestamp == TIMESTAMP_UNSET)
        return;
    AddToSymbolBuffer(strSymbol);
    if (values::Value<QString>* pText = d->m_values.m_pMorseTextValue)
        pText->SetValue(MorseTranslator::NEW_LINE, nullptr);

    d->m_lineClock.setTime_ts(d->m_u64PreviousTimestamp);
    const QString strStop = STOP_TIME_LABEL + d->m_lineClock.toString() + QLatin1Char(']');
    d->m_lineClock.setTime_ts(d->m_u64CurrentTimestamp);
    const QString strStart = START_TIME_LABEL + d->m_lineClock.toString() + QLatin1Char(']');
    const QString strBlock = MorseTranslator::NEW_LINE + strStop + MorseTranslator::NEW_LINE +
                             strStart + MorseTranslator::NEW_LINE;
    if (d->m_bSaveToFile)
        d->m_sessionFiles.save(d->m_strPendingMarkers, strBlock);
    d->clearCharacter();
    d->m_bDigit = false;
}

void MorseHandler::AddToSymbolBuffer(const QString& strSymbol)
{
    d->m_symbolBuffer.append(strSymbol);
}

void MorseHandler::ClearSymbolBuffer()
{
    d->m_symbolBuffer.clear();
}

const QString& MorseHandler::GetCurrentMorseSymbolString() const
{
    return d->m_symbolBuffer.text();
}

const QString& MorseHandler::TranslateText(bool bPart, bool bFromEnd, int nCount)
{
    if (bPart && nCount >= 1)
        return d->m_translator.Translate(bFromEnd ? d->m_symbolBuffer.tail(nCount) : QString());
    return d->m_translator.Translate(d->m_symbolBuffer.text());
}

QString MorseHandler::BuildAlphabetPath() const
{
    const values::ValueSelection* pSelection = d->m_values.m_alphabetSelection.get();
    if (!pSelection)
        return QString();
    return d->m_strAlphabetDirectory + pSelection->GetStringValue() + QStringLiteral(".mal");
}

bool MorseHandler::ChangeAlphabet()
{
    const bool bLoaded = d->m_translator.SetMorseAlphabet(BuildAlphabetPath());
    if (values::Value<bool>* pRTL = d->m_values.m_textDirectionRTLValue.get())
        pRTL->SetValue(d->m_translator.isTextDirectionRTL(), nullptr);
    return bLoaded;
}

// --- Session ----------------------------------------------------------------------------

bool MorseHandler::StartNewMorseSession()
{
    const bool bLoaded = ChangeAlphabet();
    if (values::Value<bool>* pAvailable = d->m_values.m_pMorseAvailableValue)
        d->m_bAvailable = pAvailable->GetValue();
    d->m_bStarted = true;
    return bLoaded;
}

void MorseHandler::EndMorseSession()
{
    d->m_bAvailable = false;
    d->m_bStarted = false;
    ClearSymbolBuffer();
    d->clearCharacter();
    d->m_bDigit = false;
    d->m_sessionFiles.closeAll();
    if (d->m_pReportHandler)
        d->m_pReportHandler->abandonFailingReport();
}

void MorseHandler::SetMorseAvailable(bool bAvailable)
{
    d->m_bAvailable = bAvailable;
    d->m_bStarted = bAvailable;
}

void MorseHandler::SetTimestamp(const quint64& u64Timestamp)
{
    d->m_u64PreviousTimestamp = d->m_u64CurrentTimestamp;
    d->m_u64CurrentTimestamp = u64Timestamp;
    d->m_sessionFiles.setTimestamp(u64Timestamp);
    if (d->m_pReportHandler)
        d->m_pReportHandler->UpdateTimestamp(u64Timestamp);
}

void MorseHandler::SetIpcIdentifier(const QString& strId)
{
    d->m_strIpcSuffix = morse::ipcSuffix(strId);
}

void MorseHandler::SetBaudrate(double dBaudrate)
{
    if (d->m_pReportHandler)
        d->m_pReportHandler->SetBaudrate(dBaudrate);
}

void MorseHandler::SetFrequencyOffset(double dOffset)
{
    if (d->m_pReportHandler)
        d->m_pReportHandler->SetFrequencyOffset(dOffset);
}

// --- Report and tuner settings ----------------------------------------------------------

void MorseHandler::SetXmlFileName(const QString& strXmlFileName)
{
    if (values::Value<QString>* pValue = d->m_values.m_xmlFileNameValue.get())
        pValue->SetValue(strXmlFileName, nullptr);
}

void MorseHandler::GetXmlTunerDemodulatorSettings()
{
    values::Value<bool>* pValue = d->m_values.m_genSettingsValue.get();
    if (!pValue)
        return;
    if (pValue->GetValue())
        pValue->HasChanged(CHANGE_VALUE, nullptr); // already asked: ask again
    else
        pValue->SetValue(true, nullptr);
}

void MorseHandler::ProcessUpdateTunerDemodulatorSettings()
{
    if (d->m_values.m_pTunerSettingsValue && d->m_pReportHandler)
        d->m_pReportHandler->SetTunerDemodulatorSettings(
            d->m_values.m_pTunerSettingsValue->GetValue());
}
