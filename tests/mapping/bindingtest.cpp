// The value-tree binding: setters, the map list and the data input -> output path. Teardown in
// any order is checked by the faults tests.

#include "host/ivtclient.h"
#include "mappingfixture.h"
#include "tracecapture.h"

using values::Value;
using values::ValueNumeric;

namespace {

struct RecordingClient : IVtClient
{
    void RegisterValue(values::ValueBase* v, int f) override { registered = {v, f}; }
    std::pair<values::ValueBase*, int> registered{nullptr, -1};
};

} // namespace

using Binding = MappingTest;

TEST_F(Binding, SettersCreateMissingValuesAndRegisterWithAllButTheTextDirection)
{
    MappingDirectory d(dataPath("maps"));
    RecordingClient client;
    EXPECT_TRUE(d.SetDataInput_ValuePath(QStringLiteral("/M/Input"), &client));
    EXPECT_TRUE(d.SetMaxNumberOfChars_ValuePath(QStringLiteral("/M/Max")));
    EXPECT_TRUE(d.SetFrequency_ValuePath(QStringLiteral("/M/Frequency")));
    EXPECT_TRUE(d.SetTextDirectionRTL_ValuePath(QStringLiteral("/M/RTL")));
    auto* in = find<Value<QString>>("/M/Input");
    EXPECT_EQ(client.registered, std::make_pair(static_cast<values::ValueBase*>(in), 0));
    EXPECT_EQ(in->ObserverCount(), 1);
    EXPECT_NE(find<ValueNumeric<double>>("/M/Frequency"), nullptr);
    EXPECT_EQ(find<Value<bool>>("/M/RTL")->ObserverCount(), 0);
    auto* max = find<ValueNumeric<int>>("/M/Max");
    EXPECT_EQ(QVector<int>({max->GetValue(), max->GetMin(), max->GetMax(), max->GetStep()}),
              QVector<int>({10000, 100, 10000, 1}));
    EXPECT_TRUE(d.SetDataInput_ValuePath(QStringLiteral("/M/Other"), nullptr));
    EXPECT_EQ(in->ObserverCount(), 0) << "rebinding leaves the old value";
}

TEST_F(Binding, PathTakenByAnotherTypeBindsAPrivateValueAndTraces)
{
    TraceCapture trace;
    start("Baudot RTTY", "Hebrew - ITA2");
    add<Value<int>>(QStringLiteral("/Map/Taken"));
    EXPECT_TRUE(directory->SetDataOutput_ValuePath(QStringLiteral("/Map/Taken")));
    EXPECT_TRUE(directory->SetTextDirectionRTL_ValuePath(QStringLiteral("/Map/Taken")));
    EXPECT_TRUE(directory->SetDataOutput_ValuePath(QStringLiteral("/Map/Taken")));
    ASSERT_EQ(trace.located.size(), 3);
    EXPECT_EQ(trace.located.at(0),
              "!!!!!!!MEMORY LEAK! The value with the path '/Map/Taken' could "
              "not be created!!! A value of this name already exists for a "
              "different type!!!!!!!!|tools\\morsehandler\\mappingdirectory|299");
    EXPECT_NE(find<Value<int>>("/Map/Taken"), nullptr) << "the tree keeps its own value";
    // Published on the private value; the leak checker reports any private value not released.
    input->SetValue(QStringLiteral("AB"), nullptr);
    maps->Select(QStringLiteral("Cyrillic - ITA2"), nullptr);
}

using MapList = MappingTest;

TEST_F(MapList, InitOffersTheDecodersCharsetAndSelectsTheGivenMapThereOrDefault)
{
    const struct
    {
        const char *decoder, *wanted, *selected;
        eBASE_CHARSET charset;
        QStringList offered;
    } cases[] = {{"Baudot RTTY", "Greek - ASCII", "Greek - ITA2", eITA2, ITA2_MAPS},
                 {"Baudot RTTY", "latin - ASCII", "Default", eITA2, ITA2_MAPS},
                 {"ASCII 8N1", "Greek - ITA2", "Greek - ASCII", eASCII, ASCII_MAPS},
                 {"PSK31 Both", "Greek - ASCII", "Greek - ASCII", eASCII, ITA2_MAPS + ASCII_MAPS},
                 {"Morse", "Greek - ITA2", "Default", eNONE, {}},
                 {"Unlisted", "Greek - ITA2", "Default", eNONE, {}}};
    for (const auto& c : cases) {
        bind(c.decoder);
        directory->Init(QLatin1String(c.wanted));
        EXPECT_EQ(offeredMaps(), QStringList("Default") + c.offered) << c.decoder;
        EXPECT_EQ(maps->GetItems().last().key, c.offered.size()) << "keys count from 1";
        EXPECT_EQ(maps->GetStringValue(), QLatin1String(c.selected)) << c.decoder << c.wanted;
        EXPECT_EQ(Inspect::currentCharset(*directory), c.charset) << c.decoder << c.wanted;
        values::Tree::Instance()->Clear();
    }
}

TEST_F(MapList, SelectionOrANewDecoderSwitchesTheMapOnlyWhileEnabled)
{
    bind("Baudot RTTY");
    directory->Init(QStringLiteral("Hebrew - ITA2"));
    EXPECT_FALSE(rtl->GetValue()) << "disabled: the selection does not switch";
    directory->Enabled(true);
    maps->Select(QStringLiteral("Hebrew - ITA2"), nullptr);
    EXPECT_TRUE(rtl->GetValue());
    EXPECT_EQ(directory->translate(QStringLiteral("AB")), QString::fromUtf8("אב"));
    maps->Select(QStringLiteral("Greek - ITA2"), nullptr);
    EXPECT_FALSE(rtl->GetValue());

    decoder->Select(QStringLiteral("ASCII 8N1"), nullptr); // the list is rebuilt, base name kept
    EXPECT_EQ(offeredMaps(), QStringList("Default") + ASCII_MAPS);
    EXPECT_EQ(maps->GetStringValue(), QStringLiteral("Greek - ASCII"));
    EXPECT_EQ(directory->translate(QStringLiteral("ab")), QString::fromUtf8("αβ"));
}

using DataPath = MappingTest;

TEST_F(DataPath, EveryInputIsTranslatedOntoTheOutputWhileEnabled)
{
    start("Baudot RTTY", "Cyrillic - ITA2");
    output->AddObserver(&watcher);
    output->SetState(VALUE_STATE_NORMAL, nullptr); // a state but "going away" keeps it bound
    input->SetValue(QStringLiteral("ABC"), nullptr);
    EXPECT_EQ(output->GetValue(), QString::fromUtf8("АБЦ"));
    EXPECT_EQ(watcher.count(output, CHANGE_VALUE), 1);
    input->HasChanged(CHANGE_VALUE, nullptr); // the decoder publishes the same text again
    EXPECT_EQ(watcher.count(output, CHANGE_VALUE), 2) << "a repeat is announced, not set";

    directory->Enabled(false);
    EXPECT_EQ(output->GetValue(), QString()) << "disabling empties the output";
    input->SetValue(QStringLiteral("CBA"), nullptr);
    EXPECT_EQ(output->GetValue(), QString()) << "disabled: input is ignored";
}

TEST_F(DataPath, TriggerWhileDisabledStillTranslatesAndPublishes)
{
    start("Baudot RTTY", "Cyrillic - ITA2");
    directory->Enabled(false);
    input->SetValue(QStringLiteral("BA"), nullptr);
    output->AddObserver(&watcher);
    input->HasChanged(CHANGE_TRIGGER, nullptr);
    EXPECT_EQ(output->GetValue(), QString::fromUtf8("БА"));
    ASSERT_EQ(watcher.notices.size(), 2u);
    EXPECT_EQ(watcher.notices[0].second, CHANGE_VALUE);
    EXPECT_EQ(watcher.notices[1].second, CHANGE_TRIGGER);
}
