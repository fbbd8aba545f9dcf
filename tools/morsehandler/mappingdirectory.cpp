#include "tools/morsehandler/mappingdirectory.h"

#include "host/ivtclient.h"
#include "host/tarndatetime.h"
#include "host/values.h"
#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/ipcsuffix.h"
#include "tools/morsehandler/trace.h"

#include <QDateTime>
#include <QDir>
#include <QObject>

#include <climits>
#include <exception>

using morse::AlphabetNames;
using morse::CharsetMap;

namespace {

const QString SOURCE_FILE = QStringLiteral("tools\\morsehandler\\mappingdirectory");
constexpr int LINE_FIND_OR_CREATE = 299;
constexpr int LINE_DESTRUCTOR = 126;

/// The list entry, and the prefix of every map name, under which text passes unchanged.
const QString DEFAULT = QStringLiteral("Default");

constexpr int MIN_NUMBER_OF_CHARS = 100;
constexpr int MAX_NUMBER_OF_CHARS = 10000;

/// The listings of the map directory, in loading order: a later file of the same base name and
/// charset replaces an earlier one, so an ".ita2.map" file wins over a ".codec" file.
struct LoadingPass
{
    const char* nameFilter;
    eBASE_CHARSET charset;
};
const LoadingPass LOADING_PASSES[] = {
    {"*.codec", eITA2},
    {"*.ita2.map", eITA2},
    {"*.ascii.map", eASCII},
};

/// The map of a current map name that is not loaded: every Latin-1 character passes unchanged.
const CharsetMap& identityMap()
{
    static const CharsetMap map;
    return map;
}

} // namespace

MappingDirectory::MappingDirectory(const QString& directory)
{
    loadMaps(directory);
    initBaseCharsetMap();
}

MappingDirectory::~MappingDirectory()
{
    try {
        if (m_fileTranslated.isOpen())
            m_fileTranslated.close();
        const auto leave = [this](auto*& rpValue) {
            if (rpValue)
                rpValue->DeleteObserver(this);
            rpValue = nullptr;
        };
        leave(m_pDataInputValue);
        leave(m_pDataOutputValue);
        leave(m_pAvailableMapsValue);
        leave(m_pDecoderValue);
        leave(m_pSaveToFileValue);
        leave(m_pTranslateAllValue);
        leave(m_pTranslatedFileValue);
        leave(m_pMaxNumberOfCharsValue);
        leave(m_pFrequencyValue);
        leave(m_pModtypeValue);
        leave(m_pChannelIndexValue);
        m_pTextDirectionValue = nullptr;
        m_vecOwnedValues.clear();
    } catch (const std::exception& e) {
        morse::trace(QStringLiteral("Exception while the mapping directory was destroyed: %1")
                         .arg(QString::fromLocal8Bit(e.what())),
                     SOURCE_FILE, LINE_DESTRUCTOR);
    } catch (...) {
        morse::trace(QStringLiteral("Unknown exception while the mapping directory was destroyed"),
                     SOURCE_FILE, LINE_DESTRUCTOR);
    }
}

// ---------------------------------------------------------------------------------------------
// Maps and translation

void MappingDirectory::loadMaps(const QString& strDirectory)
{
    const QDir dir(strDirectory);
    for (const LoadingPass& pass : LOADING_PASSES) {
        const QStringList names =
            dir.entryList(QStringList(QLatin1String(pass.nameFilter)), QDir::Files, QDir::NoSort);
        for (const QString& name : names) {
            CharsetMap map;
            if (map.Load(dir.absoluteFilePath(name)))
                m_mapMapsByCharset[pass.charset].insert(name.section(QLatin1Char('.'), 0, 0), map);
        }
    }
}

void MappingDirectory::initBaseCharsetMap()
{
    std::vector<LanternIT::DecoderModule> modules;
    LanternIT::DecoderModulesCenter::Instance(QString())->Modules(modules, true);
    for (const LanternIT::DecoderModule& module : modules)
        m_mapDecoderCharset.insert(module.strName, morse::baseCharsetFromLetter(module.cCharset));
}

// A full name is "<base> - <charset word>"; the base may itself hold the separator, so the name
// is cut at its last one.
eBASE_CHARSET MappingDirectory::baseCharset(const QString& strFullName) const
{
    const int nSeparator = strFullName.lastIndexOf(AlphabetNames::SEPARATOR);
    if (nSeparator < 0)
        return eNONE;
    const QStringRef word = strFullName.midRef(nSeparator + AlphabetNames::SEPARATOR.size());
    if (word.startsWith(AlphabetNames::ITA2))
        return eITA2;
    if (word.startsWith(AlphabetNames::ASCII))
        return eASCII;
    return eNONE;
}

QString MappingDirectory::charset(const QString& strFullName) const
{
    const int nSeparator = strFullName.lastIndexOf(AlphabetNames::SEPARATOR);
    return nSeparator < 0 ? strFullName : strFullName.left(nSeparator);
}

QString MappingDirectory::fullString(const QString& strBaseName, eBASE_CHARSET eCharset) const
{
    switch (eCharset) {
    case eITA2:
        return strBaseName + QObject::tr(" - ITA2");
    case eASCII:
        return strBaseName + QObject::tr(" - ASCII");
    default:
        return strBaseName + QObject::tr(" - UNKNOWN");
    }
}

QStringList MappingDirectory::availableMaps(eBASE_CHARSET eCharset)
{
    QStringList names;
    for (eBASE_CHARSET eGroup : {eITA2, eASCII}) {
        if (eCharset != eGroup && eCharset != eBOTH)
            continue;
        const auto group = m_mapMapsByCharset.constFind(eGroup);
        if (group == m_mapMapsByCharset.cend())
            continue;
        for (auto it = group->cbegin(); it != group->cend(); ++it)
            names << fullString(it.key(), eGroup);
    }
    return names;
}

const CharsetMap* MappingDirectory::findMap(eBASE_CHARSET eCharset,
                                            const QString& strBaseName) const
{
    const auto group = m_mapMapsByCharset.constFind(eCharset);
    if (group == m_mapMapsByCharset.cend())
        return nullptr;
    const auto entry = group->constFind(strBaseName);
    return entry == group->cend() ? nullptr : &entry.value();
}

bool MappingDirectory::switchTo(const QString& strFullName)
{
    const eBASE_CHARSET eBase = baseCharset(strFullName);
    const QString strName = charset(strFullName);
    if (strName.startsWith(DEFAULT)) {
        // The direction published is that of the map being left, as the host expects.
        if (values::Value<bool>* pDirection = textDirectionValue()) {
            const CharsetMap* pLeft = findMap(eBase, m_strCurrentMapName);
            pDirection->SetValue(pLeft && pLeft->TextDirectionRTL(), nullptr);
        }
        m_strCurrentMapName = strName;
        return true;
    }
    const CharsetMap* pMap = findMap(eBase, strName);
    if (!pMap)
        return false;
    m_eCurrentBaseCharset = eBase;
    m_strCurrentMapName = strName;
    if (values::Value<bool>* pDirection = textDirectionValue())
        pDirection->SetValue(pMap->TextDirectionRTL(), nullptr);
    return true;
}

QString MappingDirectory::translate(const QString& strText)
{
    if (!m_bTranslatingHistory)
        SaveToHistory(strText);
    if (m_strCurrentMapName.startsWith(DEFAULT))
        return strText;
    const CharsetMap* pMap = findMap(m_eCurrentBaseCharset, m_strCurrentMapName);
    return (pMap ? *pMap : identityMap()).Translate(strText);
}

void MappingDirectory::SaveToHistory(QString strText)
{
    m_strHistory.append(strText);
    if (!m_pMaxNumberOfCharsValue)
        return;
    const int nMax = historyLimit();
    const int nLength = m_strHistory.size() - m_nHistoryStart;
    if (nLength > nMax)
        m_nHistoryStart += nLength - nMax;
    // Drop the trimmed characters once they are as many as the kept ones: every character is
    // then moved at most once on average, instead of the whole history on every call.
    if (m_nHistoryStart > 0 && m_nHistoryStart >= m_strHistory.size() - m_nHistoryStart) {
        m_strHistory.remove(0, m_nHistoryStart);
        m_nHistoryStart = 0;
    }
}

int MappingDirectory::historyLimit() const
{
    const double dMax = m_pMaxNumberOfCharsValue->GetDoubleValue();
    if (!(dMax > 0.0)) // also NaN
        return 0;
    if (dMax >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(dMax); // truncated toward zero
}

void MappingDirectory::ClearHistory()
{
    m_strHistory.clear();
    m_nHistoryStart = 0;
}

QString MappingDirectory::TranslateHistory()
{
    if (m_nHistoryStart > 0) {
        m_strHistory.remove(0, m_nHistoryStart);
        m_nHistoryStart = 0;
    }
    m_bTranslatingHistory = true;
    const QString strResult = translate(m_strHistory);
    m_bTranslatingHistory = false;
    return strResult;
}

// ---------------------------------------------------------------------------------------------
// Binding

template <class V> V* MappingDirectory::findOrCreate(const QString& strPath, IObserver* pObserver)
{
    values::Tree* pTree = values::Tree::Instance();
    if (!pTree)
        return nullptr;
    V* pValue = dynamic_cast<V*>(pTree->FindValue(strPath));
    if (!pValue) {
        const int nSlash = strPath.lastIndexOf(QLatin1Char('/'));
        auto created = std::make_unique<V>();
        created->SetName(strPath.mid(nSlash + 1), nullptr);
        if (pTree->InsertValue(strPath.left(nSlash + 1), created.get())) {
            pValue = created.release();
        } else {
            morse::trace(QStringLiteral("!!!!!!!MEMORY LEAK! The value with the path '%1' could "
                                        "not be created!!! A value of this name already exists "
                                        "for a different type!!!!!!!!")
                             .arg(strPath),
                         SOURCE_FILE, LINE_FIND_OR_CREATE);
            // Used all the same, outside the tree; this object releases it.
            pValue = created.get();
            m_vecOwnedValues.push_back(std::move(created));
        }
    }
    if (pObserver)
        pValue->AddObserver(pObserver);
    return pValue;
}

template <class V> bool MappingDirectory::bind(V*& rpValue, const QString& strPath)
{
    unbind(rpValue);
    rpValue = findOrCreate<V>(strPath, this);
    if (rpValue)
        rpValue->AddObserver(this);
    return rpValue != nullptr;
}

template <class V> void MappingDirectory::unbind(V*& rpValue)
{
    V* pOld = rpValue;
    rpValue = nullptr;
    // A value bound in another role as well keeps this object as its observer.
    if (!pOld || isHeld(pOld))
        return;
    pOld->DeleteObserver(this);
    releaseIfOwned(pOld);
}

template <class F> void MappingDirectory::forEachObservedValue(F function)
{
    function(m_pAvailableMapsValue);
    function(m_pDecoderValue);
    function(m_pDataInputValue);
    function(m_pDataOutputValue);
    function(m_pMaxNumberOfCharsValue);
    function(m_pSaveToFileValue);
    function(m_pTranslateAllValue);
    function(m_pTranslatedFileValue);
    function(m_pFrequencyValue);
    function(m_pModtypeValue);
    function(m_pChannelIndexValue);
}

bool MappingDirectory::isHeld(const values::ValueBase* pValue)
{
    bool bHeld = pValue == m_pTextDirectionValue;
    forEachObservedValue([&](auto*& rpHeld) { bHeld = bHeld || rpHeld == pValue; });
    return bHeld;
}

void MappingDirectory::releaseIfOwned(values::ValueBase* pValue)
{
    for (auto it = m_vecOwnedValues.begin(); it != m_vecOwnedValues.end(); ++it) {
        if (it->get() == pValue) {
            m_vecOwnedValues.erase(it);
            return;
        }
    }
}

values::Value<bool>* MappingDirectory::textDirectionValue()
{
    // The value is not observed, so its removal from the tree is not announced: check that the
    // tree still holds it before writing.
    if (!m_pTextDirectionValue)
        return nullptr;
    for (const auto& owned : m_vecOwnedValues) {
        if (owned.get() == m_pTextDirectionValue)
            return m_pTextDirectionValue;
    }
    values::Tree* pTree = values::Tree::Instance();
    if (!pTree || dynamic_cast<values::Value<bool>*>(pTree->FindValue(m_strTextDirectionPath)) !=
                      m_pTextDirectionValue)
        m_pTextDirectionValue = nullptr;
    return m_pTextDirectionValue;
}

bool MappingDirectory::SetAvailableMaps_ValuePath(QString strPath)
{
    return bind(m_pAvailableMapsValue, strPath);
}

bool MappingDirectory::SetChannelIndex_ValuePath(QString strPath)
{
    return bind(m_pChannelIndexValue, strPath);
}

bool MappingDirectory::SetDataOutput_ValuePath(QString strPath)
{
    return bind(m_pDataOutputValue, strPath);
}

bool MappingDirectory::SetDecoder_ValuePath(QString strPath)
{
    return bind(m_pDecoderValue, strPath);
}

bool MappingDirectory::SetFrequency_ValuePath(QString strPath)
{
    return bind(m_pFrequencyValue, strPath);
}

bool MappingDirectory::SetModtype_ValuePath(QString strPath)
{
    return bind(m_pModtypeValue, strPath);
}

bool MappingDirectory::SetSaveToFile_ValuePath(QString strPath)
{
    return bind(m_pSaveToFileValue, strPath);
}

bool MappingDirectory::SetTranslateAll_ValuePath(QString strPath)
{
    return bind(m_pTranslateAllValue, strPath);
}

bool MappingDirectory::SetTranslatedFile_ValuePath(QString strPath)
{
    return bind(m_pTranslatedFileValue, strPath);
}

// The setters below touch the new value before registering a second time; each step checks the
// pointer again, because an observer told of that step may have removed the value.

bool MappingDirectory::SetDataInput_ValuePath(QString strPath, IVtClient* pClient)
{
    unbind(m_pDataInputValue);
    m_pDataInputValue = findOrCreate<values::Value<QString>>(strPath, this);
    if (m_pDataInputValue && pClient)
        pClient->RegisterValue(m_pDataInputValue, 0);
    if (m_pDataInputValue)
        m_pDataInputValue->AddObserver(this);
    return m_pDataInputValue != nullptr;
}

bool MappingDirectory::SetMaxNumberOfChars_ValuePath(QString strPath)
{
    unbind(m_pMaxNumberOfCharsValue);
    m_pMaxNumberOfCharsValue = findOrCreate<values::ValueNumeric<int>>(strPath, this);
    if (m_pMaxNumberOfCharsValue)
        m_pMaxNumberOfCharsValue->SetMinMax(MIN_NUMBER_OF_CHARS, MAX_NUMBER_OF_CHARS, 1, this);
    if (m_pMaxNumberOfCharsValue)
        m_pMaxNumberOfCharsValue->SetValue(MAX_NUMBER_OF_CHARS, nullptr);
    if (m_pMaxNumberOfCharsValue)
        m_pMaxNumberOfCharsValue->AddObserver(this);
    return m_pMaxNumberOfCharsValue != nullptr;
}

bool MappingDirectory::SetTextDirectionRTL_ValuePath(QString strPath)
{
    // Never registered with, and perhaps removed from the tree since: only forgotten here.
    values::Value<bool>* pOld = textDirectionValue();
    m_pTextDirectionValue = nullptr;
    if (pOld && !isHeld(pOld))
        releaseIfOwned(pOld);
    m_pTextDirectionValue = findOrCreate<values::Value<bool>>(strPath, nullptr);
    m_strTextDirectionPath = strPath;
    return m_pTextDirectionValue != nullptr;
}

void MappingDirectory::SetTranslatedFileDirectory(QString strDirectory)
{
    m_strTranslatedFileDirectory = strDirectory;
}

void MappingDirectory::SetIpcIdentifier(QString strId)
{
    m_strIpcIdentifier = morse::ipcSuffix(strId);
}

// ---------------------------------------------------------------------------------------------
// Session

void MappingDirectory::Enabled(bool bOn)
{
    m_bEnabled = bOn;
    if (bOn)
        return;
    if (m_fileTranslated.isOpen())
        m_fileTranslated.close();
    if (m_pDataOutputValue)
        m_pDataOutputValue->SetValue(QString(), nullptr);
}

eBASE_CHARSET MappingDirectory::GetDecoderCharset()
{
    if (!m_pDecoderValue)
        return eNONE;
    return m_mapDecoderCharset.value(m_pDecoderValue->GetStringValue(), eNONE);
}

void MappingDirectory::Init(QString strFullMapName)
{
    if (!m_pAvailableMapsValue)
        return;
    m_pAvailableMapsValue->DeleteItems(this);
    if (m_pAvailableMapsValue)
        m_pAvailableMapsValue->AddItem(DEFAULT, 0.0, 0, nullptr);
    const QStringList maps = availableMaps(GetDecoderCharset());
    for (int i = 0; i < maps.size() && m_pAvailableMapsValue; ++i)
        m_pAvailableMapsValue->AddItem(maps.at(i), i + 1, i + 1, this);

    m_eCurrentBaseCharset = GetDecoderCharset();
    if (m_eCurrentBaseCharset == eBOTH)
        m_eCurrentBaseCharset = baseCharset(strFullMapName);

    // Not skipping this object: the selection's notice switches the map.
    const QString strWanted = fullString(charset(strFullMapName), m_eCurrentBaseCharset);
    if (m_pAvailableMapsValue && !m_pAvailableMapsValue->Select(strWanted, nullptr) &&
        m_pAvailableMapsValue)
        m_pAvailableMapsValue->Select(DEFAULT, nullptr);
}

void MappingDirectory::Update(Observable* pSubject, TChangeCode eCode)
{
    if (!pSubject)
        return;
    switch (eCode) {
    case CHANGE_STATE:
        onStateChanged(pSubject);
        break;
    case CHANGE_VALUE:
        if (m_bEnabled)
            onValueChanged(pSubject);
        break;
    case CHANGE_TRIGGER:
        onTrigger(pSubject);
        break;
    default:
        break;
    }
}

void MappingDirectory::onStateChanged(Observable* pSubject)
{
    values::ValueBase* pSender = nullptr;
    forEachObservedValue([&](auto*& rpValue) {
        if (!pSender && rpValue && static_cast<Observable*>(rpValue) == pSubject)
            pSender = rpValue;
    });
    if (!pSender || pSender->GetState() != VALUE_STATE_GOING_AWAY)
        return;
    // Forget the value in every role that holds it, so that none is left pointing at it.
    pSender->DeleteObserver(this);
    forEachObservedValue([&](auto*& rpValue) {
        if (rpValue == pSender)
            rpValue = nullptr;
    });
    if (m_pTextDirectionValue == pSender)
        m_pTextDirectionValue = nullptr;
}

void MappingDirectory::onValueChanged(Observable* pSubject)
{
    if (m_pAvailableMapsValue && pSubject == m_pAvailableMapsValue) {
        switchTo(m_pAvailableMapsValue->GetStringValue());
    } else if (m_pDecoderValue && pSubject == m_pDecoderValue) {
        if (m_pAvailableMapsValue)
            Init(m_pAvailableMapsValue->GetStringValue());
    } else if ((m_pModtypeValue && pSubject == m_pModtypeValue) ||
               (m_pFrequencyValue && pSubject == m_pFrequencyValue) ||
               (m_pChannelIndexValue && pSubject == m_pChannelIndexValue)) {
        // Bound only.
    } else if (m_pDataInputValue && pSubject == m_pDataInputValue) {
        const QString strText = translate(m_pDataInputValue->GetValue());
        if (!m_pDataOutputValue)
            return;
        // A repeat is announced all the same, so that observers hear of every input.
        if (strText == m_pDataOutputValue->GetValue())
            m_pDataOutputValue->HasChanged(CHANGE_VALUE, this);
        else
            m_pDataOutputValue->SetValue(strText, this);
    }
}

void MappingDirectory::onTrigger(Observable* pSubject)
{
    if (m_pSaveToFileValue && pSubject == m_pSaveToFileValue) {
        if (m_fileTranslated.isOpen())
            m_fileTranslated.close();
    } else if (m_pDataInputValue && pSubject == m_pDataInputValue) {
        const QString strText = translate(m_pDataInputValue->GetValue());
        if (m_pDataOutputValue)
            m_pDataOutputValue->SetValue(strText, this);
        if (m_pDataOutputValue)
            m_pDataOutputValue->HasChanged(CHANGE_TRIGGER, this);
    }
}

// ---------------------------------------------------------------------------------------------
// Translated-text file: kept for the host's interface; translated text is not written to files.

QString MappingDirectory::CreateTimeString()
{
    QString strTime = Tarn::DateTime(QDateTime::currentDateTimeUtc()).toString();
    strTime.replace(QLatin1Char(':'), QLatin1Char('_'));
    strTime.replace(QLatin1Char('-'), QLatin1Char('_'));
    strTime.replace(QLatin1Char(' '), QLatin1String("__"));
    return strTime;
}

void MappingDirectory::SaveToFile(QString) {}

void MappingDirectory::CreateFilename() {}

void MappingDirectory::InitSaveToFile() {}
