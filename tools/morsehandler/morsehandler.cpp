#include "tools/morsehandler/morsehandler.h"

#include "host/tarndatetime.h"
#include "host/values.h"
#include "tools/morsehandler/boundedbuffer.h"
#include "tools/morsehandler/ipcsuffix.h"
#include "tools/morsehandler/morsesymbolcode.h"
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
        : bindings(pObserver,
                   {&symbol, &available, &text, &saveToFile, &xmlSave, &alphabetDirectory,
                    &frequency, &modtype, &decResult, &tunerSettings})
    {
    }

    BoundValue<values::ValueNumeric<int>> symbol;
    BoundValue<values::Value<bool>> available;
    BoundValue<values::Value<QString>> text;
    BoundValue<values::Value<bool>> saveToFile;
    BoundValue<values::Value<bool>> xmlSave;
    BoundValue<values::Value<QString>> alphabetDirectory;
    BoundValue<values::ValueNumeric<double>> frequency;
    BoundValue<values::ValueSelection> modtype;
    BoundValue<values::ValueSelection> decResult;
    BoundValue<values::Value<QString>> tunerSettings;
    morse::ValueBindings bindings;

    morse::UnobservedValue<values::ValueSelection> alphabetSelection;
    morse::UnobservedValue<values::Value<bool>> textDirectionRTL;
    morse::UnobservedValue<values::Value<QString>> textFileName;
    morse::UnobservedValue<values::Value<QString>> xmlFileName;
    morse::UnobservedValue<values::Value<QString>> codeFileName;
    morse::UnobservedValue<values::Value<bool>> genSettings;
};

/// What a MorseHandler holds: its values, the reception state and what it owns.
class MorseHandler::Private
{
public:
    explicit Private(MorseHandler* pHandler)
        : q(pHandler), values(pHandler),
          symbolList(SYMBOL_LIST_LIMIT, morse::BoundedBuffer<QVector<int>>::Compaction::Deferred),
          symbolBuffer(SYMBOL_BUFFER_LIMIT - 1),
          sessionFiles({[this] { return frequencyPart(values.frequency); },
                        [this] { return alphabetName(); }},
                       [this](bool bText, const QString& strName) {
                           auto& value = bText ? values.textFileName : values.codeFileName;
                           if (values::Value<QString>* pValue = value.get())
                               pValue->SetValue(strName, nullptr);
                       })
    {
        sessionFiles.setDirectory(QDir::tempPath());
        lineClock.setFormatString(QStringLiteral("hh:mm:ss.zzz"));
        lineClock.setOffsetFromUTC(Tarn::DateTime::Local_TimeZone);
    }

    template <class T> T* bind(BoundValue<T>& role, const QString& strPath)
    {
        values::Tree* pTree = values::Tree::Instance();
        T* pValue = pTree ? dynamic_cast<T*>(pTree->FindValue(strPath)) : nullptr;
        values.bindings.bind(role, pValue);
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
        const values::ValueSelection* pSelection = values.alphabetSelection.get();
        return pSelection ? pSelection->GetStringValue() : QStringLiteral("Default");
    }
    /// The character being received, decoded with the cut zero.
    QString decodeCharacter()
    {
        const QString& strFound = translator.DecodeMorse(strCharacterCode);
        const QString* pText =
            morse::Alphabet::cutZero(strFound.isEmpty() ? nullptr : &strFound,
                                     strCharacterCode == MorseTranslator::DASH, bDigit);
        return pText ? *pText : QString();
    }
    void clearCharacter()
    {
        strCharacterCode.resize(0);
        strPendingMarkers.resize(0);
    }

    MorseHandler* q;
    MorseHandlerValues values;
    MorseTranslator translator;
    OrielResultDataHandler* pReportHandler = nullptr; // owned; also a QObject child
    QString strAlphabetDirectory;
    QString strIpcSuffix;

    // Reception.
    morse::BoundedBuffer<QVector<int>> symbolList; // codes waiting to be processed
    bool bSymbolListOverflowing = false;
    morse::SymbolBuffer symbolBuffer;
    QString strCharacterCode;  // dots and dashes of the character being received
    QString strPendingMarkers; // error markers since the last finished unit
    bool bDigit = false;       // the last character was a digit: a lone dash reads as 0
    bool bAvailable = false;
    bool bStarted = false;

    // Saving.
    bool bSaveToFile = false;
    morse::SessionFiles sessionFiles;
    Tarn::DateTime lineClock;
    quint64 u64PreviousTimestamp = TIMESTAMP_UNSET;
    quint64 u64CurrentTimestamp = TIMESTAMP_UNSET;
};

MorseHandler::MorseHandler() : d(std::make_unique<Private>(this))
{
    d->pReportHandler = new OrielResultDataHandler(this, QStringLiteral("ORIEL"));
    connect(d->pReportHandler, &OrielResultDataHandler::SetFilename, this,
            &MorseHandler::SetXmlFileName);
    connect(d->pReportHandler, &OrielResultDataHandler::GetXmlTunerDemodulatorSettings, this,
            &MorseHandler::GetXmlTunerDemodulatorSettings);
}

MorseHandler::~MorseHandler()
{
    try {
        d->sessionFiles.closeAll();
        d->values.bindings.leaveAll();
        d->values.alphabetSelection.reset();
    } catch (...) {
        morse::trace(QStringLiteral("Exception caught in MorseHandler::~MorseHandler"), SOURCE_FILE,
                     __LINE__);
    }
    delete d->pReportHandler;
    d->pReportHandler = nullptr;
}

// --- Binding ----------------------------------------------------------------------------

void MorseHandler::SetSymbol_ValuePath(const QString& strPath)
{
    d->bind(d->values.symbol, strPath);
}

void MorseHandler::SetMorseAvailable_ValuePath(const QString& strPath)
{
    if (values::Value<bool>* pValue = d->bind(d->values.available, strPath))
        d->bAvailable = pValue->GetValue();
    else
        d->traceUnresolved("SetMorseAvailable_ValuePath", strPath, __LINE__);
}

void MorseHandler::SetMorseText_ValuePath(const QString& strPath)
{
    d->bind(d->values.text, strPath);
}

void MorseHandler::SetMorseAlphabet_ValuePath(const QString& strPath)
{
    d->values.alphabetSelection.bind(strPath);
}

void MorseHandler::SetMorseAlphabet_DirectoryPath(const QString& strPath)
{
    if (values::Value<QString>* pValue = d->bind(d->values.alphabetDirectory, strPath))
        d->strAlphabetDirectory = withTrailingBackslash(pValue->GetValue());
}

void MorseHandler::SetMorseSaveToFile_ValuePath(const QString& strPath)
{
    if (values::Value<bool>* pValue = d->bind(d->values.saveToFile, strPath)) {
        Update(pValue, CHANGE_STATE);
        Update(pValue, CHANGE_LIMITS);
        Update(pValue, CHANGE_VALUE);
    }
}

void MorseHandler::SetMorseXmlSaveToFile_ValuePath(const QString& strPath)
{
    if (values::Value<bool>* pValue = d->bind(d->values.xmlSave, strPath)) {
        Update(pValue, CHANGE_STATE);
        Update(pValue, CHANGE_LIMITS);
        Update(pValue, CHANGE_VALUE);
        if (values::Value<bool>* pStill = d->values.xmlSave)
            pStill->SetValue(true, nullptr);
    } else {
        d->traceUnresolved("SetMorseXmlSaveToFile_ValuePath", strPath, __LINE__);
    }
}

void MorseHandler::SetTextDirectionRTL_ValuePath(const QString& strPath)
{
    d->values.textDirectionRTL.bind(strPath);
}

void MorseHandler::SetFrequency_ValuePath(const QString& strPath)
{
    d->bind(d->values.frequency, strPath);
}

void MorseHandler::SetModtype_ValuePath(const QString& strPath)
{
    d->bind(d->values.modtype, strPath);
}

void MorseHandler::SetDecResult_ValuePath(const QString& strPath)
{
    d->bind(d->values.decResult, strPath);
}

void MorseHandler::SetGenXmlTunerDemodulatorSettingsPath(const QString& strPath)
{
    d->values.genSettings.bind(strPath);
}

void MorseHandler::SetXmlTunerDemodulatorSettings(const QString& strPath)
{
    d->bind(d->values.tunerSettings, strPath);
}

void MorseHandler::SetSaveDirectoryPath(const QString& strDirectory,
                                        const QString& strTextFileNamePath,
                                        const QString& strCodeFileNamePath,
                                        const QString& strXmlFileNamePath)
{
    d->sessionFiles.setDirectory(strDirectory);
    d->values.textFileName.bind(strTextFileNamePath);
    d->values.codeFileName.bind(strCodeFileNamePath);
    d->values.xmlFileName.bind(strXmlFileNamePath);
    if (d->pReportHandler)
        d->pReportHandler->SetWorkDirectory(strDirectory);
}

values::ValueSelection* MorseHandler::GetMorseAlphabet()
{
    return d->values.alphabetSelection.get();
}

// --- Change notices ---------------------------------------------------------------------

void MorseHandler::Update(Observable* pSubject, TChangeCode eCode)
{
    if (!pSubject)
        return;
    MorseHandlerValues& v = d->values;
    switch (eCode) {
    case CHANGE_STATE:
        v.bindings.forgetIfGoingAway(pSubject);
        return;
    case CHANGE_VALUE:
        if (pSubject == v.available) {
            d->bAvailable = v.available->GetValue();
        } else if (pSubject == v.symbol) {
            AddSymbol(v.symbol->GetValue());
        } else if (pSubject == v.saveToFile) {
            d->bSaveToFile = v.saveToFile->GetValue();
            if (!d->bSaveToFile)
                d->sessionFiles.closeAll();
        } else if (pSubject == v.frequency || pSubject == v.modtype || pSubject == v.decResult) {
            if (d->bSaveToFile)
                d->sessionFiles.restart();
        } else if (pSubject == v.alphabetDirectory) {
            d->strAlphabetDirectory = withTrailingBackslash(v.alphabetDirectory->GetValue());
        } else if (pSubject == v.tunerSettings) {
            ProcessUpdateTunerDemodulatorSettings();
        }
        return;
    case CHANGE_TRIGGER:
        if (pSubject == v.saveToFile) {
            if (d->bSaveToFile)
                d->sessionFiles.restart();
        } else if (pSubject == v.xmlSave) {
            if (d->pReportHandler)
                d->pReportHandler->SaveReport();
        } else if (pSubject == v.symbol) {
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
    if (d->symbolList.push(nCode) > 0 && !d->bSymbolListOverflowing) {
        d->bSymbolListOverflowing = true;
        morse::trace(QStringLiteral("MorseHandler: more than %1 Morse symbols wait to be "
                                    "processed; the oldest are dropped")
                         .arg(SYMBOL_LIST_LIMIT),
                     SOURCE_FILE, __LINE__);
    }
    ProcessSymbolList();
}

void MorseHandler::ProcessSymbolList()
{
    if (d->symbolList.isEmpty() || !d->bAvailable || !d->bStarted)
        return;
    // Taken off the list before it is processed, so that a notice sent from here that
    // brings the next code finds the list in order.
    const int nCode = d->symbolList.front() & morse::SYMBOL_CODE_MASK;
    d->symbolList.dropFront(1);
    d->bSymbolListOverflowing = false;

    const QString& strSymbol = d->translator.DecodeSymbol(nCode);
    switch (nCode) {
    case morse::SYMBOL_END_OF_CHARACTER:
        ProcessNewChar(strSymbol);
        break;
    case morse::SYMBOL_END_OF_WORD:
        ProcessNewWord(strSymbol);
        break;
    case morse::SYMBOL_DOT_TOO_SHORT:
    case morse::SYMBOL_DASH_TOO_LONG:
    case morse::SYMBOL_PAUSE_TOO_SHORT:
        d->strPendingMarkers += strSymbol;
        break;
    case morse::SYMBOL_END_OF_LINE:
        if (!d->strCharacterCode.isEmpty())
            ProcessNewChar(MorseTranslator::NEW_CHAR);
        ProcessNewLine(strSymbol);
        if (d->pReportHandler)
            d->pReportHandler->AppendText(MorseTranslator::NEW_LINE);
        break;
    default: // a dot, a dash, or a code without a symbol, whose text is empty
        AddToSymbolBuffer(strSymbol);
        d->strCharacterCode += strSymbol;
        if (d->bSaveToFile)
            d->sessionFiles.save(strSymbol, QString());
        break;
    }
}

void MorseHandler::publishUnit(const QString& strUnit)
{
    if (!strUnit.isEmpty() && d->pReportHandler)
        d->pReportHandler->AppendText(strUnit);
    values::Value<QString>* pText = d->values.text;
    if (!pText)
        return; // nowhere to publish; the reception itself goes on
    const bool bRepeated = pText->GetValue() == strUnit;
    pText->SetValue(strUnit, nullptr);
    // An observer may have removed the value meanwhile.
    if (bRepeated && d->values.text.get() == pText)
        pText->HasChanged(CHANGE_VALUE, this);
}

void MorseHandler::ProcessNewChar(const QString& strSymbol)
{
    AddToSymbolBuffer(strSymbol);
    const QString strChar = d->decodeCharacter();
    publishUnit(strChar);
    if (d->bSaveToFile)
        d->sessionFiles.save(d->strPendingMarkers + BLANK, strChar + d->strPendingMarkers);
    d->clearCharacter();
}

void MorseHandler::ProcessNewWord(const QString& strSymbol)
{
    AddToSymbolBuffer(strSymbol);
    const QString strWord = d->translator.DecodeMorse(d->strCharacterCode) + BLANK;
    publishUnit(strWord);
    if (d->bSaveToFile)
        d->sessionFiles.save(d->strPendingMarkers, strWord + d->strPendingMarkers);
    d->clearCharacter();
}

void MorseHandler::ProcessNewLine(const QString& strSymbol)
{
    if (d->u64PreviousTimestamp == TIMESTAMP_UNSET || d->u64CurrentTimestamp == TIMESTAMP_UNSET)
        return;
    AddToSymbolBuffer(strSymbol);
    if (values::Value<QString>* pText = d->values.text)
        pText->SetValue(MorseTranslator::NEW_LINE, nullptr);

    d->lineClock.setTime_ts(d->u64PreviousTimestamp);
    const QString strStop = STOP_TIME_LABEL + d->lineClock.toString() + QLatin1Char(']');
    d->lineClock.setTime_ts(d->u64CurrentTimestamp);
    const QString strStart = START_TIME_LABEL + d->lineClock.toString() + QLatin1Char(']');
    const QString strBlock = MorseTranslator::NEW_LINE + strStop + MorseTranslator::NEW_LINE +
                             strStart + MorseTranslator::NEW_LINE;
    if (d->bSaveToFile)
        d->sessionFiles.save(d->strPendingMarkers, strBlock);
    d->clearCharacter();
    d->bDigit = false;
}

void MorseHandler::AddToSymbolBuffer(const QString& strSymbol)
{
    d->symbolBuffer.append(strSymbol);
}

void MorseHandler::ClearSymbolBuffer()
{
    d->symbolBuffer.clear();
}

const QString& MorseHandler::GetCurrentMorseSymbolString() const
{
    return d->symbolBuffer.text();
}

const QString& MorseHandler::TranslateText(bool bPart, bool bFromEnd, int nCount)
{
    if (bPart && nCount >= 1)
        return d->translator.Translate(bFromEnd ? d->symbolBuffer.tail(nCount) : QString());
    return d->translator.Translate(d->symbolBuffer.text());
}

QString MorseHandler::BuildAlphabetPath() const
{
    const values::ValueSelection* pSelection = d->values.alphabetSelection.get();
    if (!pSelection)
        return QString();
    return d->strAlphabetDirectory + pSelection->GetStringValue() + QStringLiteral(".mal");
}

bool MorseHandler::ChangeAlphabet()
{
    const bool bLoaded = d->translator.SetMorseAlphabet(BuildAlphabetPath());
    if (values::Value<bool>* pRTL = d->values.textDirectionRTL.get())
        pRTL->SetValue(d->translator.isTextDirectionRTL(), nullptr);
    return bLoaded;
}

// --- Session ----------------------------------------------------------------------------

bool MorseHandler::StartNewMorseSession()
{
    const bool bLoaded = ChangeAlphabet();
    if (values::Value<bool>* pAvailable = d->values.available)
        d->bAvailable = pAvailable->GetValue();
    d->bStarted = true;
    return bLoaded;
}

void MorseHandler::EndMorseSession()
{
    d->bAvailable = false;
    d->bStarted = false;
    ClearSymbolBuffer();
    d->clearCharacter();
    d->bDigit = false;
    d->sessionFiles.closeAll();
}

void MorseHandler::SetMorseAvailable(bool bAvailable)
{
    d->bAvailable = bAvailable;
    d->bStarted = bAvailable;
}

void MorseHandler::SetTimestamp(const quint64& u64Timestamp)
{
    d->u64PreviousTimestamp = d->u64CurrentTimestamp;
    d->u64CurrentTimestamp = u64Timestamp;
    if (d->pReportHandler)
        d->pReportHandler->UpdateTimestamp(u64Timestamp);
}

void MorseHandler::SetIpcIdentifier(const QString& strId)
{
    d->strIpcSuffix = morse::ipcSuffix(strId);
}

void MorseHandler::SetBaudrate(double dBaudrate)
{
    if (d->pReportHandler)
        d->pReportHandler->SetBaudrate(dBaudrate);
}

void MorseHandler::SetFrequencyOffset(double dOffset)
{
    if (d->pReportHandler)
        d->pReportHandler->SetFrequencyOffset(dOffset);
}

// --- Report and tuner settings ----------------------------------------------------------

void MorseHandler::SetXmlFileName(const QString& strXmlFileName)
{
    if (values::Value<QString>* pValue = d->values.xmlFileName.get())
        pValue->SetValue(strXmlFileName, nullptr);
}

void MorseHandler::GetXmlTunerDemodulatorSettings()
{
    values::Value<bool>* pValue = d->values.genSettings.get();
    if (!pValue)
        return;
    if (pValue->GetValue())
        pValue->HasChanged(CHANGE_VALUE, nullptr); // already asked: ask again
    else
        pValue->SetValue(true, nullptr);
}

void MorseHandler::ProcessUpdateTunerDemodulatorSettings()
{
    if (d->values.tunerSettings && d->pReportHandler)
        d->pReportHandler->SetTunerDemodulatorSettings(d->values.tunerSettings->GetValue());
}
