#pragma once

#include "host/values.h"
#include "qtprinters.h"
#include "recordingobserver.h"
#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/basecharset.h"
#include "tools/morsehandler/charsetmap.h"
#include "tools/morsehandler/mappingdirectory.h"
#include "treefixture.h"

#include <memory>

/// The maps of tests/data/mapping/maps, as offered for each charset.
const QStringList ITA2_MAPS = {"Cyrillic - ITA2", "Greek - ITA2", "Hebrew - ITA2", "My - ITA2"};
const QStringList ASCII_MAPS = {"Greek - ASCII", "latin - ASCII"};

/// The tests' view of the private rules of MappingDirectory.
class MappingDirectoryInspector
{
public:
    static eBASE_CHARSET baseCharset(MappingDirectory& d, QString s) { return d.baseCharset(s); }
    static QString charset(MappingDirectory& d, QString s) { return d.charset(s); }
    static bool switchTo(MappingDirectory& d, QString s) { return d.switchTo(s); }
    static const morse::CharsetMap* map(MappingDirectory& d, eBASE_CHARSET c, QString s)
    {
        return d.findMap(c, s);
    }
    static eBASE_CHARSET currentCharset(MappingDirectory& d) { return d.currentBaseCharset(); }
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
    QStringList offeredMaps() const
    {
        QStringList names;
        for (const auto& item : maps->GetItems())
            names << item.name;
        return names;
    }

    /// Binds a directory to the values an application gives it, with @p decoderName selected in
    /// a decoder list that also offers a decoder the catalogue lacks.
    void bind(const char* decoderName)
    {
        decoder = add<values::ValueSelection>(QStringLiteral("/Map/Decoder"));
        for (const char* name : {"Baudot RTTY", "ASCII 8N1", "PSK31 Both", "Morse", "Unlisted"})
            decoder->AddItem(QLatin1String(name), 0, 0, nullptr);
        decoder->Select(QLatin1String(decoderName), nullptr);
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
    /// bind(), enabled and started with @p map.
    void start(const char* decoderName, const char* map)
    {
        bind(decoderName);
        directory->Enabled(true);
        directory->Init(QLatin1String(map));
    }

    std::unique_ptr<MappingDirectory> directory;
    values::ValueSelection *decoder = nullptr, *maps = nullptr;
    values::Value<QString>*input = nullptr, *output = nullptr;
    values::Value<bool>* rtl = nullptr;
    RecordingObserver watcher; // outlives the values it watches
};
