#include "receptionfixture.h"

#include <QDir>
#include <QMetaMethod>

using Binding = ReceptionTest;
using ChangeNotices = ReceptionTest;
using Teardown = ReceptionTest;
using TunerSettings = ReceptionTest;

TEST_F(Binding, RebindingObservesOnlyTheLatestValue)
{
    auto* other = add<values::ValueNumeric<int>>(QStringLiteral("/Morse/Other"));
    handler->SetSymbol_ValuePath(QStringLiteral("/Morse/Other"));
    EXPECT_EQ(symbol->ObserverCount(), 0);
    EXPECT_EQ(other->ObserverCount(), 1);
    symbol->SetValue(1, nullptr);
    other->SetValue(4, nullptr);
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral("w"));
}

TEST_F(Binding, PathOfTheWrongTypeLeavesTheRoleEmptyAndTracesWhereAValueIsNeeded)
{
    TraceCapture trace;
    handler->SetSymbol_ValuePath(QStringLiteral("/Morse/Text"));
    EXPECT_EQ(symbol->ObserverCount(), 0);
    handler->SetMorseAvailable_ValuePath(QStringLiteral("/Morse/Missing"));
    handler->SetMorseXmlSaveToFile_ValuePath(QStringLiteral("/Morse/Text"));
    EXPECT_EQ(trace.lines.size(), 2);
    handler->AddSymbol(0); // the available flag kept its value
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral("."));
}

TEST_F(Binding, XmlSaveValueIsSetTrueWhenBound)
{
    auto* xmlSave = add<values::Value<bool>>(QStringLiteral("/Morse/XmlSave"));
    RecordingObserver watcher;
    xmlSave->AddObserver(&watcher);
    handler->SetMorseXmlSaveToFile_ValuePath(QStringLiteral("/Morse/XmlSave"));
    EXPECT_TRUE(xmlSave->GetValue());
    EXPECT_EQ(watcher.count(xmlSave, CHANGE_VALUE), 1);
    xmlSave->DeleteObserver(&watcher);
}

TEST_F(Binding, AlphabetIsTheSelectedFileOfTheDirectoryAndItsDirectionIsPublished)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Greek.mal")), "\xce\x91\t.-\n");
    writeFile(dir.filePath(QStringLiteral("Arabic.mal")), "@TextDirection RL\n\xd8\xa7\t.-\n");
    auto* selection = add<values::ValueSelection>(QStringLiteral("/Morse/Alphabet"));
    for (const char* name : {"Greek", "Arabic", "Missing"})
        selection->AddItem(QString::fromLatin1(name), 0, 0, nullptr);
    auto* directory = add<values::Value<QString>>(QStringLiteral("/Morse/AlphabetDir"));
    auto* rtl = add<values::Value<bool>>(QStringLiteral("/Morse/RTL"));
    directory->SetValue(dir.path(), nullptr); // no trailing backslash yet
    handler->SetMorseAlphabet_ValuePath(QStringLiteral("/Morse/Alphabet"));
    handler->SetMorseAlphabet_DirectoryPath(QStringLiteral("/Morse/AlphabetDir"));
    handler->SetTextDirectionRTL_ValuePath(QStringLiteral("/Morse/RTL"));
    EXPECT_EQ(handler->GetMorseAlphabet(), selection);

    selection->Select(QStringLiteral("Greek"), nullptr);
    EXPECT_TRUE(handler->ChangeAlphabet());
    send({0, 1, 3});
    selection->Select(QStringLiteral("Arabic"), nullptr);
    directory->SetValue(dir.path() + QStringLiteral("\\"), nullptr); // one backslash is kept
    EXPECT_TRUE(handler->ChangeAlphabet());
    EXPECT_TRUE(rtl->GetValue());
    send({0, 1, 3});
    selection->Select(QStringLiteral("Missing"), nullptr);
    EXPECT_FALSE(handler->ChangeAlphabet());
    EXPECT_FALSE(rtl->GetValue());
    send({0, 1, 3});
    EXPECT_EQ(recorder->units,
              QStringList({QString::fromUtf8("\xce\x91"), QString::fromUtf8("\xd8\xa7"), "A"}));
}

TEST_F(ChangeNotices, StateNoticeUnbindsOnlyAValueThatGoesAway)
{
    symbol->SetState(VALUE_STATE_NORMAL, nullptr);
    symbol->SetValue(1, nullptr);
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral("-"));
    values::Tree::Instance()->RemoveValue(QStringLiteral("/Morse/Symbol"));
    handler->AddSymbol(3);
    EXPECT_EQ(recorder->units, QStringList({"T"}));
}

TEST_F(ChangeNotices, TriggerOnTheSymbolValueTracesANewLine)
{
    TraceCapture trace;
    symbol->HasChanged(CHANGE_TRIGGER, nullptr);
    EXPECT_EQ(trace.lines, QStringList({"new line in morsehandler receive"}));
}

TEST_F(ChangeNotices, FrequencyChangeStartsNewFilesOnlyWhileSaving)
{
    QTemporaryDir dir;
    auto* frequency = add<values::ValueNumeric<double>>(QStringLiteral("/Morse/Frequency"));
    frequency->SetValue(14070000, nullptr);
    handler->SetFrequency_ValuePath(QStringLiteral("/Morse/Frequency"));
    EXPECT_EQ(frequency->ObserverCount(), 1); // the second registration is the tree's affair
    startSaving(dir.path());
    send({0, 1, 3});
    frequency->SetValue(7030000, nullptr);
    send({1, 3});
    auto* save = dynamic_cast<values::Value<bool>*>(
        values::Tree::Instance()->FindValue(QStringLiteral("/Morse/Save")));
    save->SetValue(false, nullptr);
    frequency->SetValue(3560000, nullptr);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList({"20240305_070809_1_MO__14_070MHz.txt",
                           "20240305_070809_1_MO__14_070MHz__Default.txt",
                           "20240305_070809_1_MO__7_030MHz.txt",
                           "20240305_070809_1_MO__7_030MHz__Default.txt"}));
    EXPECT_EQ(
        contentOf(dir.filePath(QStringLiteral("20240305_070809_1_MO__7_030MHz__Default.txt"))),
        "T");
}

TEST_F(ChangeNotices, ValuesRemovedMidReceptionAreNeverTouchedAgain)
{
    QTemporaryDir dir;
    add<values::ValueSelection>(QStringLiteral("/Morse/Alphabet"));
    add<values::Value<bool>>(QStringLiteral("/Morse/RTL"));
    add<values::ValueNumeric<double>>(QStringLiteral("/Morse/Frequency"));
    add<values::Value<bool>>(QStringLiteral("/Morse/XmlSave"));
    add<values::Value<bool>>(QStringLiteral("/Morse/Generate"));
    add<values::Value<QString>>(QStringLiteral("/Morse/Tuner"));
    handler->SetMorseAlphabet_ValuePath(QStringLiteral("/Morse/Alphabet"));
    handler->SetTextDirectionRTL_ValuePath(QStringLiteral("/Morse/RTL"));
    handler->SetFrequency_ValuePath(QStringLiteral("/Morse/Frequency"));
    handler->SetMorseXmlSaveToFile_ValuePath(QStringLiteral("/Morse/XmlSave"));
    handler->SetGenXmlTunerDemodulatorSettingsPath(QStringLiteral("/Morse/Generate"));
    handler->SetXmlTunerDemodulatorSettings(QStringLiteral("/Morse/Tuner"));
    startSaving(dir.path());
    setTimestamps(1000000, 2000000);
    send({0, 1, 3});
    dynamic_cast<values::Value<bool>*>(
        values::Tree::Instance()->FindValue(QStringLiteral("/Morse/XmlSave")))
        ->HasChanged(CHANGE_TRIGGER, nullptr);

    text->DeleteObserver(recorder.get());
    values::Tree::Instance()->Clear(); // the host removes every value at once
    setTimestamps(3000000, 4000000);   // a new transmission announces its file name
    handler->AddSymbol(1);
    handler->AddSymbol(3);
    handler->AddSymbol(5);
    EXPECT_FALSE(handler->ChangeAlphabet());
    EXPECT_EQ(handler->GetMorseAlphabet(), nullptr);
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral(".-c-c\n"));
}

TEST_F(Teardown, DestroyingTheHandlerUnregistersEverywhereAndClosesItsFiles)
{
    QTemporaryDir dir;
    auto* frequency = add<values::ValueNumeric<double>>(QStringLiteral("/Morse/Frequency"));
    handler->SetFrequency_ValuePath(QStringLiteral("/Morse/Frequency"));
    handler->SetMorseAvailable_ValuePath(QStringLiteral("/Morse/Available")); // already bound
    startSaving(dir.path());
    send({0, 1, 3});
    handler.reset();
    for (values::ValueBase* value :
         std::initializer_list<values::ValueBase*>{symbol, available, frequency})
        EXPECT_EQ(value->ObserverCount(), 0);
    EXPECT_EQ(text->ObserverCount(), 1); // the test's recorder
    EXPECT_EQ(
        contentOf(dir.filePath(QStringLiteral("20240305_070809_1_MO__0_000KHz__Default.txt"))),
        "A");
}

TEST_F(TunerSettings, EachNewTransmissionRequestsThemAndTheReplyIsAccepted)
{
    QTemporaryDir dir;
    auto* generate = add<values::Value<bool>>(QStringLiteral("/Morse/Generate"));
    auto* tuner = add<values::Value<QString>>(QStringLiteral("/Morse/Tuner"));
    auto* xmlSave = add<values::Value<bool>>(QStringLiteral("/Morse/XmlSave"));
    handler->SetGenXmlTunerDemodulatorSettingsPath(QStringLiteral("/Morse/Generate"));
    handler->SetXmlTunerDemodulatorSettings(QStringLiteral("/Morse/Tuner"));
    handler->SetMorseXmlSaveToFile_ValuePath(QStringLiteral("/Morse/XmlSave"));
    startSaving(dir.path());
    RecordingObserver host;
    generate->AddObserver(&host);

    handler->SetTimestamp(1000000); // first transmission
    EXPECT_TRUE(generate->GetValue());
    tuner->SetValue(QStringLiteral("14070000 Hz, CW"), nullptr);
    handler->SetTimestamp(2000000); // same transmission: no request
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    handler->SetTimestamp(3000000); // second transmission: asked again
    EXPECT_EQ(host.count(generate, CHANGE_VALUE), 2);
    generate->DeleteObserver(&host);
}

TEST(MorseHandlerMetaObject, NamesTheClassItsTwoProtectedSlotsAndTheObserverInterface)
{
    MorseHandler handler;
    const QMetaObject* meta = handler.metaObject();
    EXPECT_STREQ(meta->className(), "MorseHandler");
    ASSERT_EQ(meta->methodCount() - meta->methodOffset(), 2);
    const QMetaMethod first = meta->method(meta->methodOffset());
    const QMetaMethod second = meta->method(meta->methodOffset() + 1);
    EXPECT_EQ(first.methodSignature(), QByteArray("SetXmlFileName(QString)"));
    EXPECT_EQ(second.methodSignature(), QByteArray("GetXmlTunerDemodulatorSettings()"));
    EXPECT_EQ(first.access(), QMetaMethod::Protected);
    EXPECT_EQ(second.methodType(), QMetaMethod::Slot);
    EXPECT_EQ(handler.qt_metacast("MorseHandler"), &handler);
    EXPECT_EQ(handler.qt_metacast("IObserver"), static_cast<IObserver*>(&handler));
    EXPECT_EQ(meta->propertyCount() - meta->propertyOffset(), 0);
}
