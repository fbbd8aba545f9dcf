#include "tools/morsehandler/simplemorsehandler.h"

#include "testfiles.h"
#include "tools/morsecore/internationalalphabet.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <utility>

namespace {

/// A handler whose directory holds Intl.mal, the built-in International alphabet as a file.
class MorseAlphabetHandler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString table;
        for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i) {
            const auto& entry = morse::InternationalAlphabet::Entries()[i];
            table += QString(entry.text) + '\t' + entry.code + '\n';
        }
        write("Intl.mal", table);
        handler.SetAlphabetsDir(dir.path());
    }
    void write(const QString& name, const QString& content)
    {
        testfiles::writeFile(dir.filePath(name), content.toUtf8());
    }
    QTemporaryDir dir;
    SimpleMorseHandler handler;
};
using AlphabetSelection = MorseAlphabetHandler;
using Translation = MorseAlphabetHandler;

struct CountingResets : SimpleMorseHandler
{
    void ResetInternalState() override { ++resets, SimpleMorseHandler::ResetInternalState(); }
    int resets = 0;
};

} // namespace

TEST_F(AlphabetSelection, NoneOrAMissingAlphabetLetsTextPassThrough)
{
    EXPECT_EQ(handler.Translate(".- "), ".- ") << "a new handler has no alphabet";
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_TRUE(handler.SetAlphabet("nOnE"));
    EXPECT_EQ(handler.Alphabet(), "None");
    EXPECT_EQ(handler.Translate(".- "), ".- ");

    EXPECT_FALSE(handler.SetAlphabet("Klingon"));
    EXPECT_EQ(handler.Alphabet(), "Klingon");
    EXPECT_EQ(handler.Translate(".- "), ".- ");

    QDir(dir.path()).mkdir("inner");
    handler.SetAlphabetsDir(dir.filePath("inner"));
    EXPECT_FALSE(handler.SetAlphabet("../Intl")) << "a name never leads out of the directory";
}

TEST_F(AlphabetSelection, FilesAreFoundWhateverTheLetterCaseOrSeparators)
{
    write("hebrew.MAL", "@TextDirection RL\nא\t.-\n");
    ASSERT_TRUE(handler.SetAlphabet("Hebrew"));
    EXPECT_EQ(handler.Translate(".- "), "א");
    EXPECT_TRUE(handler.TextDirectionRTL());

    handler.SetAlphabetsDir(QString(dir.path()).replace('/', '\\') + '\\');
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_FALSE(handler.TextDirectionRTL());
    EXPECT_EQ(handler.Translate(".- "), "A");
    EXPECT_EQ(handler.AvailableAlphabets().size(), 3);
}

TEST_F(AlphabetSelection, ListsNoneThenOneNamePerMalFileInDirectoryOrder)
{
    write("Greek.mal", "Γ\t--.\n");
    write("Greek.extra.mal", "Ж\t--.\n");
    write("notes.txt", "");
    QDir(dir.path()).mkdir("Folder.mal");
    QStringList expected{"None"};
    for (const QString& entry : QDir(dir.path()).entryList(QDir::Files, QDir::Unsorted)) {
        if (entry != "notes.txt")
            expected << entry.left(entry.indexOf('.'));
    }
    EXPECT_EQ(handler.AvailableAlphabets(), expected);
    EXPECT_EQ(expected.count("Greek"), 2);
    ASSERT_TRUE(handler.SetAlphabet("Greek"));
    EXPECT_EQ(handler.Translate("--. "), "Γ") << "Greek means Greek.mal";
}

TEST_F(AlphabetSelection, SelectingStartsTheInputAfreshButAnotherDirectoryDoesNot)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate("....- -"), "4");
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate(" "), "") << "the waiting dash was forgotten";
    EXPECT_EQ(handler.Translate("- "), "T") << "and so was the digit";
    handler.SetAlphabetsDir(dir.filePath("nowhere"));
    EXPECT_EQ(handler.Translate(".- "), "A");

    CountingResets derived;
    derived.SetAlphabet("None");
    EXPECT_EQ(derived.resets, 1);
}

TEST_F(Translation, ACharacterWaitsForItsSeparatorAcrossCalls)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate(".- -..."), "A");
    EXPECT_EQ(handler.Translate(" "), "B");
    EXPECT_EQ(handler.Translate(".-\t-\n"), "A T\n");
    EXPECT_EQ(handler.Translate("...---...\t"), " ") << "an unknown code still ends the word";
}

TEST_F(Translation, ALoneDashAfterADigitIsZeroEvenInTheNextCall)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate("....- "), "4");
    EXPECT_EQ(handler.Translate("- "), "0");
    EXPECT_EQ(handler.Translate("....-\t- "), "4 0") << "a word end updates the digit too";
    handler.Translate("....- ");
    handler.ResetInternalState();
    EXPECT_EQ(handler.Translate("- "), "T");
}

TEST_F(Translation, TimingErrorsAreDroppedAndTheDotsAroundThemJoin)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate("..[PAUSE TO SHORT]. "), "S");
    EXPECT_EQ(handler.Translate("[PAUSE"), "");
    EXPECT_EQ(handler.Translate(" TO SHORT]- "), "T") << "a marker split across calls";
    // The blanks inside the marker end the wait: the dots before it are lost.
    EXPECT_EQ(handler.Translate("..[PAUSE TO SHORT]"), "");
    EXPECT_EQ(handler.Translate(". "), "E");
}

TEST_F(Translation, TextThatIsNoMarkerIsDroppedOneCharacterAtATime)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate("x.-[UNKNOWN]. "), "R");
    EXPECT_EQ(handler.Translate("Ä\t..."), " ");
    EXPECT_EQ(handler.Translate(" "), "S");
}

TEST_F(Translation, SymbolsThatNeverEndACharacterAreCutToTheNewest)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate(".-" + QString(2000, 'x')), "");
    EXPECT_EQ(handler.Translate(" "), "") << "the old dot and dash were cut off";
    handler.Translate(QString(2000, 'x') + ".-");
    EXPECT_EQ(handler.Translate(" "), "A");
}

TEST_F(Translation, CopiesAndMovesCarryOnFromTheOriginalWhichAMoveLeavesAfresh)
{
    ASSERT_TRUE(handler.SetAlphabet("Intl"));
    EXPECT_EQ(handler.Translate("....- .-"), "4");
    SimpleMorseHandler copy(handler);
    SimpleMorseHandler assigned;
    assigned = handler;
    for (SimpleMorseHandler* other : {&copy, &assigned}) {
        EXPECT_EQ(other->Alphabet(), "Intl");
        EXPECT_EQ(other->Translate(" "), "A") << "the pending dot and dash came along";
    }
    ASSERT_TRUE(copy.SetAlphabet("None"));
    SimpleMorseHandler constructed(std::move(handler));
    EXPECT_EQ(constructed.Translate(" "), "A") << "the original kept its own alphabet and input";
    constructed.Translate(".-");
    SimpleMorseHandler moved;
    moved = std::move(constructed);
    EXPECT_EQ(moved.Alphabet(), "Intl");
    EXPECT_EQ(moved.Translate(" "), "A");
    for (SimpleMorseHandler* left : {&handler, &constructed}) {
        EXPECT_EQ(left->Alphabet(), "None");
        EXPECT_EQ(left->Translate(".- "), ".- ") << "no alphabet: text passes through";
    }
}
