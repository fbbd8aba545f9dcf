// The value-tree binding: setters, the map list, the data input -> output path and teardown.

#include "host/errorhandler.h"
#include "host/ivtclient.h"
#include "mappingfixture.h"

#include <QRegExp>

namespace {

struct RecordingClient : IVtClient
{
    void RegisterValue(values::ValueBase* v, int f) override
    {
        value = v;
        flags = f;
    }
    values::ValueBase* value = nullptr;
    int flags = -1;
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
    EXPECT_TRUE(d.SetModtype_ValuePath(QStringLiteral("/M/Modtype")));
    EXPECT_TRUE(d.SetTextDirectionRTL_ValuePath(QStringLiteral("/M/RTL")));

    auto* input = find<values::Value<QString>>("/M/Input");
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(client.value, input);
    EXPECT_EQ(client.flags, 0);
    EXPECT_EQ(input->ObserverCount(), 1);
    ASSERT_NE(find<values::ValueNumeric<double>>("/M/Frequency"), nullptr);
    ASSERT_NE(find<values::ValueSelection>("/M/Modtype"), nullptr);
    EXPECT_EQ(find<values::Value<bool>>("/M/RTL")->ObserverCount(), 0);

    auto* max = find<values::ValueNumeric<int>>("/M/Max");
    ASSERT_NE(max, nullptr);
    EXPECT_EQ(max->GetValue(), 10000);
    EXPECT_EQ(max->GetMin(), 100);
    EXPECT_EQ(max->GetMax(), 10000);
    EXPECT_EQ(max->GetStep(), 1);

    EXPECT_TRUE(d.SetDataInput_ValuePath(QStringLiteral("/M/Other"), nullptr));
    EXPECT_EQ(input->ObserverCount(), 0) << "rebinding leaves the old value";
}

TEST_F(Binding, PathTakenByAnotherTypeBindsAPrivateValueAndTraces)
{
    QStringList traces;
    ErrorHandler::Instance()->SetTraceFlags(TRACE_FLAG_LIBRARY);
    ErrorHandler::Instance()->SetTraceSink(
        [&](const QString& message, const QString& file, int line) {
            traces << QStringLiteral("%1 %2 %3").arg(file).arg(line).arg(message);
        });
    bind(QStringLiteral("Baudot RTTY"));
    add<values::Value<int>>(QStringLiteral("/Map/Taken"));
    EXPECT_TRUE(directory->SetDataOutput_ValuePath(QStringLiteral("/Map/Taken")));
    EXPECT_TRUE(directory->SetTextDirectionRTL_ValuePath(QStringLiteral("/Map/Taken")));
    EXPECT_TRUE(directory->SetDataOutput_ValuePath(QStringLiteral("/Map/Taken")))
        << "the private value it replaces is released, not leaked";
    ErrorHandler::Instance()->SetTraceSink(nullptr);
    ErrorHandler::Instance()->SetTraceFlags(0);

    ASSERT_EQ(traces.size(), 3);
    EXPECT_EQ(traces.at(0),
              QStringLiteral("tools\\morsehandler\\mappingdirectory 299 !!!!!!!MEMORY LEAK! The "
                             "value with the path '/Map/Taken' could not be created!!! A value "
                             "of this name already exists for a different type!!!!!!!!"));
    EXPECT_NE(find<values::Value<int>>("/Map/Taken"), nullptr) << "the tree keeps its value";
    directory->Enabled(true);
    directory->Init(QStringLiteral("Hebrew - ITA2"));
    input->SetValue(QStringLiteral("AB"), nullptr); // published on the private value
}

TEST_F(Binding, IpcIdentifierAndTimeStringFollowTheHostsNaming)
{
    MappingDirectory d(dataPath("maps"));
    d.SetIpcIdentifier(QStringLiteral("A05"));
    EXPECT_EQ(Inspect::ipcIdentifier(d), QStringLiteral("__SGA_IPC5"));
    EXPECT_TRUE(QRegExp(QStringLiteral("\\d{4}_\\d\\d_\\d\\d__\\d\\d_\\d\\d_\\d\\d\\.\\d{3}"))
                    .exactMatch(Inspect::createTimeString(d)))
        << qPrintable(Inspect::createTimeString(d));
}

using MapList = MappingTest;

TEST_F(MapList, InitOffersDefaultAndTheMapsOfTheDecodersCharset)
{
    const QStringList ita2 = {"Cyrillic - ITA2", "Greek - ITA2", "Hebrew - ITA2", "My - ITA2"};
    const QStringList ascii = {"Greek - ASCII", "latin - ASCII"};
    const struct
    {
        const char* decoder;
        QStringList maps;
    } cases[] = {{"Baudot RTTY", ita2},
                 {"ASCII 8N1", ascii},
                 {"PSK31 Both", ita2 + ascii},
                 {"Morse", {}},
                 {"Unlisted", {}}};
    for (const auto& c : cases) {
        bind(QLatin1String(c.decoder));
        directory->Init(QStringLiteral("Greek - ITA2"));
        EXPECT_EQ(itemNames(maps), QStringList("Default") + c.maps) << c.decoder;
        const auto items = maps->GetItems();
        EXPECT_EQ(items.last().key, c.maps.size());
        EXPECT_EQ(items.last().value, c.maps.size());
        values::Tree::Instance()->Clear();
    }
}

TEST_F(MapList, InitSelectsTheGivenMapInTheDecodersCharsetOrDefault)
{
    const struct
    {
        const char* decoder;
        const char* wanted;
        const char* selected;
        eBASE_CHARSET charset;
    } cases[] = {
        {"Baudot RTTY", "Greek - ASCII", "Greek - ITA2", eITA2},
        {"Baudot RTTY", "latin - ASCII", "Default", eITA2},
        {"PSK31 Both", "Greek - ASCII", "Greek - ASCII", eASCII},
        {"PSK31 Both", "Greek", "Default", eNONE},
        {"Morse", "Greek - ITA2", "Default", eNONE},
    };
    for (const auto& c : cases) {
        bind(QLatin1String(c.decoder));
        directory->Init(QLatin1String(c.wanted));
        EXPECT_EQ(maps->GetStringValue(), QLatin1String(c.selected)) << c.decoder << c.wanted;
        EXPECT_EQ(Inspect::currentBaseCharset(*directory), c.charset) << c.decoder << c.wanted;
        values::Tree::Instance()->Clear();
    }
}

TEST_F(MapList, SelectionSwitchesTheMapAndPublishesItsDirectionOnlyWhileEnabled)
{
    bind(QStringLiteral("Baudot RTTY"));
    directory->Init(QStringLiteral("Hebrew - ITA2"));
    EXPECT_FALSE(rtl->GetValue()) << "disabled: the selection does not switch";
    directory->Enabled(true);
    maps->Select(QStringLiteral("Hebrew - ITA2"), nullptr);
    EXPECT_TRUE(rtl->GetValue());
    EXPECT_EQ(directory->translate(QStringLiteral("AB")), QString::fromUtf8("אב"));
    maps->Select(QStringLiteral("Cyrillic - ITA2"), nullptr);
    EXPECT_FALSE(rtl->GetValue());
}

TEST_F(MapList, NewDecoderRebuildsTheListKeepingTheMapsBaseName)
{
    bind(QStringLiteral("Baudot RTTY"));
    directory->Enabled(true);
    directory->Init(QStringLiteral("Greek - ITA2"));
    decoder->Select(QStringLiteral("ASCII 8N1"), nullptr);
    EXPECT_EQ(itemNames(maps), QStringList({"Default", "Greek - ASCII", "latin - ASCII"}));
    EXPECT_EQ(maps->GetStringValue(), QStringLiteral("Greek - ASCII"));
    EXPECT_EQ(directory->translate(QStringLiteral("ab")), QString::fromUtf8("αβ"));
}

using DataPath = MappingTest;

TEST_F(DataPath, InputIsTranslatedOntoTheOutputWhileEnabled)
{
    bind(QStringLiteral("Baudot RTTY"));
    output->AddObserver(&watcher);
    directory->Enabled(true);
    directory->Init(QStringLiteral("Cyrillic - ITA2"));
    input->SetValue(QStringLiteral("ABC"), nullptr);
    EXPECT_EQ(output->GetValue(), QString::fromUtf8("АБЦ"));
    EXPECT_EQ(watcher.count(output, CHANGE_VALUE), 1);

    directory->Enabled(false);
    EXPECT_EQ(output->GetValue(), QString()) << "disabling empties the output";
    input->SetValue(QStringLiteral("CBA"), nullptr);
    EXPECT_EQ(output->GetValue(), QString()) << "disabled: input is ignored";
}

TEST_F(DataPath, RepeatedTextIsAnnouncedAgainWithoutBeingSet)
{
    bind(QStringLiteral("Baudot RTTY"));
    directory->Enabled(true);
    directory->Init(QStringLiteral("Cyrillic - ITA2"));
    input->SetValue(QStringLiteral("AB"), nullptr);
    output->AddObserver(&watcher);
    input->HasChanged(CHANGE_VALUE, nullptr); // the decoder publishes the same text again
    EXPECT_EQ(watcher.count(output, CHANGE_VALUE), 1);
    EXPECT_EQ(output->GetValue(), QString::fromUtf8("АБ"));
}

TEST_F(DataPath, TriggerWhileDisabledStillTranslatesAndPublishes)
{
    bind(QStringLiteral("Baudot RTTY"));
    directory->Enabled(true);
    directory->Init(QStringLiteral("Cyrillic - ITA2"));
    directory->Enabled(false);
    input->SetValue(QStringLiteral("BA"), nullptr);
    output->AddObserver(&watcher);
    input->HasChanged(CHANGE_TRIGGER, nullptr);
    EXPECT_EQ(output->GetValue(), QString::fromUtf8("БА"));
    ASSERT_EQ(watcher.notices.size(), 2u);
    EXPECT_EQ(watcher.notices[0].second, CHANGE_VALUE);
    EXPECT_EQ(watcher.notices[1].second, CHANGE_TRIGGER);
}

using Teardown = MappingTest;

TEST_F(Teardown, RemovedValuesAreNeverTouchedAgain)
{
    bind(QStringLiteral("Baudot RTTY"));
    directory->Enabled(true);
    directory->Init(QStringLiteral("Hebrew - ITA2"));
    values::Tree::Instance()->RemoveValue(QStringLiteral("/Map/Output"));
    values::Tree::Instance()->RemoveValue(QStringLiteral("/Map/RTL"));
    input->SetValue(QStringLiteral("AB"), nullptr);
    maps->Select(QStringLiteral("Cyrillic - ITA2"), nullptr);
    directory->Enabled(false);
    values::Tree::Instance()->Clear();
    directory.reset(); // the address sanitizer reports any touch of a removed value
}

TEST_F(Teardown, OtherStateChangesKeepTheValueBound)
{
    bind(QStringLiteral("Baudot RTTY"));
    directory->Enabled(true);
    output->SetState(VALUE_STATE_NORMAL, nullptr);
    input->SetValue(QStringLiteral("AB"), nullptr);
    EXPECT_EQ(output->GetValue(), QStringLiteral("AB"));
}

TEST_F(Teardown, DestructorUnregistersFromEveryValue)
{
    bind(QStringLiteral("Baudot RTTY"));
    directory->SetMaxNumberOfChars_ValuePath(QStringLiteral("/Map/Max"));
    directory->SetSaveToFile_ValuePath(QStringLiteral("/Map/Save"));
    directory->SetChannelIndex_ValuePath(QStringLiteral("/Map/Channel"));
    directory.reset();
    for (const QString& path : values::Tree::Instance()->Paths())
        EXPECT_EQ(values::Tree::Instance()->FindValue(path)->ObserverCount(), 0)
            << qPrintable(path);
}
