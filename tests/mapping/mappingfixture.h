#pragma once

#include "host/values.h"
#include "qtprinters.h"
#include "recordingobserver.h"
#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/mappingdirectory.h"
#include "treefixture.h"

#include <memory>

/// The tests' view of the private rules of MappingDirectory.
class MappingDirectoryInspector
{
public:
    static eBASE_CHARSET baseCharset(const MappingDirectory& d, const QString& name)
    {
        return d.baseCharset(name);
    }
    static QString charset(const MappingDirectory& d, const QString& name)
    {
        return d.charset(name);
    }
    static bool switchTo(MappingDirectory& d, const QString& name) { return d.switchTo(name); }
    static const morse::CharsetMap* map(const MappingDirectory& d, eBASE_CHARSET c,
                                        const QString& base)
    {
        return d.findMap(c, base);
    }
    static eBASE_CHARSET currentBaseCharset(const MappingDirectory& d)
    {
        return d.m_eCurrentBaseCharset;
    }
    static QString ipcIdentifier(const MappingDirectory& d) { return d.m_strIpcIdentifier; }
    static QString createTimeString(MappingDirectory& d) { return d.CreateTimeString(); }
};
using Inspect = MappingDirectoryInspector;

/// A test with an empty value tree, the maps of tests/data/mapping/maps and a catalogue of four
/// decoders: "Baudot RTTY" (ITA2), "ASCII 8N1" (ASCII), "PSK31 Both" (both) and "Morse" (none).
class MappingTest : public TreeTest
{
protected:
    static QString dataPath(const char* name)
    {
        return QStringLiteral(MORSE_TEST_DATA_DIR "/mapping/") + QLatin1String(name);
    }

    void SetUp() override
    {
        TreeTest::SetUp();
        const QString modules = dataPath("decodermodules.txt");
        LanternIT::DecoderModulesCenter::Instance(modules)->SetFilePath(modules);
    }
    void TearDown() override
    {
        directory.reset();
        TreeTest::TearDown();
    }

    /// Binds a directory to the values an application would give it, with @p decoderName
    /// selected in the decoder list (which also offers a decoder the catalogue lacks).
    void bind(const QString& decoderName)
    {
        decoder = add<values::ValueSelection>(QStringLiteral("/Map/Decoder"));
        const QStringList names = {QStringLiteral("Baudot RTTY"), QStringLiteral("ASCII 8N1"),
                                   QStringLiteral("PSK31 Both"), QStringLiteral("Morse"),
                                   QStringLiteral("Unlisted")};
        for (int i = 0; i < names.size(); ++i)
            decoder->AddItem(names.at(i), i, i, nullptr);
        decoder->Select(decoderName, nullptr);

        directory = std::make_unique<MappingDirectory>(dataPath("maps"));
        directory->SetDecoder_ValuePath(QStringLiteral("/Map/Decoder"));
        directory->SetAvailableMaps_ValuePath(QStringLiteral("/Map/Maps"));
        directory->SetDataInput_ValuePath(QStringLiteral("/Map/Input"), nullptr);
        directory->SetDataOutput_ValuePath(QStringLiteral("/Map/Output"));
        directory->SetTextDirectionRTL_ValuePath(QStringLiteral("/Map/RTL"));
        maps = find<values::ValueSelection>("/Map/Maps");
        input = find<values::Value<QString>>("/Map/Input");
        output = find<values::Value<QString>>("/Map/Output");
        rtl = find<values::Value<bool>>("/Map/RTL");
    }

    template <class V> static V* find(const char* path)
    {
        return dynamic_cast<V*>(values::Tree::Instance()->FindValue(QLatin1String(path)));
    }

    static QStringList itemNames(const values::ValueSelection* selection)
    {
        QStringList names;
        for (const auto& item : selection->GetItems())
            names << item.name;
        return names;
    }

    std::unique_ptr<MappingDirectory> directory;
    values::ValueSelection* decoder = nullptr;
    values::ValueSelection* maps = nullptr;
    values::Value<QString>* input = nullptr;
    values::Value<QString>* output = nullptr;
    values::Value<bool>* rtl = nullptr;
    RecordingObserver watcher; // outlives the values it watches
};
