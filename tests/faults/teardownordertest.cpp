// The host tears its value tree down in whatever order it likes: before, during and after
// reception, from inside change notices, with the observing object destroyed before or after
// the values. Each round binds a MorseHandler or a MappingDirectory to a full set of values,
// removes them in a seeded random order while it works, and destroys it; no value may be
// touched after it has gone (the address sanitizer build checks) and no registration may be
// left behind.

#include "treefixture.h"

#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/mappingdirectory.h"
#include "tools/morsehandler/morsehandler.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <iterator>
#include <memory>
#include <random>

using values::Value;
using values::ValueNumeric;
using values::ValueSelection;

namespace {

constexpr unsigned ROUNDS = 300;

const QString BUNDLED = QStringLiteral(MORSE_BUNDLED_DATA_DIR);

/// Removes the next path of a shared list from inside a change notice, now and then, as a host
/// may do while a notice is on its way.
class RemovingObserver : public IObserver
{
public:
    RemovingObserver(QStringList& pending, std::mt19937& random)
        : m_pending(pending), m_random(random)
    {
    }
    void Update(Observable*, TChangeCode code) override
    {
        if (code == CHANGE_VALUE && !m_pending.isEmpty() && m_random() % 3 == 0)
            values::Tree::Instance()->RemoveValue(m_pending.takeFirst());
    }

private:
    QStringList& m_pending;
    std::mt19937& m_random;
};

/// Every value still in the tree has no observer left.
void expectNoRegistrationLeft(unsigned seed)
{
    for (const QString& path : values::Tree::Instance()->Paths())
        EXPECT_EQ(values::Tree::Instance()->FindValue(path)->ObserverCount(), 0)
            << path.toStdString() << " in round " << seed;
}

const QStringList MORSE_PATHS = {
    "/Morse/Symbol",        "/Morse/Available", "/Morse/Text",      "/Morse/Alphabet",
    "/Morse/AlphabetDir",   "/Morse/Save",      "/Morse/XmlSave",   "/Morse/RTL",
    "/Morse/Frequency",     "/Morse/Modtype",   "/Morse/DecResult", "/Morse/GenSettings",
    "/Morse/TunerSettings", "/Morse/TextFile",  "/Morse/CodeFile",  "/Morse/XmlFile",
};

const QStringList MAPPING_PATHS = {
    "/Map/Decoder", "/Map/Maps", "/Map/Input",     "/Map/Output",  "/Map/Save",    "/Map/All",
    "/Map/File",    "/Map/Max",  "/Map/Frequency", "/Map/Modtype", "/Map/Channel", "/Map/RTL",
};

} // namespace

class TeardownInAnyOrder : public TreeTest
{
protected:
    void SetUp() override
    {
        TreeTest::SetUp();
        const QString modules = BUNDLED + QStringLiteral("/decodermodules.txt");
        LanternIT::DecoderModulesCenter::Instance(modules)->SetFilePath(modules);
    }

    /// Removes @p paths from the tree in a shuffled order, a few @p step calls before each
    /// removal and some after the last. Notices of the value at @p watched remove further values
    /// on their way. Some rounds keep values for after the observing object has gone.
    template <class Step>
    static void removeWhileWorking(QStringList paths, const QString& watched, std::mt19937& random,
                                   unsigned seed, Step step)
    {
        std::shuffle(paths.begin(), paths.end(), random);
        RemovingObserver remover(paths, random);
        find<Value<QString>>(watched)->AddObserver(&remover);
        const int keep = seed % 3 == 0 ? int(random() % paths.size()) : 0;
        while (paths.size() > keep) {
            for (int n = int(random() % 12); n > 0; --n)
                step();
            if (paths.size() > keep)
                values::Tree::Instance()->RemoveValue(paths.takeFirst());
        }
        for (int n = 0; n < 6; ++n)
            step(); // with what is left
        if (auto* value = find<Value<QString>>(watched))
            value->DeleteObserver(&remover);
    }

    /// One round of the Morse handler: bind, receive, remove values in a shuffled order while
    /// receiving, destroy; @p seed decides every choice.
    void morseRound(unsigned seed)
    {
        std::mt19937 random(seed);
        values::Tree::Instance()->Clear();
        add<ValueNumeric<int>>(MORSE_PATHS[0]);
        add<Value<bool>>(MORSE_PATHS[1])->SetValue(true, nullptr);
        add<Value<QString>>(MORSE_PATHS[2]);
        auto* alphabet = add<ValueSelection>(MORSE_PATHS[3]);
        for (const char* name : {"Greek", "Cyrillic", "Missing"})
            alphabet->AddItem(QLatin1String(name), 0, 0, nullptr);
        alphabet->Select(QStringLiteral("Greek"), nullptr);
        add<Value<QString>>(MORSE_PATHS[4])->SetValue(BUNDLED + "/alphabets", nullptr);
        add<Value<bool>>(MORSE_PATHS[5])->SetValue(seed % 4 == 0, nullptr);
        add<Value<bool>>(MORSE_PATHS[6]);
        add<Value<bool>>(MORSE_PATHS[7]);
        add<ValueNumeric<double>>(MORSE_PATHS[8])->SetValue(7030000, nullptr);
        add<ValueSelection>(MORSE_PATHS[9])->AddItem(QStringLiteral("CW"), 0, 0, nullptr);
        add<ValueSelection>(MORSE_PATHS[10])->AddItem(QStringLiteral("Morse"), 0, 0, nullptr);
        add<Value<bool>>(MORSE_PATHS[11]);
        add<Value<QString>>(MORSE_PATHS[12]);
        for (int i = 13; i < 16; ++i)
            add<Value<QString>>(MORSE_PATHS[i]);

        const QString saveDirectory = saveRoot.filePath(QString::number(seed));
        QDir().mkpath(saveDirectory);
        auto handler = std::make_unique<MorseHandler>();
        handler->SetSymbol_ValuePath(MORSE_PATHS[0]);
        handler->SetMorseAvailable_ValuePath(MORSE_PATHS[1]);
        handler->SetMorseText_ValuePath(MORSE_PATHS[2]);
        handler->SetMorseAlphabet_ValuePath(MORSE_PATHS[3]);
        handler->SetMorseAlphabet_DirectoryPath(MORSE_PATHS[4]);
        handler->SetMorseSaveToFile_ValuePath(MORSE_PATHS[5]);
        // Now and then one value serves two roles.
        handler->SetMorseXmlSaveToFile_ValuePath(MORSE_PATHS[seed % 7 == 0 ? 5 : 6]);
        handler->SetTextDirectionRTL_ValuePath(MORSE_PATHS[7]);
        handler->SetFrequency_ValuePath(MORSE_PATHS[8]);
        handler->SetModtype_ValuePath(MORSE_PATHS[9]);
        handler->SetDecResult_ValuePath(MORSE_PATHS[10]);
        handler->SetGenXmlTunerDemodulatorSettingsPath(MORSE_PATHS[11]);
        handler->SetXmlTunerDemodulatorSettings(MORSE_PATHS[12]);
        handler->SetSaveDirectoryPath(saveDirectory, MORSE_PATHS[13], MORSE_PATHS[14],
                                      MORSE_PATHS[15]);
        handler->StartNewMorseSession();
        handler->SetTimestamp(1700000000000000ULL);

        quint64 timestamp = 1700000000000000ULL;
        removeWhileWorking(MORSE_PATHS, MORSE_PATHS[2], random, seed,
                           [&] { morseStep(*handler, random, timestamp); });
        handler.reset();
        expectNoRegistrationLeft(seed);
        values::Tree::Instance()->Clear();
    }

    /// One thing the host or the demodulator does to a Morse handler.
    static void morseStep(MorseHandler& handler, std::mt19937& random, quint64& timestamp)
    {
        static const int CODES[] = {0, 1, 0, 1, 3, 3, 4, 5, 64, 65, 66, 2, 128};
        switch (random() % 16) {
        case 0:
            if (auto* symbol = find<ValueNumeric<int>>(MORSE_PATHS[0])) {
                const int code = CODES[random() % std::size(CODES)];
                if (symbol->GetValue() == code)
                    symbol->HasChanged(CHANGE_VALUE, nullptr);
                else
                    symbol->SetValue(code, nullptr);
            }
            break;
        case 1:
            if (auto* frequency = find<ValueNumeric<double>>(MORSE_PATHS[8]))
                frequency->SetValue(7000000 + double(random() % 100000), nullptr);
            break;
        case 2:
            if (auto* save = find<Value<bool>>(MORSE_PATHS[5]))
                save->SetValue(!save->GetValue(), nullptr);
            break;
        case 3:
            if (random() % 8 == 0) // writes a report file: now and then only
                if (auto* xmlSave = find<Value<bool>>(MORSE_PATHS[6]))
                    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
            break;
        case 4:
            if (auto* alphabet = find<ValueSelection>(MORSE_PATHS[3]))
                alphabet->Select(
                    random() % 2 ? QStringLiteral("Cyrillic") : QStringLiteral("Missing"), nullptr);
            handler.ChangeAlphabet();
            break;
        case 5:
            timestamp += 250000;
            handler.SetTimestamp(timestamp);
            break;
        case 6:
            handler.TranslateText(true, true, int(random() % 4));
            break;
        case 7:
            if (auto* tuner = find<Value<QString>>(MORSE_PATHS[12]))
                tuner->SetValue(QString::number(random()), nullptr);
            break;
        default:
            handler.AddSymbol(CODES[random() % std::size(CODES)]);
            break;
        }
    }

    /// One round of the mapping directory, as morseRound.
    void mappingRound(unsigned seed)
    {
        std::mt19937 random(seed);
        values::Tree::Instance()->Clear();
        auto* decoder = add<ValueSelection>(MAPPING_PATHS[0]);
        for (const char* name : {"RTTY 50", "ASCII 8N1", "STANAG 4285", "CW Morse"})
            decoder->AddItem(QLatin1String(name), 0, 0, nullptr);
        decoder->Select(QStringLiteral("RTTY 50"), nullptr);
        // Now and then a path already holds a value of another type: a private value is bound.
        add<Value<int>>(MAPPING_PATHS[6]);
        const bool bPrivateFile = seed % 5 == 0;

        auto directory = std::make_unique<MappingDirectory>(BUNDLED + QStringLiteral("/codecs"));
        directory->SetDecoder_ValuePath(MAPPING_PATHS[0]);
        directory->SetAvailableMaps_ValuePath(MAPPING_PATHS[1]);
        directory->SetDataInput_ValuePath(MAPPING_PATHS[2], nullptr);
        directory->SetDataOutput_ValuePath(MAPPING_PATHS[3]);
        directory->SetSaveToFile_ValuePath(MAPPING_PATHS[4]);
        directory->SetTranslateAll_ValuePath(MAPPING_PATHS[5]);
        directory->SetTranslatedFile_ValuePath(bPrivateFile ? MAPPING_PATHS[6]
                                                            : MAPPING_PATHS[6] + "Name");
        directory->SetMaxNumberOfChars_ValuePath(MAPPING_PATHS[7]);
        directory->SetFrequency_ValuePath(MAPPING_PATHS[8]);
        directory->SetModtype_ValuePath(MAPPING_PATHS[9]);
        directory->SetChannelIndex_ValuePath(MAPPING_PATHS[10]);
        directory->SetTextDirectionRTL_ValuePath(MAPPING_PATHS[11]);
        directory->Enabled(true);
        directory->Init(QStringLiteral("Greek - ITA2"));

        removeWhileWorking(values::Tree::Instance()->Paths(), MAPPING_PATHS[3], random, seed,
                           [&] { mappingStep(*directory, random); });
        directory.reset();
        expectNoRegistrationLeft(seed);
        values::Tree::Instance()->Clear();
    }

    /// One thing the host or the decoder does to a mapping directory.
    static void mappingStep(MappingDirectory& directory, std::mt19937& random)
    {
        static const char* const DECODERS[] = {"RTTY 50", "ASCII 8N1", "STANAG 4285", "CW Morse"};
        switch (random() % 10) {
        case 0:
            if (auto* decoder = find<ValueSelection>(MAPPING_PATHS[0]))
                decoder->Select(QLatin1String(DECODERS[random() % 4]), nullptr);
            break;
        case 1:
            if (auto* maps = find<ValueSelection>(MAPPING_PATHS[1])) {
                const auto items = maps->GetItems();
                if (!items.isEmpty())
                    maps->Select(items.at(int(random() % items.size())).name, nullptr);
            }
            break;
        case 2:
            if (auto* input = find<Value<QString>>(MAPPING_PATHS[2]))
                input->HasChanged(CHANGE_TRIGGER, nullptr);
            break;
        case 3:
            directory.Enabled(random() % 4 != 0);
            break;
        case 4:
            directory.TranslateHistory();
            break;
        case 5:
            if (auto* max = find<ValueNumeric<int>>(MAPPING_PATHS[7]))
                max->SetValue(100 + int(random() % 200), nullptr);
            break;
        default:
            if (auto* input = find<Value<QString>>(MAPPING_PATHS[2]))
                input->SetValue(QString::number(random(), 36), nullptr);
            break;
        }
    }

    QTemporaryDir saveRoot;
};

TEST_F(TeardownInAnyOrder, MorseHandlerOutlivesOrPrecedesItsValuesInEveryOrder)
{
    for (unsigned seed = 1; seed <= ROUNDS; ++seed)
        morseRound(seed);
}

TEST_F(TeardownInAnyOrder, MappingDirectoryOutlivesOrPrecedesItsValuesInEveryOrder)
{
    for (unsigned seed = 1; seed <= ROUNDS; ++seed)
        mappingRound(seed);
}

TEST_F(TeardownInAnyOrder, ReceptionGoesOnWithEveryValueGone)
{
    MorseHandler handler;
    add<Value<QString>>(QStringLiteral("/Morse/Text"));
    add<Value<bool>>(QStringLiteral("/Morse/Available"))->SetValue(true, nullptr);
    handler.SetMorseText_ValuePath(QStringLiteral("/Morse/Text"));
    handler.SetMorseAvailable_ValuePath(QStringLiteral("/Morse/Available"));
    handler.StartNewMorseSession();
    values::Tree::Instance()->Clear();
    for (int code : {0, 1, 3, 1, 0, 0, 0, 4})
        handler.AddSymbol(code);
    EXPECT_EQ(handler.GetCurrentMorseSymbolString(), QStringLiteral(".-c-...w"));
    EXPECT_EQ(handler.TranslateText(false, false, 0), QStringLiteral("AB "));
}
