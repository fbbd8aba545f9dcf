#include "receptionfixture.h"

#include <QMetaMethod>

using Binding = ReceptionTest;
using ChangeNotices = ReceptionTest;
using TunerSettings = ReceptionTest;
using values::Value;

TEST_F(Binding, RebindingObservesOnlyTheLatestValue)
{
    auto* other = bind<values::ValueNumeric<int>>("Other", &MorseHandler::SetSymbol_ValuePath);
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

TEST_F(Binding, AlphabetIsTheSelectedFileOfTheDirectoryAndItsDirectionIsPublished)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Greek.mal")), "\xce\x91\t.-\n");
    writeFile(dir.filePath(QStringLiteral("Arabic.mal")), "@TextDirection RL\n\xd8\xa7\t.-\n");
    // The directory has no trailing backslash yet.
    auto* selection = bindAlphabets(dir.path(), {"Greek", "Arabic", "Missing"});
    auto* rtl = find<Value<bool>>(QStringLiteral("/Morse/RTL"));
    EXPECT_EQ(handler->GetMorseAlphabet(), selection);

    selection->Select(QStringLiteral("Greek"), nullptr);
    EXPECT_TRUE(handler->ChangeAlphabet());
    send({0, 1, 3});
    selection->Select(QStringLiteral("Arabic"), nullptr);
    find<Value<QString>>(QStringLiteral("/Morse/AlphabetDir"))
        ->SetValue(dir.path() + QStringLiteral("\\"), nullptr); // one backslash is kept
    EXPECT_TRUE(handler->ChangeAlphabet());
    EXPECT_TRUE(rtl->GetValue());
    send({0, 1, 3});
    selection->Select(QStringLiteral("Missing"), nullptr); // falls back to the built-in one
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

TEST_F(TunerSettings, EachNewTransmissionRequestsThemAndTheReplyIsAccepted)
{
    QTemporaryDir dir;
    auto* generate =
        bind<Value<bool>>("Generate", &MorseHandler::SetGenXmlTunerDemodulatorSettingsPath);
    auto* tuner = bind<Value<QString>>("Tuner", &MorseHandler::SetXmlTunerDemodulatorSettings);
    auto* xmlSave = bind<Value<bool>>("XmlSave", &MorseHandler::SetMorseXmlSaveToFile_ValuePath);
    EXPECT_TRUE(xmlSave->GetValue()); // set when bound
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
    EXPECT_EQ(handler.qt_metacast("MorseHandler"), &handler);
    EXPECT_EQ(handler.qt_metacast("IObserver"), static_cast<IObserver*>(&handler));
    EXPECT_EQ(meta->propertyCount() - meta->propertyOffset(), 0);
}
