#pragma once

#include "host/observable.h"
#include "tools/morsehandler/codechandler.h"
#include "tools/morsehandler/morsehandler_export.h"

#include <QString>
#include <QStringList>

#include <memory>

class IVtClient;
namespace morse {
class CharsetMap;
template <class T> class BoundValue;
} // namespace morse
namespace values {
class ValueBase;
class ValueSelection;
template <class T> class Value;
template <class T> class ValueNumeric;
} // namespace values

/// The base character set of a decoder or map: CodecHandler's, the one definition.
using eBASE_CHARSET = CodecHandler::eBASE_CHARSET;

/// Translates the text that a decoder publishes on the value tree through a charset map chosen
/// by the user. The host constructs it with the directory of map files, binds the decoder's
/// values by path, calls Init and Enabled(true); from then on every text on the data input is
/// kept in a bounded history, translated and published on the data output, the offered maps
/// follow the selected decoder, and the current map's text direction is published.
class MORSEHANDLER_EXPORT MappingDirectory : public IObserver
{
public:
    /// Loads every ".codec", ".ita2.map" and ".ascii.map" file of @p directory and learns each
    /// decoder's base charset from the decoder modules catalogue (reloading its file).
    explicit MappingDirectory(const QString& directory);
    ~MappingDirectory() override;
    MappingDirectory(const MappingDirectory&) = delete;
    MappingDirectory& operator=(const MappingDirectory&) = delete;

    // Binding. Each setter takes the full "/"-separated path of a value, creates the value when
    // the path is free, and returns whether a value is now held. A path taken by a value of
    // another type binds a private value that this object owns.

    /// "Default" and the full names of the maps offered; its current item is the map in use.
    bool SetAvailableMaps_ValuePath(QString strPath);
    /// Bound and observed; its changes have no effect, like those of the frequency, the
    /// modulation type, translate-all and the translated-file name.
    bool SetChannelIndex_ValuePath(QString strPath);
    /// The translated text.
    bool SetDataOutput_ValuePath(QString strPath);
    /// The decoder selection; a new decoder rebuilds the offered maps.
    bool SetDecoder_ValuePath(QString strPath);
    bool SetFrequency_ValuePath(QString strPath);
    /// The history limit: set to 10000 with limits 100 to 10000 when bound.
    bool SetMaxNumberOfChars_ValuePath(QString strPath);
    bool SetModtype_ValuePath(QString strPath);
    /// A trigger on it closes the translated-text file.
    bool SetSaveToFile_ValuePath(QString strPath);
    /// Written with the current map's right-to-left flag; never observed.
    bool SetTextDirectionRTL_ValuePath(QString strPath);
    bool SetTranslateAll_ValuePath(QString strPath);
    bool SetTranslatedFile_ValuePath(QString strPath);
    /// The decoder's text output; handed to @p pClient (may be null) when one is given.
    bool SetDataInput_ValuePath(QString strPath, IVtClient* pClient);
    /// Kept only: translated text is not written to files.
    void SetTranslatedFileDirectory(QString strDirectory);
    /// Derives the IPC identifier from the host's identifier, as MorseHandler does.
    void SetIpcIdentifier(QString strId);

    // Session.

    /// While disabled, new values are ignored; disabling also empties the data output.
    void Enabled(bool bOn);
    /// Rebuilds the offered maps for the selected decoder and selects the one named
    /// @p strFullMapName in the decoder's charset, or "Default" when it is not offered.
    void Init(QString strFullMapName);
    void Update(Observable* pSubject, TChangeCode eCode) override;

    // Maps and translation.

    /// Full names ("Base - ITA2") of the maps usable with @p eCharset: ITA2 maps, then ASCII.
    QStringList availableMaps(eBASE_CHARSET eCharset);
    /// @p strText through the current map; kept in the history first.
    QString translate(const QString& strText);
    /// Forgets every text kept for TranslateHistory.
    void ClearHistory();
    /// The history through the current map; the history itself is left as it is.
    QString TranslateHistory();

private:
    friend class MappingDirectoryInspector; // the tests' view of the private rules

    // Maps and translation.
    void loadMaps(const QString& strDirectory);
    void initBaseCharsetMap();
    eBASE_CHARSET baseCharset(const QString& strFullName) const;
    QString charset(const QString& strFullName) const;
    QString fullString(const QString& strBaseName, eBASE_CHARSET eCharset) const;
    bool switchTo(const QString& strFullName);
    void SaveToHistory(QString strText);
    const morse::CharsetMap* findMap(eBASE_CHARSET eCharset, const QString& strBaseName) const;
    int historyLimit() const;

    // Binding.
    void onStateChanged(Observable* pSubject);
    void onValueChanged(Observable* pSubject);
    void onTrigger(Observable* pSubject);
    template <class V> V* findOrCreate(const QString& strPath, IObserver* pObserver);
    template <class V> bool bind(morse::BoundValue<V>& role, const QString& strPath);
    template <class V> void unbind(morse::BoundValue<V>& role);
    bool isHeld(const values::ValueBase* pValue);
    void releaseIfOwned(values::ValueBase* pValue);
    values::Value<bool>* textDirectionValue();
    eBASE_CHARSET GetDecoderCharset();
    eBASE_CHARSET currentBaseCharset() const;

    class Private; // the maps, the history, the bound values and the session state
    std::unique_ptr<Private> d;
};
