#include "tools/morsehandler/morsehandler.h"

#include "tools/morsehandler/ipcsuffix.h"
#include "tools/morsehandler/morsetranslator.h"
#include "tools/morsehandler/orielresultdatahandler.h"
#include "tools/morsehandler/trace.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

const QString SOURCE_FILE = QStringLiteral("tools\\morsehandler\\morsehandler");
const QString BLANK = QStringLiteral(" ");
const QString DIGIT_ZERO = QStringLiteral("0");
const QString STOP_TIME_LABEL = QStringLiteral("[Stop Time:  ");
const QString START_TIME_LABEL = QStringLiteral("[Start Time:  ");
constexpr quint64 TIMESTAMP_UNSET = ~quint64(0);
/// The trimmed front of the symbol storage is dropped once it is this long, so that trimming
/// costs one move of the buffer per this many symbols rather than one per symbol.
constexpr int SYMBOL_STORAGE_COMPACT_AT = 32768;

bool isSingleDigit(const QString& text)
{
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

QString withTrailingBackslash(const QString& strDirectory)
{
    return strDirectory.endsWith(QLatin1Char('\\')) ? strDirectory
                                                    : strDirectory + QLatin1Char('\\');
}

} // namespace

MorseHandler::MorseHandler()
    : m_pTranslator(std::make_unique<MorseTranslator>()), m_strSaveDirectory(QDir::tempPath()),
      m_symbolList(SYMBOL_LIST_LIMIT)
{
    m_lineClock.setFormatString(QStringLiteral("hh:mm:ss.zzz"));
    m_lineClock.setOffsetFromUTC(Tarn::DateTime::Local_TimeZone);
    m_pReportHandler = new OrielResultDataHandler(this, QStringLiteral("ORIEL"));
    connect(m_pReportHandler, &OrielResultDataHandler::SetFilename, this,
            &MorseHandler::SetXmlFileName);
    connect(m_pReportHandler, &OrielResultDataHandler::GetXmlTunerDemodulatorSettings, this,
            &MorseHandler::GetXmlTunerDemodulatorSettings);
}

MorseHandler::~MorseHandler()
{
    try {
        CloseAllFiles();
        unbindObserved(m_pSymbolValue);
        unbindObserved(m_pMorseAvailableValue);
        unbindObserved(m_pMorseTextValue);
        unbindObserved(m_pSaveToFileValue);
        unbindObserved(m_pXmlSaveValue);
        unbindObserved(m_pTunerSettingsValue);
        unbindObserved(m_pAlphabetDirectoryValue);
        unbindObserved(m_pFrequencyValue);
        unbindObserved(m_pModtypeValue);
        unbindObserved(m_pDecResultValue);
        m_alphabetSelection.reset();
        m_pTranslator.reset();
    } catch (...) {
        morse::trace(QStringLiteral("Exception caught in MorseHandler::~MorseHandler"), SOURCE_FILE,
                     __LINE__);
    }
    delete m_pReportHandler;
    m_pReportHandler = nullptr;
}

// --- Binding ----------------------------------------------------------------------------

template <class T> void MorseHandler::bindObserved(T*& pRole, const QString& strPath)
{
    unbindObserved(pRole);
    values::Tree* pTree = values::Tree::Instance();
    T* pValue = pTree ? dynamic_cast<T*>(pTree->FindValue(strPath)) : nullptr;
    if (pValue)
        pValue->AddObserver(this);
    pRole = pValue;
}

template <class T> void MorseHandler::unbindObserved(T*& pRole)
{
    if (!pRole)
        return;
    T* pOld = pRole;
    pRole = nullptr;
    // One value may serve two roles; the registration stays while another role holds it.
    if (observedRoleCount(pOld) == 0)
        pOld->DeleteObserver(this);
}

int MorseHandler::observedRoleCount(const Observable* pValue) const
{
    const Observable* const apRoles[] = {
        m_pSymbolValue,    m_pMorseAvailableValue,    m_pMorseTextValue, m_pSaveToFileValue,
        m_pXmlSaveValue,   m_pAlphabetDirectoryValue, m_pFrequencyValue, m_pModtypeValue,
        m_pDecResultValue, m_pTunerSettingsValue,
    };
    int nCount = 0;
    for (const Observable* pRole : apRoles)
        nCount += pValue && pRole == pValue;
    return nCount;
}

void MorseHandler::forgetGoingAway(Observable* pSubject)
{
    auto forget = [pSubject](auto*& pRole) {
        if (pRole && static_cast<Observable*>(pRole) == pSubject)
            pRole = nullptr;
    };
    forget(m_pSymbolValue);
    forget(m_pMorseAvailableValue);
    forget(m_pMorseTextValue);
    forget(m_pSaveToFileValue);
    forget(m_pXmlSaveValue);
    forget(m_pFrequencyValue);
    forget(m_pModtypeValue);
    forget(m_pDecResultValue);
    forget(m_pAlphabetDirectoryValue);
    forget(m_pTunerSettingsValue);
    pSubject->DeleteObserver(this);
}

void MorseHandler::traceUnresolved(const char* szOperation, const QString& strPath, int nLine) const
{
    morse::trace(QStringLiteral("MorseHandler::%1: no value of the expected type at '%2'")
                     .arg(QLatin1String(szOperation), strPath),
                 SOURCE_FILE, nLine);
}

void MorseHandler::SetSymbol_ValuePath(const QString& strPath)
{
    bindObserved(m_pSymbolValue, strPath);
}

void MorseHandler::SetMorseAvailable_ValuePath(const QString& strPath)
{
    bindObserved(m_pMorseAvailableValue, strPath);
    if (m_pMorseAvailableValue)
        m_bAvailable = m_pMorseAvailableValue->GetValue();
    else
        traceUnresolved("SetMorseAvailable_ValuePath", strPath, __LINE__);
}

void MorseHandler::SetMorseText_ValuePath(const QString& strPath)
{
    bindObserved(m_pMorseTextValue, strPath);
}

void MorseHandler::SetMorseAlphabet_ValuePath(const QString& strPath)
{
    m_alphabetSelection.bind(strPath);
}

void MorseHandler::SetMorseAlphabet_DirectoryPath(const QString& strPath)
{
    bindObserved(m_pAlphabetDirectoryValue, strPath);
    if (m_pAlphabetDirectoryValue)
        m_strAlphabetDirectory = withTrailingBackslash(m_pAlphabetDirectoryValue->GetValue());
}

void MorseHandler::SetMorseSaveToFile_ValuePath(const QString& strPath)
{
    bindObserved(m_pSaveToFileValue, strPath);
    if (values::Value<bool>* pValue = m_pSaveToFileValue) {
        Update(pValue, CHANGE_STATE);
        Update(pValue, CHANGE_LIMITS);
        Update(pValue, CHANGE_VALUE);
    }
}

void MorseHandler::SetMorseXmlSaveToFile_ValuePath(const QString& strPath)
{
    bindObserved(m_pXmlSaveValue, strPath);
    if (values::Value<bool>* pValue = m_pXmlSaveValue) {
        Update(pValue, CHANGE_STATE);
        Update(pValue, CHANGE_LIMITS);
        Update(pValue, CHANGE_VALUE);
        if (m_pXmlSaveValue)
            m_pXmlSaveValue->SetValue(true, nullptr);
    } else {
        traceUnresolved("SetMorseXmlSaveToFile_ValuePath", strPath, __LINE__);
    }
}

void MorseHandler::SetTextDirectionRTL_ValuePath(const QString& strPath)
{
    m_textDirectionRTLValue.bind(strPath);
}

void MorseHandler::SetFrequency_ValuePath(const QString& strPath)
{
    bindObserved(m_pFrequencyValue, strPath);
    if (m_pFrequencyValue)
        m_pFrequencyValue->AddObserver(this);
}

void MorseHandler::SetModtype_ValuePath(const QString& strPath)
{
    bindObserved(m_pModtypeValue, strPath);
    if (m_pModtypeValue)
        m_pModtypeValue->AddObserver(this);
}

void MorseHandler::SetDecResult_ValuePath(const QString& strPath)
{
    bindObserved(m_pDecResultValue, strPath);
    if (m_pDecResultValue)
        m_pDecResultValue->AddObserver(this);
}

void MorseHandler::SetGenXmlTunerDemodulatorSettingsPath(const QString& strPath)
{
    m_genSettingsValue.bind(strPath);
}

void MorseHandler::SetXmlTunerDemodulatorSettings(const QString& strPath)
{
    bindObserved(m_pTunerSettingsValue, strPath);
}

void MorseHandler::SetSaveDirectoryPath(const QString& strDirectory,
                                        const QString& strTextFileNamePath,
                                        const QString& strCodeFileNamePath,
                                        const QString& strXmlFileNamePath)
{
    m_strSaveDirectory = strDirectory;
    m_textFileNameValue.bind(strTextFileNamePath);
    m_codeFileNameValue.bind(strCodeFileNamePath);
    m_xmlFileNameValue.bind(strXmlFileNamePath);
    if (m_pReportHandler)
        m_pReportHandler->SetWorkDirectory(strDirectory);
}

values::ValueSelection* MorseHandler::GetMorseAlphabet()
{
    return m_alphabetSelection.get();
}

// --- Change notices ---------------------------------------------------------------------

void MorseHandler::Update(Observable* pSubject, TChangeCode eCode)
{
    if (!pSubject)
        return;
    switch (eCode) {
    case CHANGE_STATE: {
        if (observedRoleCount(pSubject) == 0)
            return;
        // Every observed role holds a ValueBase, which is the subject's most derived Observable.
        const auto* pValue = static_cast<const values::ValueBase*>(pSubject);
        if (pValue->GetState() == VALUE_STATE_GOING_AWAY)
            forgetGoingAway(pSubject);
        return;
    }
    case CHANGE_VALUE:
        if (pSubject == m_pMorseAvailableValue) {
            m_bAvailable = m_pMorseAvailableValue->GetValue();
        } else if (pSubject == m_pSymbolValue) {
            AddSymbol(m_pSymbolValue->GetValue());
        } else if (pSubject == m_pSaveToFileValue) {
            m_bSaveToFile = m_pSaveToFileValue->GetValue();
            if (!m_bSaveToFile)
                CloseAllFiles();
        } else if (pSubject == m_pFrequencyValue || pSubject == m_pModtypeValue ||
                   pSubject == m_pDecResultValue) {
            if (m_bSaveToFile)
                RestartFiles();
        } else if (pSubject == m_pAlphabetDirectoryValue) {
            m_strAlphabetDirectory = withTrailingBackslash(m_pAlphabetDirectoryValue->GetValue());
        } else if (pSubject == m_pTunerSettingsValue) {
            ProcessUpdateTunerDemodulatorSettings();
        }
        return;
    case CHANGE_TRIGGER:
        if (pSubject == m_pSaveToFileValue) {
            if (m_bSaveToFile)
                RestartFiles();
        } else if (pSubject == m_pXmlSaveValue) {
            if (m_pReportHandler)
                m_pReportHandler->SaveReport();
        } else if (pSubject == m_pSymbolValue) {
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
    if (!m_symbolList.push(nCode) && !m_bSymbolListOverflowing) {
        m_bSymbolListOverflowing = true;
        morse::trace(QStringLiteral("MorseHandler: more than %1 Morse symbols wait to be "
                                    "processed; the oldest are dropped")
                         .arg(SYMBOL_LIST_LIMIT),
                     SOURCE_FILE, __LINE__);
    }
    ProcessSymbolList();
}

void MorseHandler::ProcessSymbolList()
{
    if (m_symbolList.isEmpty() || !m_bAvailable || !m_bStarted)
        return;
    // Taken off the list before it is processed, so that a notice sent from here that
    // brings the next code finds the list in order.
    const int nCode = m_symbolList.front();
    m_symbolList.pop();
    m_bSymbolListOverflowing = false;

    const QString strSymbol = m_pTranslator->DecodeSymbol(nCode & 127);
    if (strSymbol == MorseTranslator::NEW_CHAR) {
        ProcessNewChar(strSymbol);
    } else if (strSymbol == MorseTranslator::NEW_WORD) {
        ProcessNewWord(strSymbol);
    } else if (strSymbol == MorseTranslator::DOT_TOO_SHORT ||
               strSymbol == MorseTranslator::DASH_TOO_LONG ||
               strSymbol == MorseTranslator::PAUSE_TOO_SHORT) {
        m_strPendingMarkers += strSymbol;
    } else if (strSymbol == MorseTranslator::NEW_LINE) {
        if (!m_strCharacterCode.isEmpty())
            ProcessNewChar(MorseTranslator::NEW_CHAR);
        ProcessNewLine(strSymbol);
        if (m_pReportHandler)
            m_pReportHandler->AppendText(MorseTranslator::NEW_LINE);
    } else {
        AddToSymbolBuffer(strSymbol);
        m_strCharacterCode += strSymbol;
        if (m_bSaveToFile)
            SaveCodeAndText(strSymbol, QString());
    }
}

void MorseHandler::publishUnit(const QString& strUnit)
{
    if (!strUnit.isEmpty() && m_pReportHandler)
        m_pReportHandler->AppendText(strUnit);
    values::Value<QString>* pText = m_pMorseTextValue;
    if (!pText)
        return; // nowhere to publish; the reception itself goes on
    const bool bRepeated = pText->GetValue() == strUnit;
    pText->SetValue(strUnit, nullptr);
    // An observer may have removed the value meanwhile.
    if (bRepeated && m_pMorseTextValue == pText)
        pText->HasChanged(CHANGE_VALUE, this);
}

void MorseHandler::ProcessNewChar(const QString& strSymbol)
{
    AddToSymbolBuffer(strSymbol);
    QString strChar = m_pTranslator->DecodeMorse(m_strCharacterCode);
    if (m_bDigit && m_strCharacterCode == MorseTranslator::DASH)
        strChar = DIGIT_ZERO; // cut zero: a lone dash after a digit reads as 0
    m_bDigit = isSingleDigit(strChar);
    publishUnit(strChar);
    if (m_bSaveToFile)
        SaveCodeAndText(m_strPendingMarkers + BLANK, strChar + m_strPendingMarkers);
    m_strCharacterCode.resize(0);
    m_strPendingMarkers.resize(0);
}

void MorseHandler::ProcessNewWord(const QString& strSymbol)
{
    AddToSymbolBuffer(strSymbol);
    const QString strWord = m_pTranslator->DecodeMorse(m_strCharacterCode) + BLANK;
    publishUnit(strWord);
    if (m_bSaveToFile)
        SaveCodeAndText(m_strPendingMarkers, strWord + m_strPendingMarkers);
    m_strCharacterCode.resize(0);
    m_strPendingMarkers.resize(0);
}

void MorseHandler::ProcessNewLine(const QString& strSymbol)
{
    if (m_u64PreviousTimestamp == TIMESTAMP_UNSET || m_u64CurrentTimestamp == TIMESTAMP_UNSET)
        return;
    AddToSymbolBuffer(strSymbol);
    if (m_pMorseTextValue)
        m_pMorseTextValue->SetValue(MorseTranslator::NEW_LINE, nullptr);

    m_lineClock.setTime_ts(m_u64PreviousTimestamp);
    const QString strStop = STOP_TIME_LABEL + m_lineClock.toString() + QLatin1Char(']');
    m_lineClock.setTime_ts(m_u64CurrentTimestamp);
    const QString strStart = START_TIME_LABEL + m_lineClock.toString() + QLatin1Char(']');
    const QString strBlock = MorseTranslator::NEW_LINE + strStop + MorseTranslator::NEW_LINE +
                             strStart + MorseTranslator::NEW_LINE;
    if (m_bSaveToFile)
        SaveCodeAndText(m_strPendingMarkers, strBlock);
    m_strCharacterCode.resize(0);
    m_strPendingMarkers.resize(0);
    m_bDigit = false;
}

void MorseHandler::AddToSymbolBuffer(const QString& strSymbol)
{
    const int nLength = m_strSymbolStorage.size() - m_nSymbolStart;
    if (nLength + strSymbol.size() >= SYMBOL_BUFFER_LIMIT)
        m_nSymbolStart += qMin(strSymbol.size(), nLength);
    if (m_nSymbolStart >= SYMBOL_STORAGE_COMPACT_AT) {
        m_strSymbolStorage.remove(0, m_nSymbolStart);
        m_nSymbolStart = 0;
    }
    m_strSymbolStorage += strSymbol;
    m_bSymbolViewValid = false;
}

void MorseHandler::ClearSymbolBuffer()
{
    m_strSymbolStorage.resize(0);
    m_nSymbolStart = 0;
    m_strSymbolView.clear();
    m_bSymbolViewValid = false;
}

const QString& MorseHandler::GetCurrentMorseSymbolString() const
{
    if (m_nSymbolStart == 0)
        return m_strSymbolStorage;
    if (!m_bSymbolViewValid) {
        m_strSymbolView = m_strSymbolStorage.mid(m_nSymbolStart);
        m_bSymbolViewValid = true;
    }
    return m_strSymbolView;
}

QString MorseHandler::GetPartOfSymbolString(bool bFromEnd, int nCount) const
{
    if (!bFromEnd || nCount < 1)
        return QString();
    // Walk back from the end counting finished units; the result is one contiguous tail that
    // starts at the last symbol taken and ends at the last "c" or "w".
    const QChar* const pData = m_strSymbolStorage.constData() + m_nSymbolStart;
    const int nLength = m_strSymbolStorage.size() - m_nSymbolStart;
    int nUnits = 0;
    bool bStarted = false;
    bool bInCharacter = false;
    int nFirst = -1;
    int nLast = -1;
    for (int i = nLength - 1; i >= 0; --i) {
        const QChar c = pData[i];
        if (c == QLatin1Char('c')) {
            if (bStarted)
                nUnits += bInCharacter ? 1 : 0;
            else
                bStarted = true;
            bInCharacter = false;
        } else if (c == QLatin1Char('w')) {
            bStarted = true;
            nUnits += bInCharacter ? 2 : 1;
            bInCharacter = false;
        } else if (bStarted) {
            bInCharacter = true;
        } else {
            continue; // part of an unfinished character
        }
        if (nLast < 0)
            nLast = i;
        nFirst = i;
        if (nUnits >= nCount)
            break;
    }
    return nLast < 0 ? QString() : QString(pData + nFirst, nLast - nFirst + 1);
}

const QString& MorseHandler::TranslateText(bool bPart, bool bFromEnd, int nCount)
{
    if (bPart && nCount >= 1)
        return m_pTranslator->Translate(GetPartOfSymbolString(bFromEnd, nCount));
    // The translator only reads its input during the call, so the buffer is lent, not copied.
    return m_pTranslator->Translate(
        QString::fromRawData(m_strSymbolStorage.constData() + m_nSymbolStart,
                             m_strSymbolStorage.size() - m_nSymbolStart));
}

QString MorseHandler::BuildAlphabetPath() const
{
    const values::ValueSelection* pSelection = m_alphabetSelection.get();
    if (!pSelection)
        return QString();
    return m_strAlphabetDirectory + pSelection->GetStringValue() + QStringLiteral(".mal");
}

bool MorseHandler::ChangeAlphabet()
{
    const bool bLoaded = m_pTranslator->SetMorseAlphabet(BuildAlphabetPath());
    if (values::Value<bool>* pRTL = m_textDirectionRTLValue.get())
        pRTL->SetValue(m_pTranslator->isTextDirectionRTL(), nullptr);
    return bLoaded;
}

// --- Session ----------------------------------------------------------------------------

bool MorseHandler::StartNewMorseSession()
{
    const bool bLoaded = ChangeAlphabet();
    if (m_pMorseAvailableValue)
        m_bAvailable = m_pMorseAvailableValue->GetValue();
    m_bStarted = true;
    return bLoaded;
}

void MorseHandler::EndMorseSession()
{
    m_bAvailable = false;
    m_bStarted = false;
    ClearSymbolBuffer();
    m_strCharacterCode.resize(0);
    m_strPendingMarkers.resize(0);
    m_bDigit = false;
    CloseAllFiles();
}

void MorseHandler::SetMorseAvailable(bool bAvailable)
{
    m_bAvailable = bAvailable;
    m_bStarted = bAvailable;
}

void MorseHandler::SetTimestamp(const quint64& u64Timestamp)
{
    m_u64PreviousTimestamp = m_u64CurrentTimestamp;
    m_u64CurrentTimestamp = u64Timestamp;
    if (m_pReportHandler)
        m_pReportHandler->UpdateTimestamp(u64Timestamp);
}

void MorseHandler::SetIpcIdentifier(const QString& strId)
{
    m_strIpcSuffix = morse::ipcSuffix(strId);
}

void MorseHandler::SetBaudrate(double dBaudrate)
{
    if (m_pReportHandler)
        m_pReportHandler->SetBaudrate(dBaudrate);
}

void MorseHandler::SetFrequencyOffset(double dOffset)
{
    if (m_pReportHandler)
        m_pReportHandler->SetFrequencyOffset(dOffset);
}

// --- Report and tuner settings ----------------------------------------------------------

void MorseHandler::SetXmlFileName(const QString& strXmlFileName)
{
    if (values::Value<QString>* pValue = m_xmlFileNameValue.get())
        pValue->SetValue(strXmlFileName, nullptr);
}

void MorseHandler::GetXmlTunerDemodulatorSettings()
{
    values::Value<bool>* pValue = m_genSettingsValue.get();
    if (!pValue)
        return;
    if (pValue->GetValue())
        pValue->HasChanged(CHANGE_VALUE, nullptr); // already asked: ask again
    else
        pValue->SetValue(true, nullptr);
}

void MorseHandler::ProcessUpdateTunerDemodulatorSettings()
{
    if (m_pTunerSettingsValue && m_pReportHandler)
        m_pReportHandler->SetTunerDemodulatorSettings(m_pTunerSettingsValue->GetValue());
}
