#include "tools/morsehandler/mappingdirectory.h"

#include "host/ivtclient.h"
#include "host/values.h"
#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/basecharset.h"
#include "tools/morsehandler/boundedbuffer.h"
#include "tools/morsehandler/charsetmap.h"
#include "tools/morsehandler/codeccatalogue.h"
#include "tools/morsehandler/ipcsuffix.h"
#include "tools/morsehandler/trace.h"
#include "tools/morsehandler/valuebindings.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QObject>

#include <climits>
#include <exception>
#include <vector>

using morse::AlphabetNames;
using morse::BoundValue;
using morse::CharsetMap;
using morse::CodecCatalogue;

namespace {

const QString SOURCE_FILE = QStringLiteral("tools\\morsehandler\\mappingdirectory");
// The line numbers that these trace lines carry: the host shows them and its operators look them
// up, so they stay fixed whatever this file's layout.
constexpr int LINE_FIND_OR_CREATE = 299;
constexpr int LINE_DESTRUCTOR = 126;

/// The list entry, and the prefix of every map name, under which text passes unchanged.
const QString DEFAULT = QStringLiteral("Default");

constexpr int MIN_NUMBER_OF_CHARS = 100;
constexpr int MAX_NUMBER_OF_CHARS = 10000;

/// Map names are cut at the last separator: a base may itself hold one.
constexpr CodecCatalogue::Cut NAME_CUT = CodecCatalogue::Cut::AtLastSeparator;

/// The map of a current map name that is not loaded: every Latin-1 character passes unchanged.
const CharsetMap& identityMap()
{
    static const CharsetMap map;
    return map;
}

} // namespace

/// The values of the tree a MappingDirectory is bound to.
struct MappingDirectoryValues
{
    explicit MappingDirectoryValues(IObserver* pObserver)
        : m_bindings(pObserver,
                     {&m_pAvailableMapsValue, &m_pDecoderValue, &m_pDataInputValue,
                      &m_pDataOutputValue, &m_pMaxNumberOfCharsValue, &m_pSaveToFileValue,
                      &m_pTranslateAllValue, &m_pTranslatedFileValue, &m_pFrequencyValue,
                      &m_pModtypeValue, &m_pChannelIndexValue})
    {
    }

    // Observed: held, not owned (apart from those in m_vecOwnedValues).
    BoundValue<values::ValueSelection> m_pAvailableMapsValue;
    BoundValue<values::ValueSelection> m_pDecoderValue;
    BoundValue<values::Value<QString>> m_pDataInputValue;
    BoundValue<values::Value<QString>> m_pDataOutputValue;
    BoundValue<values::ValueNumeric<int>> m_pMaxNumberOfCharsValue;
    BoundValue<values::Value<bool>> m_pSaveToFileValue;
    BoundValue<values::Value<bool>> m_pTranslateAllValue;
    BoundValue<values::Value<QString>> m_pTranslatedFileValue;
    BoundValue<values::ValueNumeric<double>> m_pFrequencyValue;
    BoundValue<values::ValueSelection> m_pModtypeValue;
    BoundValue<values::ValueNumeric<int>> m_pChannelIndexValue;
    morse::ValueBindings m_bindings;
    // Written, never observed.
    values::Value<bool>* m_pTextDirectionValue = nullptr;
    QString m_strTextDirectionPath; // to check, before each write, that the tree still holds it
    /// Values made for paths that a value of another type had taken; released with the owner.
    std::vector<std::unique_ptr<values::ValueBase>> m_vecOwnedValues;
};

/// What a MappingDirectory holds: its values, the maps, the history and the session state.
class MORSEHANDLER_NO_EXPORT MappingDirectory::Private
{
public:
    explicit Private(IObserver* pObserver)
        : m_values(pObserver),
          m_history(INT_MAX, morse::BoundedBuffer<QString>::Compaction::Deferred)
    {
    }

    MappingDirectoryValues m_values;

    // Maps, built once by the constructor.
    QMap<eBASE_CHARSET, QMap<QString, morse::CharsetMap>> m_mapMapsByCharset;
    QMap<QString, eBASE_CHARSET> m_mapDecoderCharset;
    QString m_strCurrentMapName;
    eBASE_CHARSET m_eCurrentBaseCharset = eNONE;

    morse::BoundedBuffer<QString> m_history; // bounded by the max-number-of-chars value
    bool m_bTranslatingHistory = false;

    bool m_bEnabled = false;
    QString m_strIpcIdentifier;
    QString m_strTranslatedFileDirectory;
    QFile m_fileTranslated;
};

MappingDirectory::MappingDirectory(const QString& directory) : d(std::make_unique<Private>(this))
{
    loadMaps(directory);
    initBaseCharsetMap();
}

MappingDirectory::~MappingDirectory()
{
    try {
        if (d->m_fileTranslated.isOpen())
            d->m_fileTranslated.close();
        d->m_values.m_bindings.leaveAll();
        d->m_values.m_pTextDirectionValue = nullptr;
        d->m_values.m_vecOwnedValues.clear();
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
    // A later file of the same base name and charset replaces an earlier one.
    const QDir dir(strDirectory);
    for (const QString& pattern : CodecCatalogue::patternsLeastPreferredFirst()) {
        const QStringList names = dir.entryList(QStringList(pattern), QDir::Files, QDir::NoSort);
        for (const QString& name : names) {
            CharsetMap map;
            if (map.Load(dir.absoluteFilePath(name)))
                d->m_mapMapsByCharset[CodecCatalogue::charsetOfFile(name)].insert(
                    CodecCatalogue::baseOfFile(name), map);
        }
    }
}

void MappingDirectory::initBaseCharsetMap()
{
    d->m_mapDecoderCharset = CodecCatalogue::decoderCharsets();
}

eBASE_CHARSET MappingDirectory::baseCharset(const QString& strFullName) const
{
    return CodecCatalogue::charsetOfName(strFullName, NAME_CUT);
}

QString MappingDirectory::charset(const QString& strFullName) const
{
    QString strBase;
    return CodecCatalogue::cut(strFullName, NAME_CUT, &strBase, nullptr) ? strBase : strFullName;
}

QString MappingDirectory::fullString(const QString& strBaseName, eBASE_CHARSET eCharset) const
{
    const QString strFull = CodecCatalogue::fullName(strBaseName, eCharset);
    return strFull.isEmpty() ? strBaseName + QObject::tr(" - UNKNOWN") : strFull;
}

QStringList MappingDirectory::availableMaps(eBASE_CHARSET eCharset)
{
    QStringList names;
    for (eBASE_CHARSET eGroup : {eITA2, eASCII}) {
        if (eCharset != eGroup && eCharset != eBOTH)
            continue;
        const auto group = d->m_mapMapsByCharset.constFind(eGroup);
        if (group == d->m_mapMapsByCharset.cend())
            continue;
        for (auto it = group->cbegin(); it != group->cend(); ++it)
            names << fullString(it.key(), eGroup);
    }
    return names;
}

const CharsetMap* MappingDirectory::findMap(eBASE_CHARSET eCharset,
                                            const QString& strBaseName) const
{
    const auto group = d->m_mapMapsByCharset.constFind(eCharset);
    if (group == d->m_mapMapsByCharset.cend())
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
            const CharsetMap* pLeft = findMap(eBase, d->m_strCurrentMapName);
            pDirection->SetValue(pLeft && pLeft->TextDirectionRTL(), nullptr);
        }
        d->m_strCurrentMapName = strName;
        return true;
    }
    const CharsetMap* pMap = findMap(eBase, strName);
    if (!pMap)
        return false;
    d->m_eCurrentBaseCharset = eBase;
    d->m_strCurrentMapName = strName;
    if (values::Value<bool>* pDirection = textDirectionValue())
        pDirection->SetValue(pMap->TextDirectionRTL(), nullptr);
    return true;
}

QString MappingDirectory::translate(const QString& strText)
{
    if (!d->m_bTranslatingHistory)
        SaveToHistory(strText);
    if (d->m_strCurrentMapName.startsWith(DEFAULT))
        return strText;
    const CharsetMap* pMap = findMap(d->m_eCurrentBaseCharset, d->m_strCurrentMapName);
    return (pMap ? *pMap : identityMap()).Translate(strText);
}

void MappingDirectory::SaveToHistory(QString strText)
{
    // Unbounded until the limit's value is bound; the limit is read again for every text.
    d->m_history.setLimit(d->m_values.m_pMaxNumberOfCharsValue ? historyLimit() : -1);
    d->m_history.append(strText);
}

int MappingDirectory::historyLimit() const
{
    const double dMax = d->m_values.m_pMaxNumberOfCharsValue->GetDoubleValue();
    if (!(dMax > 0.0)) // also NaN
        return 0;
    if (dMax >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(dMax); // truncated toward zero
}

void MappingDirectory::ClearHistory()
{
    d->m_history.clear();
}

QString MappingDirectory::TranslateHistory()
{
    const QString strHistory = d->m_history.container();
    d->m_bTranslatingHistory = true;
    const QString strResult = translate(strHistory);
    d->m_bTranslatingHistory = false;
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
            d->m_values.m_vecOwnedValues.push_back(std::move(created));
        }
    }
    if (pObserver)
        pValue->AddObserver(pObserver);
    return pValue;
}

template <class V> bool MappingDirectory::bind(BoundValue<V>& role, const QString& strPath)
{
    unbind(role);
    V* pValue = findOrCreate<V>(strPath, this);
    d->m_values.m_bindings.bind(role, pValue);
    return pValue != nullptr;
}

template <class V> void MappingDirectory::unbind(BoundValue<V>& role)
{
    // A value bound in another role as well keeps this object as its observer.
    values::ValueBase* pLeft = d->m_values.m_bindings.leave(role);
    if (pLeft && pLeft != d->m_values.m_pTextDirectionValue)
        releaseIfOwned(pLeft);
}

bool MappingDirectory::isHeld(const values::ValueBase* pValue)
{
    return pValue == d->m_values.m_pTextDirectionValue ||
           d->m_values.m_bindings.roleCount(pValue) > 0;
}

void MappingDirectory::releaseIfOwned(values::ValueBase* pValue)
{
    for (auto it = d->m_values.m_vecOwnedValues.begin(); it != d->m_values.m_vecOwnedValues.end();
         ++it) {
        if (it->get() == pValue) {
            d->m_values.m_vecOwnedValues.erase(it);
            return;
        }
    }
}

values::Value<bool>* MappingDirectory::textDirectionValue()
{
    // The value is not observed, so its removal from the tree is not announced: check that the
    // tree still holds it before writing.
    if (!d->m_values.m_pTextDirectionValue)
        return nullptr;
    for (const auto& owned : d->m_values.m_vecOwnedValues) {
        if (owned.get() == d->m_values.m_pTextDirectionValue)
            return d->m_values.m_pTextDirectionValue;
    }
    values::Tree* pTree = values::Tree::Instance();
    if (!pTree || dynamic_cast<values::Value<bool>*>(pTree->FindValue(
                      d->m_values.m_strTextDirectionPath)) != d->m_values.m_pTextDirectionValue)
        d->m_values.m_pTextDirectionValue = nullptr;
    return d->m_values.m_pTextDirectionValue;
}

bool MappingDirectory::SetAvailableMaps_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pAvailableMapsValue, strPath);
}

bool MappingDirectory::SetChannelIndex_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pChannelIndexValue, strPath);
}

bool MappingDirectory::SetDataOutput_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pDataOutputValue, strPath);
}

bool MappingDirectory::SetDecoder_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pDecoderValue, strPath);
}

bool MappingDirectory::SetFrequency_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pFrequencyValue, strPath);
}

bool MappingDirectory::SetModtype_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pModtypeValue, strPath);
}

bool MappingDirectory::SetSaveToFile_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pSaveToFileValue, strPath);
}

bool MappingDirectory::SetTranslateAll_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pTranslateAllValue, strPath);
}

bool MappingDirectory::SetTranslatedFile_ValuePath(QString strPath)
{
    return bind(d->m_values.m_pTranslatedFileValue, strPath);
}

// The setters below touch the new value before registering a second time; each step checks the
// pointer again, because an observer told of that step may have removed the value.

bool MappingDirectory::SetDataInput_ValuePath(QString strPath, IVtClient* pClient)
{
    unbind(d->m_values.m_pDataInputValue);
    d->m_values.m_bindings.bind(d->m_values.m_pDataInputValue,
                                findOrCreate<values::Value<QString>>(strPath, this));
    if (d->m_values.m_pDataInputValue && pClient)
        pClient->RegisterValue(d->m_values.m_pDataInputValue, 0);
    if (d->m_values.m_pDataInputValue)
        d->m_values.m_pDataInputValue->AddObserver(this);
    return d->m_values.m_pDataInputValue != nullptr;
}

bool MappingDirectory::SetMaxNumberOfChars_ValuePath(QString strPath)
{
    unbind(d->m_values.m_pMaxNumberOfCharsValue);
    d->m_values.m_bindings.bind(d->m_values.m_pMaxNumberOfCharsValue,
                                findOrCreate<values::ValueNumeric<int>>(strPath, this));
    if (d->m_values.m_pMaxNumberOfCharsValue)
        d->m_values.m_pMaxNumberOfCharsValue->SetMinMax(MIN_NUMBER_OF_CHARS, MAX_NUMBER_OF_CHARS, 1,
                                                        this);
    if (d->m_values.m_pMaxNumberOfCharsValue)
        d->m_values.m_pMaxNumberOfCharsValue->SetValue(MAX_NUMBER_OF_CHARS, nullptr);
    if (d->m_values.m_pMaxNumberOfCharsValue)
        d->m_values.m_pMaxNumberOfCharsValue->AddObserver(this);
    return d->m_values.m_pMaxNumberOfCharsValue != nullptr;
}

bool MappingDirectory::SetTextDirectionRTL_ValuePath(QString strPath)
{
    // Never registered with, and perhaps removed from the tree since: only forgotten here.
    values::Value<bool>* pOld = textDirectionValue();
    d->m_values.m_pTextDirectionValue = nullptr;
    if (pOld && !isHeld(pOld))
        releaseIfOwned(pOld);
    d->m_values.m_pTextDirectionValue = findOrCreate<values::Value<bool>>(strPath, nullptr);
    d->m_values.m_strTextDirectionPath = strPath;
    return d->m_values.m_pTextDirectionValue != nullptr;
}

void MappingDirectory::SetTranslatedFileDirectory(QString strDirectory)
{
    d->m_strTranslatedFileDirectory = strDirectory;
}

void MappingDirectory::SetIpcIdentifier(QString strId)
{
    d->m_strIpcIdentifier = morse::ipcSuffix(strId);
}

// ---------------------------------------------------------------------------------------------
// Session

void MappingDirectory::Enabled(bool bOn)
{
    d->m_bEnabled = bOn;
    if (bOn)
        return;
    if (d->m_fileTranslated.isOpen())
        d->m_fileTranslated.close();
    if (d->m_values.m_pDataOutputValue)
        d->m_values.m_pDataOutputValue->SetValue(QString(), nullptr);
}

eBASE_CHARSET MappingDirectory::GetDecoderCharset()
{
    if (!d->m_values.m_pDecoderValue)
        return eNONE;
    return d->m_mapDecoderCharset.value(d->m_values.m_pDecoderValue->GetStringValue(), eNONE);
}

void MappingDirectory::Init(QString strFullMapName)
{
    if (!d->m_values.m_pAvailableMapsValue)
        return;
    d->m_values.m_pAvailableMapsValue->DeleteItems(this);
    if (d->m_values.m_pAvailableMapsValue)
        d->m_values.m_pAvailableMapsValue->AddItem(DEFAULT, 0.0, 0, nullptr);
    const QStringList maps = availableMaps(GetDecoderCharset());
    for (int i = 0; i < maps.size() && d->m_values.m_pAvailableMapsValue; ++i)
        d->m_values.m_pAvailableMapsValue->AddItem(maps.at(i), i + 1, i + 1, this);

    d->m_eCurrentBaseCharset = GetDecoderCharset();
    if (d->m_eCurrentBaseCharset == eBOTH)
        d->m_eCurrentBaseCharset = baseCharset(strFullMapName);

    // Not skipping this object: the selection's notice switches the map.
    const QString strWanted = fullString(charset(strFullMapName), d->m_eCurrentBaseCharset);
    if (d->m_values.m_pAvailableMapsValue &&
        !d->m_values.m_pAvailableMapsValue->Select(strWanted, nullptr) &&
        d->m_values.m_pAvailableMapsValue)
        d->m_values.m_pAvailableMapsValue->Select(DEFAULT, nullptr);
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
        if (d->m_bEnabled)
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
    // Forget the value in every role that holds it, so that none is left pointing at it.
    const values::ValueBase* pSender = d->m_values.m_bindings.find(pSubject);
    if (d->m_values.m_bindings.forgetIfGoingAway(pSubject) &&
        d->m_values.m_pTextDirectionValue == pSender)
        d->m_values.m_pTextDirectionValue = nullptr;
}

void MappingDirectory::onValueChanged(Observable* pSubject)
{
    if (d->m_values.m_pAvailableMapsValue && pSubject == d->m_values.m_pAvailableMapsValue) {
        switchTo(d->m_values.m_pAvailableMapsValue->GetStringValue());
    } else if (d->m_values.m_pDecoderValue && pSubject == d->m_values.m_pDecoderValue) {
        if (d->m_values.m_pAvailableMapsValue)
            Init(d->m_values.m_pAvailableMapsValue->GetStringValue());
    } else if ((d->m_values.m_pModtypeValue && pSubject == d->m_values.m_pModtypeValue) ||
               (d->m_values.m_pFrequencyValue && pSubject == d->m_values.m_pFrequencyValue) ||
               (d->m_values.m_pChannelIndexValue && pSubject == d->m_values.m_pChannelIndexValue)) {
        // Bound only.
    } else if (d->m_values.m_pDataInputValue && pSubject == d->m_values.m_pDataInputValue) {
        const QString strText = translate(d->m_values.m_pDataInputValue->GetValue());
        if (!d->m_values.m_pDataOutputValue)
            return;
        // A repeat is announced all the same, so that observers hear of every input.
        if (strText == d->m_values.m_pDataOutputValue->GetValue())
            d->m_values.m_pDataOutputValue->HasChanged(CHANGE_VALUE, this);
        else
            d->m_values.m_pDataOutputValue->SetValue(strText, this);
    }
}

void MappingDirectory::onTrigger(Observable* pSubject)
{
    if (d->m_values.m_pSaveToFileValue && pSubject == d->m_values.m_pSaveToFileValue) {
        if (d->m_fileTranslated.isOpen())
            d->m_fileTranslated.close();
    } else if (d->m_values.m_pDataInputValue && pSubject == d->m_values.m_pDataInputValue) {
        const QString strText = translate(d->m_values.m_pDataInputValue->GetValue());
        if (d->m_values.m_pDataOutputValue)
            d->m_values.m_pDataOutputValue->SetValue(strText, this);
        if (d->m_values.m_pDataOutputValue)
            d->m_values.m_pDataOutputValue->HasChanged(CHANGE_TRIGGER, this);
    }
}

eBASE_CHARSET MappingDirectory::currentBaseCharset() const
{
    return d->m_eCurrentBaseCharset;
}
